'use strict';
// The add-on in a Node service: SDK calls off the JavaScript thread on request, deliveries that yield to the loop,
// the log callback, a process that ends when the add-on has no work, and SDK lines at exit or under the SDK's own
// locks. Each case runs a scenario of test/scenarios in a process of its own, in both modes where the mode matters.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { preload } = require('../helpers/preload');
const { runScenario, runValue } = require('../helpers/scenario');

const FIXTURE = path.join(sdk.BUILD_DIR, 'fixtures', 'libvarn_sdk_locks_and_exit.so');
const MODES = [{ mode: 'default', env: { VARN_SDK_THREAD: '0' } }, { mode: 'SDK thread', env: { VARN_SDK_THREAD: '1' } }];
const linuxOnly = process.platform !== 'linux' || !fs.existsSync(FIXTURE);
// Timings and resident memory under Wine say little about Windows itself.
const notUnderWine = process.platform === 'win32' && 'timing and memory are measured natively';

test('every method reaches the SDK with the same calls and records and gives the same results in both modes', () => {
  const [plain, threaded] = MODES.map(({ env }) => runValue('event_loop', 'everyMethod', { env }));
  // One thread besides the JavaScript thread's own: the SDK thread, which takes concurrent calls in order.
  assert.deepEqual([plain.sdkThread, plain.threads, threaded.sdkThread, threaded.threads, threaded.order],
    [false, ['js'], true, ['other'], ['init', 'auth', 'reFillKey', 'getSPMKeyInfo', 'createGroup', 'reportSPMWithSignPubkey']]);
  const same = (value) => ({ ...value, sdkThread: 0, threads: 0, order: 0 });
  assert.deepEqual(same(threaded), same(plain));
});

for (const { mode, env } of MODES) {
  test(`${mode}: a slow SDK call stalls the event loop only in the default mode`, { skip: notUnderWine }, () => {
    const { ticks, code } = runValue('event_loop', 'loopTicks', { env });
    assert.equal(code, 0);
    assert.ok(mode === 'default' ? ticks === 0 : ticks >= 5, `a 10 ms timer fired ${ticks} times in 300 ms`);
  });

  test(`${mode}: a log callback that calls finish from a line logged under the SDK's lock does not deadlock`,
    { skip: linuxOnly }, () => {
      assert.deepEqual(runValue('event_loop', 'lockedLog', { env: { ...env, LD_PRELOAD: preload(FIXTURE) }, timeout: 10000 }),
        { seen: ["logged under the SDK's lock", 'finish 0'], code: 0 });
    });
}

// How the process ends: [status, signal, what the scenario reported].
for (const [title, name, args, expected, options = {}, skip = false] of [
  ['the process ends by itself when the add-on has no work', 'ending', ['idle'], [0, null, { hello: 'abc world' }]],
  ['after finish, lines queued by SDK threads are delivered (as events) and the process ends by itself', 'ending', ['finish'],
    [0, null, { events: 1000, lines: 0, logged: 1000 }]],
  ['an open session keeps the process alive', 'ending', ['open'], [null, 'SIGTERM', undefined], { timeout: 1500 }],
  ['lines queued at process.exit are delivered, console lines flushed', 'ending', ['exit'],
    [3, null, { events: 1000, lines: 1000, logged: 1000 }], { stdout: /【预激活】成功！\n/ }],
  ['an SDK thread logging without pause does not starve timers', 'exitLater', [true], [5, null, undefined], { timeout: 20000 }, notUnderWine],
  ['an SDK line logged from atexit while a callback is registered keeps the exit code and reaches log.txt', 'exitLater', [false],
    [5, null, undefined], { env: { LD_PRELOAD: preload(FIXTURE), VARN_LOG_AT_EXIT: '1' }, log: / - logged at exit\n/ }, linuxOnly],
]) {
  test(title, { skip }, () => {
    const run = runScenario('event_loop', name, { ...options, args });
    assert.deepEqual([run.status, run.signal, run.value], expected, run.stderr);
    for (const output of ['log', 'stdout']) if (options[output]) assert.match(String(run[output]), options[output]);
  });
}

test('SDK lines to a thousand instances without handlers cost them no memory', { skip: notUnderWine }, () => {
  const { delivered, growthMB } = runValue('event_loop', 'fanOut', { nodeArgs: ['--expose-gc'], timeout: 60000 });
  assert.equal(delivered, 20000);
  assert.ok(growthMB < 100, `resident memory grew by ${growthMB.toFixed(1)} MB`);
});

test('setLogCallback: delivery within calls and from SDK threads, registrations, callbacks that throw or call back in', () => {
  assert.deepEqual(runValue('log_callback', 'steps', { nodeArgs: ['--expose-gc'] }), {
    // Lines within a call reach the callback before it returns; exceptions are only logged; events come later.
    withinCall: {
      seen: ['第二行', '', 'QCF_Init: ok'].map((m) => [m, 'QCF_Init']),
      events: [['undefined', '第二行'], ['undefined', ''], ['undefined', -2147483648, '密钥错误 ü'], ['undefined', 8, '']]
        .flatMap((event) => [event, 'reaction']),
      result: { code: 0, message: 'initialization successful' },
      log: ['第二行', '', '密钥错误 ü', '', 'QCF_Init: ok'],
    },
    // finish releases the callback, collecting a bystander does not; the last registration wins.
    registrations: { a: [], b: ['QCF_Auth: ok', 'QCF_Finish: ok'], c: ['QCF_Auth: ok', 'QCF_Auth: ok'], returned: 0,
      log: ['QCF_Auth: ok', 'QCF_Finish: ok', 'QCF_Auth: ok'], kept: true, collected: true },
    // Lines of SDK threads arrive later through the dispatcher, in order, to the callback registered then.
    sdkThreads: { a: ['on the JS thread', 'QCF_Auth: ok'], b: ['t1', 't2', 't3', 'QCF_Finish: ok'], dropped: ['dropped'] },
    // A callback may call finish, setLogCallback or the SDK; the change counts from the next line.
    reentry: { a: ['before', 'switch'], b: ['after', 'QCF_Auth: ok'], c: ['one', 'stop', 'QCF_Finish: ok', 'still running'],
      d: ['nested', 'inner', 'QCF_ReFillKey: ok', 'QCF_Auth: ok'], code: 0 },
  });
});
