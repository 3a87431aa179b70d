'use strict';
// The module on a worker thread: a clear Error, never a crash, and the main
// thread's use undisturbed. A fresh child process per case, since what
// matters is which thread opens the add-on file first.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { runValue } = require('../helpers/scenario');

const ADDON = path.join(sdk.BUILD_DIR, 'Release', 'VarnKtPlugin.node');
const NOT_MAIN_THREAD = 'VarnKtPlugin can only be loaded on the main thread: it delivers SDK events ' +
  'through the main event loop, so it cannot be used from a worker thread';
const WORKING = { hello: 'abc world', initCode: 0, logged: true };
const run = (name, args) => runValue('loading', name, { args, timeout: 60000 });

// The entry refuses a worker before the add-on file is opened (had the worker
// opened it, the main thread could not attach afterwards); a worker loading
// the file directly gets an Error from the add-on's initialisation, whether
// the main thread loaded it first or loads it afresh after the worker.
for (const [what, file, mainFirst] of [['the entry', 'ROOT', false], ['the add-on file, loaded on the main thread first', 'ADDON', true],
  ['the add-on file, loaded by the worker first', 'ADDON', false]]) {
  test(`a worker thread loading ${what} gets a clear Error; the main thread still works`, () => {
    assert.deepEqual(run('workerLoads', [file, mainFirst, ADDON]),
      { before: mainFirst ? WORKING : null, worker: { exitCode: 1, error: { isError: true, message: NOT_MAIN_THREAD } }, after: WORKING });
  });
}

test('while a worker that loaded the add-on file first still runs, the main thread gets an Error, not a crash', () => {
  const result = run('workerHolds', [ADDON]);
  assert.equal(result.inWorkerError, NOT_MAIN_THREAD);
  // The file's dispatcher never attached to the main loop: told so, rather than
  // a module whose events could not be delivered.
  assert.equal(result.main.isError, true);
  assert.match(result.main.message, /^VarnKtPlugin cannot deliver SDK events: its dispatcher is not attached/);
  assert.equal(result.exitCode, 0);
});
