'use strict';
// index.d.ts against the add-on: the declared methods are exactly the prototype's, each declared
// promise is a promise, and every result has exactly the properties, in order, that the add-on sets.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const ts = require('typescript');
const sdk = require('../helpers/sdk');
const { runValue } = require('../helpers/scenario');

// Per declared method: whether it returns a promise, and the type and the
// property names (null for a number or a string) of what it returns or resolves with.
const isInstanceMethod = (member) =>
  ts.isMethodDeclaration(member) && !member.modifiers?.some((m) => m.kind === ts.SyntaxKind.StaticKeyword);

function readDeclarations() {
  const file = path.join(sdk.ROOT, 'index.d.ts');
  const program = ts.createProgram([file], { strict: true, noEmit: true, types: [] });
  const errors = ts.getPreEmitDiagnostics(program).map((d) => ts.flattenDiagnosticMessageText(d.messageText, '\n'));
  assert.deepEqual(errors, [], 'index.d.ts compiles');
  const checker = program.getTypeChecker();
  const source = program.getSourceFile(file);
  const declared = (is, name) => source.statements.find((s) => is(s) && s.name?.text === name);
  const propertiesOf = (type) => checker.getPropertiesOfType(type).map((p) => p.name);
  const methods = {};
  for (const member of declared(ts.isClassDeclaration, 'VarnKtPlugin').members.filter(isInstanceMethod)) {
    let returned = checker.getReturnTypeOfSignature(checker.getSignatureFromDeclaration(member));
    const promise = returned.symbol?.name === 'Promise';
    if (promise) [returned] = checker.getTypeArguments(returned);
    const keys = returned.flags & ts.TypeFlags.Object ? propertiesOf(returned) : null;
    const entry = { promise, type: keys ? 'object' : checker.typeToString(returned), keys };
    const name = member.name.getText(source);
    // Overloads (setEventCallback) must agree on what they return.
    if (methods[name]) assert.deepEqual(entry, methods[name], `overloads of ${name}`);
    methods[name] = entry;
  }
  return { methods, rejection: propertiesOf(checker.getTypeAtLocation(declared(ts.isInterfaceDeclaration, 'ArgumentRejection').name)) };
}

test('the declared methods, their promises and their results are those of the add-on', () => {
  const actual = runValue('sdk_lines', 'everyShape');
  assert.deepEqual(actual, readDeclarations());
});
