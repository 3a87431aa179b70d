'use strict';
// Argument fuzzing of every VarnKtPlugin method against the simulator.
// Arguments come from a seeded generator: every JavaScript type, functions
// with properties, arrays, Proxies whose traps throw, getters that throw or
// answer differently on every read, 1 MiB strings, NULs, lone surrogates,
// astral characters, -0, NaN, ±Infinity, 2^32+1, 1e300, wrong receivers.
// Half of the positions get a value of the expected kind, to get past the
// argument checks. Every call must return a value of the method's kind,
// throw, or return a promise that settles: resolved with a result object, or
// rejected with exactly the plain object {code: -1, message}. Generated
// strings hold no path separator, so paths stay in the temporary directory.
//
// Run directly: node test/fuzz/fuzz.js --calls N --seed S [--in-flight M]
function rng(seed) {
  let state = seed >>> 0;
  const next = () => { // mulberry32
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const int = (n) => Math.floor(next() * n);
  return { next, int, chance: (p) => next() < p, pick: (list) => list[int(list.length)] };
}

const NUMBERS = [0, -0, 1, -1, 0.5, NaN, Infinity, -Infinity, 2 ** 32 + 1, 2 ** 32, 2 ** 32 - 1, 2 ** 31, -(2 ** 31) - 1,
  2 ** 53 + 2, 1e300, -1e300, 5e-324, 65536, 18000, 256, 257, 4294967296.5];
const PIECES = ['a', '0', ' ', '.', ':', '%', '\0', 'é', '中', '€', '\uD800', '\uDFFF', '😀', '\u{10FFFF}', '\uFEFF',
  '\r', '\n', '"', '%s', '%n', '..', '18000', 'onCaptureError', 'logLevel', 'keyTemporaryCapacity'];
const FILL = ['serverAddr', 'port', 'serverType', 'userTokenHandle', 'overWriteFlag'];
const ITEM = ['appName', 'keyLen', 'softkeyPath'];
const TRAPS = ['get', 'has', 'ownKeys', 'getOwnPropertyDescriptor', 'getPrototypeOf', 'set', 'defineProperty', 'apply', 'construct'];

class FuzzThrow {}
const isInt32 = (v) => Number.isInteger(v) && v >= -(2 ** 31) && v < 2 ** 31;
const isResult = (v) => v !== null && typeof v === 'object' && isInt32(v.code) && typeof v.message === 'string';
const isPlainRejection = (v) => v !== null && typeof v === 'object' && Object.getPrototypeOf(v) === Object.prototype &&
  Object.keys(v).join() === 'code,message' && v.code === -1 && typeof v.message === 'string' && v.message.length > 0;

// Per method: expected kinds per position (s string, n number, f function,
// e event name, k fillKey parameters) and what it returns (null: a promise).
const METHODS = {
  preActivate: ['sss', isInt32], reportSPMWithSignPubkey: ['ssn', null], setKeyFilePath: ['s', isInt32],
  setCustomConfig: ['ss', isInt32], init: ['nsssn', null], finish: ['', isInt32], auth_pubkey: ['nsssn', null],
  auth: ['', null], fillKey: ['k', null], fillKeySync: ['k', isInt32], getSPMKeyInfo: ['ss', null],
  reFillKey: ['snn', null], reFillKeySync: ['snn', isResult], createGroup: ['sns', null], applyKeyWithGroupID: ['ss', null],
  hello: ['s', (v) => typeof v === 'string'], setLogCallback: ['f', (v) => v === 0], setEventCallback: ['ef', (v) => v === 12],
};

function describe(value) {
  try {
    if (typeof value === 'string') return JSON.stringify(value.slice(0, 80));
    if (value === null || typeof value !== 'object') return String(value);
    return `${Object.getPrototypeOf(value)?.constructor?.name ?? 'null-prototype'} ${JSON.stringify(value)?.slice(0, 200)}`;
  } catch { return '(undescribable)'; }
}

class Fuzzer {
  constructor({ VarnKtPlugin, sdk, seed, inFlight = 500, gc }) {
    Object.assign(this, { VarnKtPlugin, sdk, gc, inFlight, r: rng(seed), thrown: new Set(), pending: new Map(), failures: [] });
    this.sideR = rng(seed ^ 0x5bd1e995); // for callbacks, run whenever: a seed replays the same calls
    this.counts = { calls: 0, returned: 0, threw: 0, resolved: 0, rejected: 0, nested: 0 };
    this.nesting = this.budget = 0;
    // The third instance is replaced (and collected) now and then; it never
    // gets event handlers, which would keep it alive.
    this.instances = [new VarnKtPlugin(), new VarnKtPlugin(), new VarnKtPlugin()];
    this.big = ['x'.repeat(1 << 20), '中'.repeat(349525), `${'😀'.repeat(1 << 18)}\uD800`, `${'a'.repeat((1 << 20) - 1)}\0`];
  }

  fail(message) { if (this.failures.length < 50) this.failures.push(message); }

  side(body) {
    const main = this.r;
    try { this.r = this.sideR; return body(); } finally { this.r = main; }
  }

  throwSomething() {
    const thrown = this.r.pick([() => new FuzzThrow(), () => new Error('fuzz'), () => this.r.pick([undefined, null, 0, 'fuzz', Symbol('fuzz'), 7n])])();
    if (!(thrown instanceof Error || thrown instanceof FuzzThrow)) this.thrown.add(thrown);
    throw thrown;
  }

  string() {
    const r = this.r;
    if (r.chance(0.1)) return r.chance(0.5) ? '' : r.pick(this.big);
    let text = '';
    for (let i = r.chance(0.1) ? r.int(400) : r.int(24); i > 0; i -= 1) {
      text += r.chance(0.2) ? String.fromCharCode(r.int(0x10000)).replace(/[\\/]/g, '_') : r.pick(PIECES);
    }
    return text;
  }

  number() {
    const r = this.r;
    return r.chance(0.6) ? r.pick(NUMBERS) : r.chance(0.5) ? r.int(2 ** 32) - 2 ** 31 : (r.next() - 0.5) * 10 ** r.int(40);
  }

  primitive() {
    const r = this.r;
    return r.pick([() => undefined, () => null, () => r.chance(0.5), () => r.pick([0n, 2n ** 64n + 1n, -(2n ** 70n)]),
      () => r.pick([Symbol('fuzz'), Symbol.iterator]), () => this.string(), () => this.string(), () => this.number(), () => this.number()])();
  }

  // A getter that throws or answers differently on each read (a plausible
  // value first: a check and a later read must not disagree into a fault).
  getter(depth) {
    const mode = this.r.int(4);
    let reads = 0;
    return () => this.side(() => {
      reads += 1;
      if (mode === 0) return this.throwSomething();
      if (mode === 2 && reads === 1) return this.string();
      return mode === 3 && reads % 2 ? this.number() : this.value(depth + 1);
    });
  }

  // `keys` on `target`, some missing, some getters, some not enumerable;
  // `make` gives the plain values.
  define(target, keys, depth, make = () => this.value(depth + 1)) {
    for (const key of keys) {
      if (this.r.chance(0.1) || Object.getOwnPropertyDescriptor(target, key)?.configurable === false) continue;
      const enumerable = this.r.chance(0.9);
      Object.defineProperty(target, key, this.r.chance(0.15)
        ? { get: this.getter(depth), enumerable, configurable: true }
        : { value: make(key), enumerable, writable: true, configurable: true });
    }
    return target;
  }

  throwingProxy(target) {
    const handler = {};
    for (const name of TRAPS) if (this.r.chance(0.7)) handler[name] = () => this.side(() => this.throwSomething());
    return new Proxy(target, handler);
  }

  func(depth) {
    const fuzz = this;
    const fn = this.r.pick([
      function thrower() { return fuzz.side(() => fuzz.throwSomething()); },
      function answerer() { return fuzz.side(() => fuzz.value(depth + 1)); },
      function reentrant() { fuzz.side(() => fuzz.nestedCall()); },
      (...args) => args.length,
      // Settles with nothing: a random thenable could reject a derived promise later, unhandled.
      function later() { return Promise.resolve().then(() => { fuzz.side(() => fuzz.value(depth + 1)); }); },
    ]);
    if (this.r.chance(0.3)) this.define(fn, ['serverAddr', 'port', 'fillkeyItem', 'length', 'name', 'toString'], depth + 1);
    return this.r.chance(0.1) ? this.throwingProxy(fn) : fn;
  }

  // Mostly well-formed fillKey parameters: plausible values, holes, getters, odd bases.
  params(depth) {
    const r = this.r;
    const plausible = (key) => (r.chance(0.2) ? this.value(depth + 1)
      : ['port', 'serverType', 'overWriteFlag', 'keyLen'].includes(key) ? this.number() : this.string());
    const item = this.define({}, ITEM, depth, plausible);
    const base = r.chance(0.15) ? function carrier() {} : r.chance(0.1) ? Object.create({ inherited: true }) : {};
    this.define(base, [...FILL, 'fillkeyItem'], depth, (key) => (key !== 'fillkeyItem' ? plausible(key)
      : r.chance(0.85) ? item : this.value(depth + 1)));
    return r.chance(0.05) ? this.throwingProxy(base) : base;
  }

  object(depth) {
    const r = this.r;
    const { proxy, revoke } = Proxy.revocable({}, {});
    revoke();
    return r.pick([
      () => ({}), () => Object.create(null), () => this.func(depth), () => this.params(depth), () => this.params(depth),
      () => Object.assign(new Array(r.pick([0, 3, 100000])), [this.value(depth + 1)]), // sparse
      () => this.throwingProxy(r.chance(0.5) ? {} : []),
      () => new Proxy({}, { get: () => this.side(() => this.value(depth + 1)), has: () => this.side(() => this.r.chance(0.5)) }),
      () => this.define({}, [...FILL, 'fillkeyItem', ...ITEM], depth),
      // Coercion that throws or answers anything.
      () => ({ [r.pick(['toString', 'valueOf', Symbol.toPrimitive])]: () => this.side(() => (this.r.chance(0.3) ? this.throwSomething() : this.value(depth + 1))) }),
      () => r.pick([new Date(NaN), new Map([[1, 2]]), Buffer.from('abc'), new Float64Array([NaN]), new ArrayBuffer(8), new Error('as a value')]),
      () => r.pick([Promise.resolve(1), new Number(-0), new String('boxed'), proxy, globalThis]),
      () => r.pick([...this.instances, this.VarnKtPlugin, this.VarnKtPlugin.prototype]),
      () => Object.freeze(this.define({}, ['code', 'message'], depth)),
    ])();
  }

  value(depth = 0) {
    return depth > 2 || this.r.chance(0.55) ? this.primitive() : this.object(depth);
  }

  plausible(kind) {
    if (kind === 's') return this.string();
    if (kind === 'n') return this.number();
    if (kind === 'f') return this.func(1);
    if (kind === 'e') return this.r.chance(0.8) ? this.r.pick(['onCaptureError', 'onCaptureMessage']) : this.string();
    return this.params(1);
  }

  // One call of a random method with random arguments, receiver and form.
  randomCall() {
    const r = this.r;
    const method = r.pick(Object.keys(METHODS));
    const [shape, returns] = METHODS[method];
    const count = r.chance(0.3) ? r.int(shape.length + 3) : shape.length;
    const args = Array.from({ length: count }, (_, i) => (i < shape.length && r.chance(0.5) ? this.plausible(shape[i]) : this.value()));
    const wrong = r.chance(0.1);
    let receiver = wrong ? r.pick([undefined, null, {}, Object.create(this.VarnKtPlugin.prototype), this.VarnKtPlugin, () => {}, 42,
      Symbol('receiver'), new Proxy({}, {}), this.throwingProxy({})]) : r.pick(this.instances);
    if (method === 'setEventCallback' && receiver === this.instances[2]) receiver = this.instances[0];
    const construct = r.chance(0.01);
    const index = (this.counts.calls += 1);
    const label = `call #${index} ${method}${wrong ? ' (wrong receiver)' : ''}${construct ? ' (as a constructor)' : ''}`;
    const fn = this.VarnKtPlugin.prototype[method];
    let result;
    try {
      result = construct ? Reflect.construct(fn, args) : Reflect.apply(fn, receiver, args);
    } catch (thrown) {
      this.counts.threw += 1;
      if (thrown instanceof Error ? typeof thrown.message !== 'string' : !(thrown instanceof FuzzThrow || this.thrown.has(thrown))) {
        this.fail(`${label}: threw ${describe(thrown)}, neither an Error nor a value the arguments threw`);
      }
      return;
    }
    this.counts.returned += 1;
    if (construct) return;
    if (wrong && method !== 'setLogCallback') return this.fail(`${label}: returned for a wrong receiver: ${describe(result)}`);
    if (returns) return this.check(label, 'returned', returns, result);
    if (!(result instanceof Promise)) return this.fail(`${label}: returned ${describe(result)} instead of a promise`);
    this.pending.set(index, label);
    result.then((value) => { this.counts.resolved += 1; this.check(label, 'resolved with', isResult, value); },
      (reason) => { this.counts.rejected += 1; this.check(label, 'rejected with', isPlainRejection, reason); })
      .finally(() => this.pending.delete(index));
  }

  // A check that throws means the value was not ours (a user's Proxy, say).
  check(label, kind, test, value) {
    try {
      if (!test(value)) this.fail(`${label}: ${kind} ${describe(value)}`);
    } catch (thrown) {
      this.fail(`${label}: looking at what it ${kind} threw ${describe(thrown)}`);
    }
  }

  // A call from inside a callback. Such calls log again, so they draw on a
  // budget only the main sequence refills, or they would multiply without end.
  nestedCall() {
    if (this.nesting > 0 || this.budget < 1) return;
    this.budget -= 1;
    this.counts.nested += 1;
    try { this.nesting += 1; this.randomCall(); } finally { this.nesting -= 1; }
  }

  // Now and then: SDK lines during a call or from SDK threads, a replaced
  // instance, or a session opened in order, so that key calls get past the
  // simulator's stage checks.
  async stir() {
    const r = this.r;
    const choice = r.int(8);
    if (choice === 0) {
      const emit = [{ kind: r.pick(['log', 'exception']), value: r.int(100), message: this.string(), ownThread: r.chance(0.3) }];
      this.sdk.script(r.pick(['QCF_Init', 'QCF_Auth', 'QCF_FillKey_WithPubkey', 'QCF_Finish', 'QCF_Custom']), { times: 1 + r.int(3), emit });
    } else if (choice === 1) {
      this.sdk.emitAsync({ kind: r.pick(['log', 'exception']), message: this.string().slice(0, 200), threads: 1 + r.int(3), count: 1 + r.int(20) });
    } else if (choice === 2) {
      this.instances[2] = new this.VarnKtPlugin();
      this.gc();
    } else if (choice === 3) {
      const plugin = this.instances[0];
      plugin.preActivate('keys.store');
      await plugin.init(1, 'user', 'device');
      await plugin.auth();
    }
  }

  async run(calls, { deadlineMs = 60000, onProgress } = {}) {
    for (let i = 0; i < calls; i += 1) {
      if (i % 16 === 0) await this.stir();
      this.budget = Math.min(this.budget + 0.25, 8);
      if (i % 256 === 255) this.sdk.reset(); // the record of calls would grow with every 1 MiB text
      this.randomCall();
      if (this.pending.size >= this.inFlight || i % 64 === 63) await new Promise(setImmediate);
      if (onProgress && i % 1000 === 999) onProgress(`${i + 1} calls, ${this.pending.size} promises pending`);
    }
    const deadline = Date.now() + deadlineMs;
    while (this.pending.size > 0 && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 10));
    for (const label of this.pending.values()) this.fail(`${label}: its promise never settled`);
    this.sdk.joinThreads();
    await new Promise((resolve) => setTimeout(resolve, 50)); // deliveries still queued from the stand-in's threads
    return { counts: this.counts, failures: this.failures };
  }
}

