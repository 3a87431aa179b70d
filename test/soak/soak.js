'use strict';
// Soak: a long mix of calls over every VarnKtPlugin method with up to `inFlight` promises pending, SDK lines during
// calls and from SDK threads, callbacks replaced, instances collected. Held memory (C heap in use after trimming, from
// heap_probe.node, plus V8's live heap: the resident set rises with fragmentation), live instances and the add-on's
// async resources are measured after a warm-up and at the end; growth over `maxGrowthMiB`, unsettled or wrongly
// settled promises and leftover add-on objects fail the run.
//   node test/soak/soak.js [--calls N] [--in-flight M] [--warm-up N] [--seed S] [--max-growth MiB]
const { spawnSync } = require('node:child_process');
const asyncHooks = require('node:async_hooks');
const { rng, sleep } = require('../fuzz/fuzz');

// The add-on's async resources: one per asynchronous call, and delivery contexts for the log callback and events.
const PER_CALL_RESOURCES = ['KT_Init', 'Auth', 'AuthPubkey', 'FillKey', 'ReFillKey', 'GetSPMKeyInfo', 'CreateGroup', 'ApplyKeyWithGroupID', 'ReportSPMWithSignPubkey'];
const ADDON_RESOURCES = new Set([...PER_CALL_RESOURCES, 'VarnKtPluginLog', 'VarnKtPluginEvent']);
const mib = (bytes) => (bytes === null ? null : +(bytes / (1024 * 1024)).toFixed(2));

// gc(), and a young generation of fixed size: left to grow, it adds some 20 MiB of resident memory in the first
// minutes that is not the add-on's.
const NODE_FLAGS = ['--expose-gc', '--min-semi-space-size=16', '--max-semi-space-size=16'];

