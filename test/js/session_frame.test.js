'use strict';
// The promise-and-worker frame of init, auth and auth_pubkey (argument faults:
// catalogue.test.js): when their promises settle, where the SDK is called, and
// what happens with no thread.
const test = require('node:test');
const assert = require('node:assert/strict');
const asyncHooks = require('node:async_hooks');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');
const { preload } = require('../helpers/preload');

sdk.tempCwd();
const plugin = new (require(sdk.ROOT).VarnKtPlugin)();
test.after(() => plugin.finish()); // an open SDK session keeps the process alive
// With the SDK thread, calls go there instead of to a worker.
const SDK_THREAD = process.env.VARN_SDK_THREAD === '1';

// The state of a promise before any later turn of the event loop.
async function stateNow(promise) {
  let state = 'pending';
  promise.then(() => { state = 'resolved'; }, () => { state = 'rejected'; });
  for (let i = 0; i < 5; i++) await Promise.resolve();
  return state;
}

const VALID = { init: [1, 'u', 'd'], auth: [], auth_pubkey: [1, 'u', 'd'] };
test('other calls settle on a later turn, call the SDK on the JavaScript (or SDK) thread, and carry their resource names', async () => {
  const types = [];
  const hook = asyncHooks.createHook({ init(id, type) { types.push(type); } }).enable();
  plugin.preActivate('k.key');
  try {
    for (const [method, args] of Object.entries(VALID)) {
      const before = sdk.calls().length;
      const promise = plugin[method](...args);
      assert.equal(await stateNow(promise), 'pending', method);
      if (!SDK_THREAD) assert.equal(sdk.calls().length, before, `${method} makes no SDK call before it returns`);
      assert.equal((await promise).code, 0);
      for (const call of sdk.calls().slice(before)) assert.equal(call.thread === sdk.threadId(), !SDK_THREAD);
    }
  } finally {
    hook.disable();
  }
  assert.deepEqual(types.filter((type) => ['KT_Init', 'Auth', 'AuthPubkey'].includes(type)),
    SDK_THREAD ? [] : ['KT_Init', 'Auth', 'AuthPubkey']);
});

const SHIM = path.join(sdk.BUILD_DIR, 'fixtures', 'libvarn_fail_thread_start.so');
test('without a worker thread the job is handed over from the JavaScript thread', {
  skip: (!fs.existsSync(SHIM) && 'the thread-start shim is built on Linux only') || (SDK_THREAD && 'no worker threads with the SDK thread'),
}, () => {
  const { value, status, stderr } = runScenario('session', 'noWorkerThread', { env: { LD_PRELOAD: preload(SHIM) } });
  assert.equal(status, 0, stderr);
  assert.equal(stderr.match(/fail_thread_start: refused/g)?.length, 3, stderr);
  assert.deepEqual(value, Object.keys(VALID).map((method) => ({ method, callsAtReturn: 0, code: 0 })));
});
