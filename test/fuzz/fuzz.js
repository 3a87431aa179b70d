'use strict';
// Argument fuzzing of every VarnKtPlugin method against the simulator: values of every type, throwing Proxies,
// getters and coercions, 1 MiB strings, lone surrogates (no path separators), wrong receivers, re-entrant calls.
// Every call must return a value of its kind, throw, or settle with a result object or exactly {code: -1, message}.
//   node test/fuzz/fuzz.js --calls N --seed S [--in-flight M]
function rng(seed) { // mulberry32
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = Math.imul(state ^ (state >>> 15), state | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const int = (n) => Math.floor(next() * n);
  return { next, int, chance: (p) => next() < p, pick: (list) => list[int(list.length)] };
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const NUMBERS = [0, -0, 1, -1, 0.5, NaN, Infinity, -Infinity, 2 ** 32 + 1, 2 ** 32, 2 ** 32 - 1, 2 ** 31, -(2 ** 31) - 1,
  2 ** 53 + 2, 1e300, -1e300, 5e-324, 65536, 18000, 256, 257, 4294967296.5];
const PIECES = ['a', '0', ' ', '.', ':', '%', '\0', 'é', '中', '€', '\uD800', '\uDFFF', '😀', '\u{10FFFF}', '\uFEFF',
  '\r', '\n', '"', '%s', '%n', '..', '18000', 'onCaptureError', 'logLevel', 'keyTemporaryCapacity'];
const PRIMITIVES = [undefined, null, true, false, 0n, 2n ** 64n + 1n, -(2n ** 70n), Symbol('fuzz'), Symbol.iterator];
const THROWN = [{ thrownBy: 'fuzz' }, new Error('fuzz'), undefined, null, 0, 'fuzz', Symbol('fuzz'), 7n]; // what callbacks, getters and traps throw
const FILL = ['serverAddr', 'port', 'serverType', 'userTokenHandle', 'overWriteFlag', 'fillkeyItem'];
const ITEM = ['appName', 'keyLen', 'softkeyPath'];
const TRAPS = ['get', 'has', 'ownKeys', 'getOwnPropertyDescriptor', 'getPrototypeOf', 'set', 'defineProperty', 'apply', 'construct'];

const isInt32 = (v) => Number.isInteger(v) && v >= -(2 ** 31) && v < 2 ** 31;
const isResult = (v) => v !== null && typeof v === 'object' && isInt32(v.code) && typeof v.message === 'string';
const isPlainRejection = (v) => v !== null && typeof v === 'object' && Object.getPrototypeOf(v) === Object.prototype &&
  Object.keys(v).join() === 'code,message' && v.code === -1 && typeof v.message === 'string' && v.message.length > 0;

// Per method: its arguments (s string, n number, f function, e event name, k fillKey parameters) and a check of what
// it returns (null: a promise).
const METHODS = {
  preActivate: ['sss', isInt32], reportSPMWithSignPubkey: ['ssn', null], setKeyFilePath: ['s', isInt32],
  setCustomConfig: ['ss', isInt32], init: ['nsssn', null], finish: ['', isInt32], auth_pubkey: ['nsssn', null],
  auth: ['', null], fillKey: ['k', null], fillKeySync: ['k', isInt32], getSPMKeyInfo: ['ss', null],
  reFillKey: ['snn', null], reFillKeySync: ['snn', isResult], createGroup: ['sns', null], applyKeyWithGroupID: ['ss', null],
  hello: ['s', (v) => typeof v === 'string'], setLogCallback: ['f', (v) => v === 0], setEventCallback: ['ef', (v) => v === 12],
};

const describe = (v) => { try { return typeof v === 'string' ? JSON.stringify(v.slice(0, 80)) : v === null || typeof v !== 'object' ? String(v)
  : `${Object.getPrototypeOf(v)?.constructor?.name ?? 'null-prototype'} ${JSON.stringify(v)?.slice(0, 200)}`; } catch { return '(undescribable)'; } };

// `calls` calls from a seeded generator; callbacks, run whenever, draw from a second one, so that a seed replays the
// same calls. Logs its figures and returns the failures.
async function fuzz({ calls, seed, inFlight, say }) {
  say(`seed ${seed}, ${calls} calls, up to ${inFlight} promises in flight`);
  const sdk = require('../helpers/sdk');
  sdk.tempCwd();
  sdk.reset();
  require('node:v8').setFlagsFromString('--expose-gc'); // a gc function without the node flag
  const gc = globalThis.gc ?? require('node:vm').runInNewContext('gc');
  const { VarnKtPlugin } = require(sdk.ROOT);
  const [main, sideR, started] = [rng(seed), rng(seed ^ 0x5bd1e995), Date.now()];
  let [r, nesting, budget] = [main, 0, 0];
  const [pending, failures] = [new Set(), []]; // pending: labels of calls whose promise has not settled
  for (const event of ['uncaughtException', 'unhandledRejection']) process.on(event, (err) => failures.push(`uncaught: ${describe(err?.stack ?? err)}`));
  const counts = { calls: 0, returned: 0, threw: 0, resolved: 0, rejected: 0, nested: 0 };
  // The third instance is replaced (and collected) now and then, and never gets event handlers.
  const instances = [new VarnKtPlugin(), new VarnKtPlugin(), new VarnKtPlugin()];
  const big = ['x'.repeat(1 << 20), '中'.repeat(349525), `${'😀'.repeat(1 << 18)}\uD800`, `${'a'.repeat((1 << 20) - 1)}\0`];
  const fail = (message) => { if (failures.length < 50) failures.push(message); };
  const side = (body) => { try { r = sideR; return body(); } finally { r = main; } };
  const throwSomething = () => { throw r.pick(THROWN); };
  const string = () => (r.chance(0.1) ? (r.chance(0.5) ? '' : r.pick(big)) : Array.from({ length: r.chance(0.1) ? r.int(400) : r.int(24) },
    () => (r.chance(0.2) ? String.fromCharCode(r.int(0x10000)).replace(/[\\/]/g, '_') : r.pick(PIECES))).join(''));
  const number = () => (r.chance(0.6) ? r.pick(NUMBERS) : r.chance(0.5) ? r.int(2 ** 32) - 2 ** 31 : (r.next() - 0.5) * 10 ** r.int(40));
  const throwingProxy = (target) => new Proxy(target, Object.fromEntries(TRAPS.filter(() => r.chance(0.7))
    .map((name) => [name, () => side(throwSomething)])));
  // `keys` on `target`, some missing, some not enumerable, some getters that throw or answer differently on each read
  // (a plausible value first: a check and a later read must not disagree into a fault); `make` gives the values.
  const define = (target, keys, depth, make = () => value(depth + 1)) => {
    for (const key of keys.filter((k) => r.chance(0.9) && Object.getOwnPropertyDescriptor(target, k)?.configurable !== false)) {
      const [enumerable, mode] = [r.chance(0.9), r.int(4)];
      let reads = 0; // getters: 0 throws, 1 answers anything, 2 a string first, 3 a number on odd reads
      const get = () => side(() => (reads += 1, mode === 0 ? throwSomething() : mode === 2 && reads === 1 ? string()
        : mode === 3 && reads % 2 ? number() : value(depth + 1)));
      Object.defineProperty(target, key, r.chance(0.15) ? { get, enumerable, configurable: true }
        : { value: make(key), enumerable, writable: true, configurable: true });
    }
    return target;
  };
  const func = (depth) => {
    // `later` settles with nothing: a random thenable could reject a derived promise later, unhandled.
    const fn = r.pick([function thrower() { return side(throwSomething); }, function answerer() { return side(() => value(depth + 1)); },
      function reentrant() { // a call from a callback, on a budget only the main sequence refills (they would multiply)
        if (nesting > 0 || budget < 1) return;
        [budget, nesting, counts.nested] = [budget - 1, 1, counts.nested + 1];
        try { side(randomCall); } finally { nesting = 0; }
      }, (...args) => args.length,
      function later() { return Promise.resolve().then(() => { side(() => value(depth + 1)); }); }]);
    if (r.chance(0.3)) define(fn, ['serverAddr', 'port', 'fillkeyItem', 'length', 'name', 'toString'], depth + 1);
    return r.chance(0.1) ? throwingProxy(fn) : fn;
  };
  // Mostly well-formed fillKey parameters: plausible values, holes, getters, odd bases.
  const params = (depth) => {
    const plausible = (key) => (r.chance(0.2) ? value(depth + 1) : ['port', 'serverType', 'overWriteFlag', 'keyLen'].includes(key) ? number() : string());
    const item = define({}, ITEM, depth, plausible);
    const base = r.chance(0.15) ? function carrier() {} : r.chance(0.1) ? Object.create({ inherited: true }) : {};
    define(base, FILL, depth, (key) => (key !== 'fillkeyItem' ? plausible(key) : r.chance(0.85) ? item : value(depth + 1)));
    return r.chance(0.05) ? throwingProxy(base) : base;
  };
  function value(depth = 0) {
    if (depth > 2 || r.chance(0.55)) return r.chance(0.5) ? r.pick(PRIMITIVES) : r.chance(0.5) ? string() : number();
    return r.pick([
      () => ({}), () => Object.create(null), () => func(depth), () => params(depth), () => params(depth),
      () => Object.assign(new Array(r.pick([0, 3, 100000])), [value(depth + 1)]), () => throwingProxy(r.chance(0.5) ? {} : []),
      () => new Proxy({}, { get: () => side(() => value(depth + 1)), has: () => side(() => r.chance(0.5)) }),
      () => define({}, [...FILL, ...ITEM], depth),
      () => ({ [r.pick(['toString', 'valueOf', Symbol.toPrimitive])]: () => side(() => (r.chance(0.3) ? throwSomething() : value(depth + 1))) }),
      () => r.pick([new Date(NaN), new Map([[1, 2]]), Buffer.from('abc'), new Float64Array([NaN]), new ArrayBuffer(8), new Error('as a value')]),
      () => r.pick([Promise.resolve(1), new Number(-0), new String('boxed'), globalThis, (({ proxy, revoke }) => (revoke(), proxy))(Proxy.revocable({}, {}))]),
      () => r.pick([...instances, VarnKtPlugin, VarnKtPlugin.prototype]),
      () => Object.freeze(define({}, ['code', 'message'], depth)),
    ])();
  }
  const check = (label, kind, test, result) => { // a check that throws: the value was not ours (a user's Proxy, say)
    try { return test(result) || fail(`${label}: ${kind} ${describe(result)}`); } catch (err) { fail(`${label}: looking at what it ${kind} threw ${describe(err)}`); }
  };
  function randomCall() { // a random method, arguments, receiver and form
    const [method, [shape, returns]] = r.pick(Object.entries(METHODS));
    const plausible = { s: string, n: number, f: () => func(1), k: () => params(1),
      e: () => (r.chance(0.8) ? r.pick(['onCaptureError', 'onCaptureMessage']) : string()) };
    const args = Array.from({ length: r.chance(0.3) ? r.int(shape.length + 3) : shape.length },
      (_, i) => (i < shape.length && r.chance(0.5) ? plausible[shape[i]]() : value()));
    const wrong = r.chance(0.1);
    const receiver = wrong ? r.pick([r.pick(PRIMITIVES), number(), {}, Object.create(VarnKtPlugin.prototype), VarnKtPlugin, () => {},
      new Proxy({}, {}), throwingProxy({})]) : r.pick(instances.slice(0, method === 'setEventCallback' ? 2 : 3));
    const construct = r.chance(0.01);
    const label = `call #${(counts.calls += 1)} ${method}${wrong ? ' (wrong receiver)' : ''}${construct ? ' (as a constructor)' : ''}`;
    const fn = VarnKtPlugin.prototype[method];
    let result;
    try { result = construct ? Reflect.construct(fn, args) : Reflect.apply(fn, receiver, args); } catch (err) {
      counts.threw += 1;
      return (err instanceof Error ? typeof err.message === 'string' : THROWN.includes(err)) || fail(`${label}: threw ${describe(err)}, neither an Error nor a value the arguments threw`);
    }
    counts.returned += 1;
    if (construct) return;
    if (wrong && method !== 'setLogCallback') return fail(`${label}: returned for a wrong receiver: ${describe(result)}`);
    if (!check(label, 'returned', returns ?? ((v) => v instanceof Promise), result) || returns) return;
    pending.add(label);
    result.then((v) => { counts.resolved += 1; check(label, 'resolved with', isResult, v); },
      (reason) => { counts.rejected += 1; check(label, 'rejected with', isPlainRejection, reason); }).finally(() => pending.delete(label));
  }
  for (let i = 0; i < calls; i += 1) {
    // Now and then: SDK lines during a call or from SDK threads, a replaced instance, or a session opened in order
    // so that key calls get past the stage checks.
    const [choice, kind] = i % 16 === 0 ? [r.int(8), r.pick(['log', 'exception'])] : [-1];
    if (choice === 0) sdk.script(r.pick(['QCF_Init', 'QCF_Auth', 'QCF_FillKey_WithPubkey', 'QCF_Finish', 'QCF_Custom']),
      { times: 1 + r.int(3), emit: [{ kind, value: r.int(100), message: string(), ownThread: r.chance(0.3) }] });
    if (choice === 1) sdk.emitAsync({ kind, message: string().slice(0, 200), threads: 1 + r.int(3), count: 1 + r.int(20) });
    if (choice === 2) { instances[2] = new VarnKtPlugin(); gc(); }
    if (choice === 3) { instances[0].preActivate('keys.store'); await instances[0].init(1, 'user', 'device'); await instances[0].auth(); }
    budget = Math.min(budget + 0.25, 8);
    if (i % 256 === 255) sdk.reset(); // the record of calls would grow with every 1 MiB text
    randomCall();
    if (pending.size >= inFlight || i % 64 === 63) await new Promise(setImmediate);
    if (i % 1000 === 999) say(`${i + 1} calls, ${pending.size} promises pending`);
  }
  for (const end = Date.now() + 60000; pending.size > 0 && Date.now() < end;) await sleep(10);
  for (const label of pending) fail(`${label}: its promise never settled`);
  sdk.joinThreads();
  await sleep(50); // deliveries still queued from the stand-in's threads
  sdk.reset();
  say(`${JSON.stringify(counts)} in ${((Date.now() - started) / 1000).toFixed(1)} s`);
  say(failures.length ? `FAILED with seed ${seed}:\n  ${failures.join('\n  ')}` : `passed (seed ${seed})`);
  return failures;
}

module.exports = { rng, sleep };

if (require.main === module) {
  const { values: v } = require('node:util').parseArgs({ options: { calls: { type: 'string' }, seed: { type: 'string' }, 'in-flight': { type: 'string' } } });
  const options = { calls: +(v.calls ?? 20000), seed: Number(v.seed ?? Date.now() ^ process.pid) >>> 0, inFlight: +(v['in-flight'] ?? 500) };
  const say = (line) => process.stderr.write(`fuzz: ${line}\n`); // standard output belongs to the add-on's console lines
  fuzz({ ...options, say }).then((failures) => process.exit(failures.length ? 1 : 0),
    (err) => { say(`crashed with seed ${options.seed}: ${err && err.stack}`); process.exit(1); });
}