// Logs its figures and returns the failures.
async function soak({ calls = 1000000, inFlight = 10000, warmUp = Math.floor(calls / 4), seed = 1, maxGrowthMiB = 5, log }) {
  log(`${calls} calls, up to ${inFlight} promises in flight, seed ${seed}`);
  const sdk = require('../helpers/sdk');
  const dir = sdk.tempCwd();
  sdk.reset();
  const { VarnKtPlugin } = require(sdk.ROOT);
  const r = rng(seed);
  const state = { pending: 0, settled: 0, liveInstances: 0, lines: 0, events: 0, threw: 0, rejected: 0, wrongResults: 0 };
  let probe = { trim: () => false, inUse: () => null }; // test/soak/heap_probe.node, when it was built
  try { probe = require(require('node:path').join(sdk.BUILD_DIR, 'Release', 'heap_probe.node')); } catch { /* without it */ }
  const live = new Map(); // asyncId -> type of the add-on's resources
  const hook = asyncHooks.createHook({ init(id, type) { if (ADDON_RESOURCES.has(type)) live.set(id, type); }, destroy(id) { live.delete(id); } }).enable();
  const params = () => ({ serverAddr: 'keyserver.local', port: 18000, serverType: r.int(3), userTokenHandle: 'token', overWriteFlag: 1,
    fillkeyItem: { appName: `app${r.int(100)}`, keyLen: 16 + r.int(64), softkeyPath: `${dir}/soft${r.int(50)}.key` } });
  // The mix (`wrong`: argument-error paths too). A fresh log closure each time: the registration before it is released.
  // The last one is never made on the transient instance (handlers would keep it alive).
  const CALLS = [
    (p) => p.preActivate('keys.dat', r.chance(0.5) ? 'logs' : undefined),
    (p, wrong) => p.reportSPMWithSignPubkey(wrong ? 1 : 'spm', 'pubkey', 18000), (p) => p.setKeyFilePath('keys.dat'),
    (p) => p.setCustomConfig(`key${r.int(20)}`, `value${r.int(1000)}`),
    (p, wrong) => p.init(wrong ? 'x' : 1, 'user', 'pw', 'keyserver.local', 18000), (p) => (r.chance(0.2) ? p.finish() : p.hello('soak')),
    (p, wrong) => p.auth_pubkey(1, 'user', wrong ? {} : 'pw'), (p) => p.auth(), (p, wrong) => p.fillKey(wrong ? {} : params()),
    (p) => p.fillKeySync(params()), (p, wrong) => p.getSPMKeyInfo('app', wrong ? null : 'demo'), (p) => p.reFillKey('', 1, 32),
    (p) => p.reFillKeySync('', 1, 32), (p, wrong) => p.createGroup('group', 32, wrong ? 5 : 'note'),
    (p) => p.applyKeyWithGroupID(`group${r.int(3)}`, 'app'), (p) => p.hello('x'.repeat(r.int(300))),
    (p) => p.setLogCallback((line) => { state.lines += 1; return line.length; }),
    (p) => p.setEventCallback(r.chance(0.5) ? 'onCaptureError' : 'onCaptureMessage', () => { state.events += 1; }),
  ];
  // With nothing in flight, after queued deliveries, finalizers and destroy hooks ran and GC.
  const measure = async (label) => {
    sdk.reset();
    const deadline = Date.now() + 60000;
    while (state.pending > 0 && Date.now() < deadline) await sleep(5);
    sdk.joinThreads();
    // Queued deliveries drain at their own pace (far slower under the sanitizers): until a pause brings none.
    for (let seen = -1; seen !== (seen = state.events + state.lines) && Date.now() < deadline;) await sleep(20);
    for (let i = 0; i < 6; i += 1) { await sleep(20); globalThis.gc(); }
    const [trimmed, { rss, heapUsed }, cHeap, asyncResources] = [probe.trim(), process.memoryUsage(), probe.inUse(), {}];
    for (const type of live.values()) asyncResources[type] = (asyncResources[type] || 0) + 1;
    const m = { label, heldMiB: mib(cHeap === null ? rss : cHeap + heapUsed), rssMiB: mib(rss), trimmed, cHeapInUseMiB: mib(cHeap),
      heapUsedMiB: mib(heapUsed), instances: state.liveInstances, asyncResources, pending: state.pending };
    log(JSON.stringify(m));
    return m;
  };
  const collected = new FinalizationRegistry(() => { state.liveInstances -= 1; });
  const newPlugin = () => { const plugin = new VarnKtPlugin(); state.liveInstances += 1; collected.register(plugin, null); return plugin; };
  const plugins = [newPlugin(), newPlugin(), newPlugin()];
  let transient = newPlugin();
  // Calls are made without yielding until `inFlight` are pending, then the loop runs until half of them settled: the
  // warm-up reaches the peak.
  let [wake, afterWarmUp] = [null, null];
  const started = Date.now();
  for (let i = 0; i < calls; i += 1) {
    if (i === warmUp) afterWarmUp = await measure('after warm-up');
    if (i % 5000 === 0) {
      sdk.reset(); // the stand-in's record of calls would grow for ever
      sdk.script('QCF_CreateGroup', { code: 0, times: -1 }); // groups would pile up in the key file most calls read whole
      sdk.script('QCF_Init', { times: 20, emit: [{ kind: 'log', message: 'init line' }, { kind: 'exception', value: 3, message: 'init fault', ownThread: true }] });
      sdk.script('QCF_FillKey_WithPubkey', { times: 20, emit: [{ kind: 'log', message: 'fill line', ownThread: true }] });
    }
    if (i % 2000 === 0) sdk.emitAsync({ kind: r.chance(0.5) ? 'log' : 'exception', message: 'from an SDK thread', threads: 2, count: 50 });
    if (i % 20000 === 19999) transient = newPlugin();
    let result;
    const plugin = plugins[r.int(plugins.length + 1)] ?? transient;
    try { result = CALLS[r.int(CALLS.length - (plugin === transient ? 1 : 0))](plugin, r.chance(0.05)); } catch { state.threw += 1; continue; }
    if (result instanceof Promise) {
      state.pending += 1;
      result.then((value) => typeof value?.code !== 'number', (reason) => { state.rejected += 1; return reason?.code !== -1; }).then((wrong) => {
        Object.assign(state, { pending: state.pending - 1, settled: state.settled + 1, wrongResults: state.wrongResults + wrong });
        if (wake && state.pending <= inFlight / 2) { wake(); wake = null; }
      });
      if (state.pending >= inFlight) await new Promise((resolve) => { wake = resolve; });
    }
    if (i % Math.max(1000, Math.floor(calls / 20)) === 0) log(`${i + 1} calls, ${state.pending} pending`);
  }
  const atEnd = await measure('at the end');
  hook.disable();
  const growth = atEnd.heldMiB - afterWarmUp.heldMiB;
  const res = atEnd.asyncResources;
  // Instances: the held ones, the current transient one, and the one the log callback was last registered on.
  const failures = [
    [growth > maxGrowthMiB, `memory held grew by ${growth.toFixed(2)} MiB after the warm-up (limit ${maxGrowthMiB})`],
    [atEnd.pending !== 0, `${atEnd.pending} promises never settled`],
    [state.wrongResults, `${state.wrongResults} promises settled with something other than a result or a rejection object`],
    [PER_CALL_RESOURCES.some((name) => res[name] > 0) || (res.VarnKtPluginLog || 0) > 1 || (res.VarnKtPluginEvent || 0) > atEnd.instances,
      `add-on async resources outlive their use: ${JSON.stringify(res)}`],
    [atEnd.instances > plugins.length + 2, `${atEnd.instances} instances alive, at most ${plugins.length + 2} expected`],
  ].filter(([failed]) => failed).map(([, message]) => message);
  log(`held ${afterWarmUp.heldMiB} MiB after the warm-up, ${atEnd.heldMiB} MiB at the end (${growth.toFixed(2)} MiB); ` +
    `resident ${afterWarmUp.rssMiB} -> ${atEnd.rssMiB} MiB`);
  log(JSON.stringify({ calls, seconds: +((Date.now() - started) / 1000).toFixed(1), settled: state.settled, rejected: state.rejected,
    threw: state.threw, logLines: state.lines, events: state.events }));
  log(failures.length ? `FAILED:\n  ${failures.join('\n  ')}` : 'passed');
  return failures;
}

module.exports = { soak, NODE_FLAGS };

if (require.main === module) {
  const names = { calls: 'calls', 'in-flight': 'inFlight', 'warm-up': 'warmUp', seed: 'seed', 'max-growth': 'maxGrowthMiB' };
  const { values } = require('node:util').parseArgs({ options: { child: { type: 'boolean' }, ...Object.fromEntries(Object.keys(names).map((n) => [n, { type: 'string' }])) } });
  if (!values.child) { // standard output, the add-on's console lines, dropped
    process.exit(spawnSync(process.execPath, [...NODE_FLAGS, __filename, '--child', ...process.argv.slice(2)], { stdio: ['ignore', 'ignore', 'inherit'] }).status ?? 1);
  }
  const options = { log: (line) => process.stderr.write(`soak: ${line}\n`) };
  for (const [name, key] of Object.entries(names)) if (values[name] !== undefined) options[key] = Number(values[name]);
  soak(options).then((failures) => process.exit(failures.length ? 1 : 0), (err) => { options.log(`crashed: ${err && err.stack}`); process.exit(1); });
}
