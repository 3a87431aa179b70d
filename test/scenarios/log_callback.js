'use strict';
// The simulator's own lines lose their notes ("QCF_Auth: ok (logged in ...)" -> "QCF_Auth: ok").
const plain = (message) => String(message).replace(/^(QCF_\w+: ok) \(.*\)$/, '$1');
// Every callback throws: an exception reaching the process would end the child.
const recorder = (into) => (message) => { into.push(plain(message)); throw new Error('callback failed'); };
const lines = (...messages) => ({ code: 0, emit: messages.map((message) => ({ kind: 'log', message })) });
const turns = async (n = 3) => { for (let i = 0; i < n; i++) await new Promise((r) => setImmediate(r)); };

// Each step from a fresh session: preActivate and init, and finish after it.
const STEPS = {
  async withinCall({ plugin, sdk, logLines }) {
    const [seen, events] = [[], []];
    plugin.setLogCallback((m) => { if (!/^QCF_Custom/.test(m)) seen.push([plain(m), sdk.names().at(-1)]); throw m; });
    const handler = function (...args) {
      if (!/^QCF_/.test(args[0])) { events.push([String(this), ...args]); Promise.resolve().then(() => events.push('reaction')); }
      throw new Error('handler');
    };
    ['onCaptureError', 'onCaptureMessage'].forEach((name) => plugin.setEventCallback(name, handler));
    sdk.script('QCF_Init', { emit: [{ kind: 'log', message: '第二行' }, { kind: 'log', message: null },
      { kind: 'exception', value: -2147483648, message: '密钥错误 ü' }, { kind: 'exception', value: 8, message: null }] });
    const result = await plugin.init(1, 'u', 'd');
    await turns();
    return { seen, events, result, log: logLines().slice(-5).map(plain) };
  },

  async registrations({ plugin, VarnKtPlugin, sdk, logLines }) {
    const [a, b, c] = [[], [], []];
    const registering = new WeakRef(new VarnKtPlugin());
    registering.deref().setLogCallback(recorder(c));
    for (let i = 0; i < 5; i++) { global.gc(); await turns(); }
    const kept = registering.deref() !== undefined; // by its callback
    await plugin.auth();
    const bystander = new WeakRef(new VarnKtPlugin());
    for (let i = 0; i < 5; i++) { global.gc(); await turns(); }
    await plugin.auth();
    plugin.setLogCallback(recorder(a));
    const returned = new VarnKtPlugin().setLogCallback(recorder(b));
    try { plugin.setLogCallback('not a function'); } catch {}
    await plugin.auth();
    plugin.finish();
    sdk.script('QCF_Auth', { code: 0 });
    await plugin.auth(); // to the log file only
    return { a, b, c, returned, log: logLines().slice(-3).map(plain), kept, collected: bystander.deref() === undefined };
  },

  async sdkThreads({ plugin, sdk, logLines }) {
    const [a, b] = [[], []];
    plugin.setLogCallback(recorder(a));
    sdk.script('QCF_Auth', { emit: [...['t1', 't2', 't3'].map((message) => ({ kind: 'log', message, ownThread: true })), ...lines('on the JS thread').emit] });
    await plugin.auth();
    plugin.setLogCallback(recorder(b)); // before the dispatcher has run
    await turns();
    sdk.emitAsync({ message: 'dropped', wait: true });
    plugin.finish(); // nothing registered when it is delivered
    await turns(10);
    return { a, b, dropped: logLines().filter((l) => l === 'dropped') };
  },

  async reentry({ plugin, sdk }) {
    const [a, b, c, d] = [[], [], [], []];
    plugin.setLogCallback((m) => { a.push(plain(m)); if (m === 'switch') plugin.setLogCallback(recorder(b)); });
    sdk.script('QCF_Auth', lines('before', 'switch', 'after'));
    await plugin.auth();
    // Nothing the callback needs may go when it finishes the SDK.
    plugin.setLogCallback((m) => { c.push(plain(m)); if (m === 'stop') { plugin.finish(); global.gc(); c.push('still running'); } });
    sdk.script('QCF_Auth', lines('one', 'stop', 'not delivered'));
    const { code } = await plugin.auth();
    plugin.setLogCallback((m) => { d.push(plain(m)); if (m === 'nested') plugin.reFillKeySync('a', 1, 2); });
    sdk.script('QCF_Auth', lines('nested'));
    sdk.script('QCF_ReFillKey', lines('inner'));
    await plugin.auth();
    return { a, b, c, d, code };
  },
};

module.exports = {
  async steps(context) {
    const results = {};
    for (const [name, step] of Object.entries(STEPS)) {
      context.plugin.preActivate('k.key');
      await context.plugin.init(1, 'u', 'd');
      results[name] = JSON.parse(JSON.stringify(await step(context)));
      context.plugin.finish();
      await turns();
    }
    return results;
  },
};
