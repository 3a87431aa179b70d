'use strict';
// Scenarios of test/js/event_loop.test.js; some report for themselves and let the process end as it would, which is
// what they test.
const sdk = require('../helpers/sdk');

const { configure } = require(sdk.ROOT);

const isCallLine = (line) => /^QCF_\w+: /.test(line);
const turns = async (count = 2) => { for (let i = 0; i < count; i++) await new Promise(setImmediate); };

module.exports = {
  // args: ['idle' (no session), 'open' (a session), 'finish' or 'exit' (a session, lines of SDK threads queued)]: how
  // the process ends is what is tested. Deliveries, and the lines in log.txt, are reported at exit.
  async ending({ plugin, report, logLines, args: [end] }) {
    plugin.setEventCallback('onCaptureMessage', () => {}); // a handler keeps nothing alive by itself
    if (end === 'idle') return void report({ hello: plugin.hello('abc') });
    plugin.preActivate('keys');
    if (end === 'open') return;
    if (end === 'finish') await plugin.init(1, 'user', 'pin');
    const seen = { events: 0, lines: 0 };
    plugin.setEventCallback('onCaptureMessage', (line) => { if (!isCallLine(line)) seen.events++; });
    plugin.setLogCallback((line) => { if (!isCallLine(line)) seen.lines++; });
    process.on('exit', () => report({ ...seen, logged: logLines().filter((line) => line === 'queued').length }));
    sdk.emitAsync({ message: 'queued', threads: 2, count: 500, wait: true });
    if (end === 'finish') plugin.finish(); else process.exit(3);
  },

  // Exits with 5 from a timer while a log callback is registered: with an SDK thread logging without pause (`storm`),
  // the timer must still run; with sdk_locks_and_exit preloaded, the SDK logs from atexit.
  exitLater({ plugin, VarnKtPlugin, args: [storm] }) {
    plugin.preActivate('keys');
    plugin.setLogCallback(() => {});
    if (storm) {
      for (let i = 0; i < 10; i++) new VarnKtPlugin().setEventCallback('onCaptureMessage', () => {});
      sdk.emitAsync({ message: 'storm', threads: 1, count: 2000000000, wait: false });
    }
    setTimeout(() => process.exit(5), 50);
  },

  // How often a 10 ms timer fires while a slow SDK call is in flight.
  async loopTicks({ plugin }) {
    plugin.preActivate('keys');
    sdk.setDelay(300);
    sdk.script('QCF_GetSPMKeyInfo', { code: 0 });
    let ticks = 0;
    const timer = setInterval(() => { ticks++; }, 10);
    const { code } = await plugin.getSPMKeyInfo('a', 'b');
    clearInterval(timer);
    return { ticks, code };
  },

  // With sdk_locks_and_exit preloaded: QCF_Init logs under the SDK's lock; the callback calls finish, which takes it.
  async lockedLog({ plugin }) {
    plugin.preActivate('keys');
    const seen = [];
    plugin.setLogCallback((line) => isCallLine(line) || (seen.push(line), seen.push(`finish ${plugin.finish()}`)));
    const result = await plugin.init(1, 'user', 'pin');
    await turns();
    return { seen, code: result.code };
  },

  // Lines to a thousand instances without handlers cost them nothing.
  async fanOut({ plugin, VarnKtPlugin }) {
    plugin.preActivate('keys');
    for (let i = 0; i < 1000; i++) new VarnKtPlugin();
    let delivered = 0;
    plugin.setEventCallback('onCaptureMessage', (line) => { if (!isCallLine(line)) delivered++; });
    global.gc();
    const before = process.memoryUsage().rss;
    sdk.emitAsync({ message: 'to all', threads: 2, count: 10000, wait: true });
    while (delivered < 20000) await turns(1);
    global.gc();
    return { delivered, growthMB: (process.memoryUsage().rss - before) / 1048576 };
  },

  // Every method in turn, then every promise method at once: what reached the SDK, on which threads, what came back
  // and in which order.
  async everyMethod({ plugin }) {
    const fill = { serverAddr: 'kms', port: 1, serverType: 1, userTokenHandle: 't', overWriteFlag: 1,
      fillkeyItem: { appName: 'app', keyLen: 16, softkeyPath: 'soft.key' } };
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
    const [sequential, order] = [sdk.calls(), []];
    await Promise.all(Object.entries({ init: [1, 'u', 'p'], auth: [], reFillKey: ['', 1, 1], getSPMKeyInfo: ['a', 'b'],
      createGroup: ['g', 1, 'x'], reportSPMWithSignPubkey: ['a', 'b', 1] }).map(([name, args]) => plugin[name](...args).then(() => order.push(name))));
    results.push(plugin.finish());
    await turns();
    // Tokens, the security module's tag and group ids are random.
    return JSON.parse(JSON.stringify({
      results,
      // The concurrent calls reach the SDK in the order their completions run, which the default mode leaves open.
      calls: sequential.map(({ name, args }) => ({ name, args: args.map((arg) => (Buffer.isBuffer(arg) ? arg.toString('hex') : arg)) })),
      threads: [...new Set(sdk.calls().map((call) => call.thread))].map((thread) => (thread === sdk.threadId() ? 'js' : 'other')),
      order,
      lines: lines.filter((line) => !isCallLine(line)),
      sdkThread: configure().sdkThread,
    }).replace(/(tok|SPM|GRP)-[0-9A-F]+/g, '$1-*'));
  },
};
