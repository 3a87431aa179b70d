'use strict';
// index.d.ts against the add-on itself: the declared methods are exactly the
// prototype's, each declared promise is a promise, and every declared result
// has exactly the properties, in the order, that the add-on sets.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { readDeclarations } = require('../types/declarations');

const dir = sdk.tempCwd();
const { VarnKtPlugin } = require('../..');

const declarations = readDeclarations();

function exerciseEveryMethod() {
  const reportPath = path.join(dir, 'shapes.json');
  const child = spawnSync(process.execPath, [path.join(__dirname, 'children', 'declared_shapes.js'), reportPath], {
    encoding: 'utf8',
    timeout: 30000,
  });
  assert.equal(child.status, 0, child.stderr);
  return JSON.parse(fs.readFileSync(reportPath, 'utf8'));
}

test('the declared methods are exactly those of the prototype', () => {
  const actual = Object.getOwnPropertyNames(VarnKtPlugin.prototype).filter((name) => name !== 'constructor');
  assert.equal(actual.length, 18);
  assert.deepEqual([...declarations.methods.keys()].sort(), actual.sort());
});

test('each method returns, or resolves with, what its declaration says', () => {
  const report = exerciseEveryMethod();
  for (const [name, declared] of declarations.methods) {
    const actual = report.methods[name];
    assert.equal(actual.promise, declared.returnsPromise, `${name}: promise`);
    if (declared.properties === null) {
      assert.equal(actual.type, declared.returnType, `${name}: type`);
    } else {
      assert.deepEqual(actual.keys, declared.properties, `${name}: ${declared.returnType}`);
    }
  }
  assert.deepEqual(report.rejection, declarations.rejectionProperties);
});
