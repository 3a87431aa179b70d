'use strict';
// Reads index.d.ts with the TypeScript compiler: the methods of the declared
// class, whether each returns a promise, and the property names, in order,
// of what it returns or resolves with.
const path = require('node:path');
const ts = require('typescript');

const DECLARATIONS = path.resolve(__dirname, '..', '..', 'index.d.ts');

function readDeclarations() {
  const program = ts.createProgram([DECLARATIONS], { strict: true, noEmit: true, types: [] });
  const checker = program.getTypeChecker();
  const source = program.getSourceFile(DECLARATIONS);
  const errors = ts.getPreEmitDiagnostics(program).map((d) => ts.flattenDiagnosticMessageText(d.messageText, '\n'));
  if (errors.length > 0) throw new Error(`index.d.ts does not compile:\n${errors.join('\n')}`);

  const classNode = source.statements.find((s) => ts.isClassDeclaration(s) && s.name?.text === 'VarnKtPlugin');
  if (!classNode) throw new Error('index.d.ts declares no class VarnKtPlugin');

  const propertiesOf = (type) => checker.getPropertiesOfType(type).map((p) => p.name);
  const methods = new Map();
  for (const member of classNode.members) {
    if (!ts.isMethodDeclaration(member)) continue;
    const name = member.name.getText(source);
    const signature = checker.getSignatureFromDeclaration(member);
    let returned = checker.getReturnTypeOfSignature(signature);
    const returnsPromise = returned.symbol?.name === 'Promise';
    if (returnsPromise) [returned] = checker.getTypeArguments(returned);
    const entry = {
      name,
      returnsPromise,
      // null for a number or a string; property names for an object.
      properties: returned.flags & ts.TypeFlags.Object ? propertiesOf(returned) : null,
      returnType: checker.typeToString(returned),
    };
    // Overloads (setEventCallback) must agree on what they return.
    const known = methods.get(name);
    if (known && known.returnType !== entry.returnType) {
      throw new Error(`overloads of ${name} return different types`);
    }
    methods.set(name, entry);
  }

  const rejection = source.statements.find(
    (s) => ts.isInterfaceDeclaration(s) && s.name.text === 'ArgumentRejection',
  );
  return {
    methods,
    rejectionProperties: propertiesOf(checker.getTypeAtLocation(rejection.name)),
  };
}

module.exports = { readDeclarations };
