'use strict';
// Scenarios of the events and module tests.
const { openSession } = require('../helpers/session');

const turns = async (n = 1) => { for (let i = 0; i < n; i++) await new Promise((r) => setImmediate(r)); };
// Deliveries drain at their own pace (far slower under Wine or the sanitizers): wait until a pause brings none.
const untilQuiet = async (read) => {
  for (let last = -1; last !== read();) {
    last = read();
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
};

module.exports = {
  // Events queued for `doomed` while it listens run after it stopped and was collected; its collection leaves the log
  // callback in force.
  async collectedListener({ plugin, VarnKtPlugin, sdk }) {
    plugin.preActivate('keys');
    let logged = 0;
    plugin.setLogCallback(() => { logged++; });
    const [seen, handler] = [[], () => seen.push('doomed')];
    plugin.setEventCallback('onCaptureMessage', (m) => /^QCF_/.test(m) || seen.push(m));
    let doomed = new VarnKtPlugin();
    doomed.setEventCallback('onCaptureMessage', handler);
    sdk.script('QCF_Custom', { emit: [{ kind: 'log', message: 'queued' }] });
    plugin.setCustomConfig('emit', '1');
    const removed = [[() => {}], [handler], []].map((rest) => doomed.removeEventCallback('onCaptureMessage', ...rest));
    const collected = new WeakRef(doomed);
    doomed = null;
    // A WeakRef keeps its target until the job that read it ends: read it last.
    for (let i = 0; i < 3; i++) { await turns(); global.gc(); }
    const before = logged;
    sdk.script('QCF_Custom', { emit: [{ kind: 'log', message: 'probe' }] });
    plugin.setCustomConfig('probe', '1');
    await turns(2);
    return { removed, collected: collected.deref() === undefined, logging: logged > before, seen };
  },

  async finishUnderThreads({ plugin, VarnKtPlugin, sdk, logLines }) {
    plugin.preActivate('keys');
    let lines = 0;
    const events = [0, 0, 0, 0]; // of four holders, each kept alive by its handlers
    events.forEach((_, i) => {
      const holder = new VarnKtPlugin();
      holder.setEventCallback('onCaptureMessage', () => { events[i] += 1; });
      holder.setEventCallback('onCaptureError', () => { events[i] += 1; throw new Error('handler'); });
    });
    for (let i = 0; i < 4; i++) {
      sdk.emitAsync({ kind: 'log', message: `line ${i}`, threads: 1, count: 2000 });
      sdk.emitAsync({ kind: 'exception', value: i, message: `fault ${i}`, threads: 1, count: 2000 });
    }
    // finish logs from an SDK thread while it runs.
    sdk.script('QCF_Finish', { times: -1, emit: [{ kind: 'log', message: 'finishing', ownThread: true },
      { kind: 'exception', value: 1, message: 'finish fault', ownThread: true }] });
    for (let round = 0; round < 200; round++) {
      new VarnKtPlugin().setLogCallback(() => lines++);
      if (round % 3 === 0) plugin.finish();
      if (round % 5 === 0) global.gc();
      await turns();
    }
    sdk.joinThreads();
    plugin.setLogCallback(() => lines++);
    sdk.emitAsync({ kind: 'log', message: 'line 0', count: 1, wait: true });
    await untilQuiet(() => lines + events.reduce((a, b) => a + b));
    const kinds = { line: /^line \d$/, fault: /^fault \d$/, finishing: /^finishing$/, finishFault: /^finish fault$/, finished: /^QCF_Finish: / };
    const counts = Object.fromEntries(Object.entries(kinds).map(([k, re]) => [k, logLines().filter((l) => re.test(l)).length]));
    return { counts, linesDelivered: lines > 0, eventsPerHolder: events };
  },

  async storm({ plugin, sdk, logLines }) {
    plugin.preActivate('keys');
    let calls = 0;
    const storm = async (callback) => {
      plugin.setLogCallback((line) => { calls += 1; callback(line); });
      for (let i = 0; i < 4; i++) sdk.emitAsync({ message: `storm ${i}`, threads: 1, count: 25000 });
      sdk.joinThreads();
      await untilQuiet(() => calls);
    };
    const perThread = {};
    await storm((line) => { if (line.startsWith('storm ')) perThread[line] = (perThread[line] || 0) + 1; });
    let seen = 0;
    // The second storm's callback finishes the SDK half-way: queued deliveries find no callback
    // (finish's own line still reaches the running callback, unless it comes from the SDK thread).
    await storm(() => { seen += 1; if (seen === 50000) plugin.finish(); });
    return { perThread, seen, logged: logLines().filter((l) => l.startsWith('storm ')).length };
  },

  // args: [where process.exit is called: 'main', 'callback' or 'promise'].
  async exitUnderLoad({ plugin, VarnKtPlugin, sdk, args: [from] }) {
    await openSession(plugin);
    plugin.setLogCallback(() => {});
    Array.from({ length: 3 }, () => new VarnKtPlugin()).forEach((p) => p.setEventCallback('onCaptureMessage', () => {}));
    const params = { serverAddr: 's', port: 1, serverType: 1, userTokenHandle: 't', overWriteFlag: 1,
      fillkeyItem: { appName: 'a', keyLen: 16, softkeyPath: 'soft.key' } };
    for (let i = 0; i < 3000; i++) { plugin.fillKey(params); plugin.getSPMKeyInfo('a', 'b'); }
    sdk.emitAsync({ kind: 'log', message: 'busy', threads: 4, count: 20000 });
    sdk.emitAsync({ kind: 'exception', message: 'busy', threads: 2, count: 20000 });
    if (from === 'main') process.exit(7);
    if (from === 'callback') { plugin.setLogCallback(() => process.exit(9)); sdk.emitAsync({ message: 'bye', threads: 2, count: 1000 }); }
    if (from === 'promise') plugin.getSPMKeyInfo('a', 'b').then(() => process.exit(11));
  },

  // args: [arguments by method name, callbacks as null].
  async everyShape({ plugin, args: [ARGUMENTS] }) {
    const shape = (v) => (typeof v === 'object' && v !== null ? { type: 'object', keys: Object.keys(v) } : { type: typeof v, keys: null });
    const methods = {};
    for (const [name, args] of Object.entries(ARGUMENTS)) {
      const returned = plugin[name](...args.map((arg) => (arg === null ? () => {} : arg)));
      const promise = returned instanceof Promise;
      methods[name] = { promise, ...shape(promise ? await returned : returned) };
    }
    return { methods, rejection: await plugin.fillKey().then(() => null, (reason) => shape(reason).keys) };
  },
};