// A gc function even without --expose-gc.
function exposeGc() {
  if (typeof globalThis.gc === 'function') return globalThis.gc;
  require('node:v8').setFlagsFromString('--expose-gc');
  return require('node:vm').runInNewContext('gc');
}

async function fuzz({ calls, seed, inFlight, log = () => {}, deadlineMs } = {}) {
  const sdk = require('../helpers/sdk');
  sdk.tempCwd();
  sdk.reset();
  const { VarnKtPlugin } = require(sdk.ROOT);
  const uncaught = [];
  const onUncaught = (err) => uncaught.push(describe(err && err.stack ? err.stack : err));
  for (const event of ['uncaughtException', 'unhandledRejection']) process.on(event, onUncaught);
  try {
    const result = await new Fuzzer({ VarnKtPlugin, sdk, seed: seed >>> 0, inFlight, gc: exposeGc() }).run(calls, { deadlineMs, onProgress: log });
    for (const text of uncaught) result.failures.push(`uncaught: ${text}`);
    return result;
  } finally {
    for (const event of ['uncaughtException', 'unhandledRejection']) process.off(event, onUncaught);
    sdk.reset();
  }
}

module.exports = { fuzz, Fuzzer, rng };

if (require.main === module) {
  const options = { calls: 20000, seed: (Date.now() ^ process.pid) >>> 0, inFlight: 500 };
  const names = { '--calls': 'calls', '--seed': 'seed', '--in-flight': 'inFlight' };
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i += 2) {
    if (!names[argv[i]]) throw new Error(`unknown argument ${argv[i]} (--calls N --seed S --in-flight M)`);
    options[names[argv[i]]] = Number(argv[i + 1]) >>> 0;
  }
  // Standard output belongs to the add-on's console lines.
  const say = (line) => process.stderr.write(`fuzz: ${line}\n`);
  say(`seed ${options.seed}, ${options.calls} calls, up to ${options.inFlight} promises in flight`);
  const started = Date.now();
  fuzz({ ...options, log: say }).then(({ counts, failures }) => {
    say(`${JSON.stringify(counts)} in ${((Date.now() - started) / 1000).toFixed(1)} s`);
    say(failures.length ? `FAILED with seed ${options.seed}:\n  ${failures.join('\n  ')}` : `passed (seed ${options.seed})`);
    process.exit(failures.length ? 1 : 0);
  }, (err) => { say(`crashed with seed ${options.seed}: ${err && err.stack}`); process.exit(1); });
}
