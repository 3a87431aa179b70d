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
const NOT_MAIN_THREAD = 'VarnKtPlugin can only be loaded on the main thread: it delivers SDK events '
  + 'through the main event loop, so it cannot be used from a worker thread';
const WORKING = { hello: 'abc world', initCode: 0, logged: true };
const failed = (message) => ({ isError: true, message });
const DETACHED = 'VarnKtPlugin cannot deliver SDK events: its dispatcher is not attached to the main event loop '
  + '(was the module first loaded on a worker thread?)';

// The entry refuses a worker before the add-on file is opened; a worker
// loading the file directly gets an Error from the add-on's initialisation,
// whether the main thread loads it before or after. While a worker that loaded
// it first runs on, the main thread is told the events have no loop to go to.
for (const [what, file, mainFirst, holds] of [['the entry', 'ROOT', false, false],
  ['the add-on file, loaded on the main thread first', 'ADDON', true, false],
  ['the add-on file, loaded by the worker first', 'ADDON', false, false],
  ['the add-on file first and running on', 'ADDON', false, true]]) {
  test(`a worker thread loading ${what} gets a clear Error; the main thread ${holds ? 'gets an Error, not a crash' : 'still works'}`, () => {
    assert.deepEqual(runValue('loading', 'workerLoads', { args: [file, mainFirst, holds, ADDON], timeout: 60000 }), {
      before: mainFirst ? WORKING : null,
      held: holds ? NOT_MAIN_THREAD : null,
      worker: holds ? { exitCode: 0, error: null } : { exitCode: 1, error: failed(NOT_MAIN_THREAD) },
      after: holds ? failed(DETACHED) : WORKING,
    });
  });
}
