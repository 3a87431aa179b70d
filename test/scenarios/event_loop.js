'use strict';
// Scenarios of test/js/event_loop.test.js, each run in a process of its own
// (test/helpers/scenario.js). Most report for themselves and let the
// process end as it would, which is what they test.
const sdk = require('../helpers/sdk');

const { configure } = require(sdk.ROOT);

const isCallLine = (line) => /^QCF_\w+: /.test(line);
const turns = (count = 2) => new Promise((resolve) => {
  const next = (left) => (left === 0 ? resolve() : setImmediate(() => next(left - 1)));
  next(count);
});

// Counts the deliveries of SDK-thread lines to a handler and the callback,
// and reports them when the process exits.
function countAtExit({ plugin, report }) {
  const seen = { events: 0, lines: 0 };
  plugin.setEventCallback('onCaptureMessage', (line) => { if (!isCallLine(line)) seen.events++; });
  plugin.setLogCallback((line) => { if (!isCallLine(line)) seen.lines++; });
  process.on('exit', () => report(seen));
}

module.exports = {
  // Loading the add-on and using it without a session keeps nothing alive.
  idle(context) {
    const { plugin, report } = context;
    plugin.setEventCallback('onCaptureMessage', () => {});
    report({ hello: plugin.hello('abc') });
  },

  // A session ended by finish; lines queued by SDK threads are delivered
  // before the process ends by itself (as events: finish has released the
  // log callback).
  async finished(context) {
    const { plugin } = context;
    plugin.preActivate('keys');
    await plugin.init(1, 'user', 'pin');
    countAtExit(context);
    sdk.emitAsync({ message: 'queued', threads: 2, count: 500, wait: true });
    plugin.finish();
  },

  // An open session keeps the process alive.
  sessionOpen(context) {
    const { plugin } = context;
    plugin.preActivate('keys');
  },

  // Lines queued when the script exits are delivered first.
  exitWhileQueued(context) {
    const { plugin } = context;
    plugin.preActivate('keys');
    countAtExit(context);
    sdk.emitAsync({ message: 'queued', threads: 2, count: 500, wait: true });
    process.exit(3);
  },

  // An SDK thread logging without pause must not keep timers from running.
  starved(context) {
    const { plugin, VarnKtPlugin } = context;
    plugin.preActivate('keys');
    for (let i = 0; i < 10; i++) new VarnKtPlugin().setEventCallback('onCaptureMessage', () => {});
    plugin.setLogCallback(() => {});
    sdk.emitAsync({ message: 'storm', threads: 1, count: 2000000000, wait: false });
    setTimeout(() => process.exit(7), 50);
  },

  // How often a 10 ms timer fires while a slow SDK call is in flight.
  async loopTicks(context) {
    const { plugin, report } = context;
    plugin.preActivate('keys');
    sdk.setDelay(300);
    let ticks = 0;
    const timer = setInterval(() => { ticks++; }, 10);
    sdk.script('QCF_GetSPMKeyInfo', { code: 0 });
    const result = await plugin.getSPMKeyInfo('a', 'b');
    clearInterval(timer);
    sdk.setDelay(0);
    plugin.finish();
    report({ ticks, code: result.code, sdkThread: configure().sdkThread });
  },

  // With sdk_locks_and_exit preloaded: the SDK logs from atexit while a log
  // callback is registered.
  logAtExit(context) {
    const { plugin } = context;
    plugin.preActivate('keys');
    plugin.setLogCallback(() => {});
    // From a later turn, with the host fully running when it exits.
    setTimeout(() => process.exit(5), 10);
  },

  // With sdk_locks_and_exit preloaded: QCF_Init logs under the SDK's lock,
  // and the callback calls finish, which takes that lock.
  async lockedLog(context) {
    const { plugin, report } = context;
    plugin.preActivate('keys');
    const seen = [];
    plugin.setLogCallback((line) => {
      if (isCallLine(line)) return;
      seen.push(line);
      seen.push(`finish ${plugin.finish()}`);
    });
    const result = await plugin.init(1, 'user', 'pin');
    await turns();
    report({ seen, code: result.code });
  },

  // Lines to a thousand instances without handlers cost them nothing.
  async fanOut(context) {
    const { plugin, VarnKtPlugin, report } = context;
    plugin.preActivate('keys');
    for (let i = 0; i < 1000; i++) new VarnKtPlugin();
    let delivered = 0;
    plugin.setEventCallback('onCaptureMessage', (line) => { if (!isCallLine(line)) delivered++; });
    global.gc();
    const before = process.memoryUsage().rss;
    sdk.emitAsync({ message: 'to all', threads: 2, count: 10000, wait: true });
    while (delivered < 20000) await turns(1);
    global.gc();
    const growthMB = (process.memoryUsage().rss - before) / 1048576;
    plugin.finish();
    report({ delivered, growthMB });
  },

  // Every method in turn, then every promise method at once: what reached
  // the SDK, on which threads, what came back and in which order.
  async everyMethod(context) {
    const { plugin, report } = context;
    const item = { appName: 'app', keyLen: 16, softkeyPath: 'soft.key' };
    const fill = { serverAddr: 'kms', port: 1, serverType: 1, userTokenHandle: 't', overWriteFlag: 1, fillkeyItem: item };
    const lines = [];
    plugin.setLogCallback((line) => lines.push(line));
    const results = [
      plugin.preActivate('keys', 'logs'), plugin.setKeyFilePath('keys'), plugin.setCustomConfig('logLevel', '1'),
      await plugin.init(7, 'user', 'pin', 'kms.local', 18001), await plugin.auth(),
      await plugin.auth_pubkey(8, 'user2', 'pin2'), await plugin.fillKey(fill), plugin.fillKeySync(fill),
      await plugin.reFillKey('', 2, 3), plugin.reFillKeySync('', 2, 3), await plugin.getSPMKeyInfo('tag', 'source'),
      await plugin.createGroup('g', 32, 'x'), await plugin.applyKeyWithGroupID('standin-group-0001', 'a'),
      await plugin.reportSPMWithSignPubkey('a', 'b', 1),
    ];
    const sequential = sdk.calls();
    const order = [];
    const pending = ['init', 'auth', 'reFillKey', 'getSPMKeyInfo', 'createGroup', 'reportSPMWithSignPubkey'].map((name) => {
      const args = { init: [1, 'u', 'p'], reFillKey: ['', 1, 1], getSPMKeyInfo: ['a', 'b'], createGroup: ['g', 1, 'x'],
        reportSPMWithSignPubkey: ['a', 'b', 1] }[name] || [];
      return plugin[name](...args).then(() => order.push(name));
    });
    await Promise.all(pending);
    results.push(plugin.finish());
    await turns();
    const jsThread = sdk.threadId();
    const calls = sdk.calls();
    // Tokens, the security module's tag and group ids are random.
    const stable = (value) => JSON.parse(JSON.stringify(value).replace(/(tok|SPM|GRP)-[0-9A-F]+/g, '$1-*'));
    report(stable({
      results,
      // The concurrent calls reach the SDK in the order their completions
      // run, which the default mode leaves open.
      calls: sequential.map(({ name, args }) => ({ name, args: args.map((arg) => (Buffer.isBuffer(arg) ? arg.toString('hex') : arg)) })),
      threads: [...new Set(calls.map((call) => (call.thread === jsThread ? 'js' : 'other')))],
      otherThreads: new Set(calls.map((call) => call.thread)).size,
      order,
      lines: lines.filter((line) => !isCallLine(line)),
      sdkThread: configure().sdkThread,
    }));
  },
};
