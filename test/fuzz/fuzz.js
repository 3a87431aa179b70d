'use strict';
// Argument fuzzing of every VarnKtPlugin method against the stand-in SDK.
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

const NUMBERS = [
  0, -0, 1, -1, 0.5, -0.5, NaN, Infinity, -Infinity, 2 ** 32 + 1, 2 ** 32, 2 ** 32 - 1, 2 ** 31,
  -(2 ** 31), -(2 ** 31) - 1, 2 ** 53, 2 ** 53 + 2, 1e300, -1e300, 5e-324, Number.MAX_VALUE,
  65535, 65536, 18000, 256, 257, 300, 4294967296.5,
];
const PIECES = [
  'a', 'Z', '0', '9', ' ', '-', '.', ':', '_', '%', '\0', 'é', 'ß', '中', '文', '€', '\uD800',
  '\uDBFF', '\uDC00', '\uDFFF', '😀', '𝒳', '\u{10FFFF}', '\uFFFF', '\uFEFF', '\u0085', '\r',
  '\n', '\t', '"', "'", '\u202E', '%s', '%n', '..',
];
const KEYS = ['serverAddr', 'port', 'serverType', 'userTokenHandle', 'overWriteFlag', 'fillkeyItem', 'appName', 'keyLen', 'softkeyPath'];

class FuzzThrow { constructor(id) { this.id = id; } }

const isInt32 = (v) => Number.isInteger(v) && v >= -(2 ** 31) && v < 2 ** 31;
const isResult = (v) => v !== null && typeof v === 'object' && isInt32(v.code) && typeof v.message === 'string';
const isPlainRejection = (v) => v !== null && typeof v === 'object' &&
  Object.getPrototypeOf(v) === Object.prototype && Object.keys(v).join() === 'code,message' &&
  v.code === -1 && typeof v.message === 'string' && v.message.length > 0;

// Per method: expected kinds per position (s string, n number, f function,
// e event name, k fillKey parameters) and what it returns (null: a promise).
const isString = (v) => typeof v === 'string';
const METHODS = {
  preActivate: ['sss', isInt32], reportSPMWithSignPubkey: ['ssn', null], setKeyFilePath: ['s', isInt32],
  setCustomConfig: ['ss', isInt32], init: ['nsssn', null], finish: ['', isInt32], auth_pubkey: ['nsssn', null],
  auth: ['', null], fillKey: ['k', null], fillKeySync: ['k', isInt32], getSPMKeyInfo: ['ss', null],
  reFillKey: ['snn', null], reFillKeySync: ['snn', isResult], createGroup: ['sns', null], applyKeyWithGroupID: ['ss', null],
  hello: ['s', isString], setLogCallback: ['f', (v) => v === 0], setEventCallback: ['ef', (v) => v === 12],
};

class Fuzzer {
  constructor({ VarnKtPlugin, sdk, seed, inFlight = 500, gc = null }) {
    Object.assign(this, { VarnKtPlugin, sdk, gc, seed: seed >>> 0, inFlightLimit: inFlight });
    this.r = rng(this.seed);
    this.sideR = rng(this.seed ^ 0x5bd1e995); // for callbacks, run whenever: a seed replays the same calls
    Object.assign(this, { thrownPrimitives: new Set(), pending: new Map(), failures: [] });
    this.counts = { calls: 0, returned: 0, threw: 0, resolved: 0, rejected: 0, nested: 0 };
    this.nesting = this.nestedBudget = this.callIndex = 0;
    // Two instances for the whole run and one replaced (and collected) now and
    // then. The replaced one never gets event handlers: handlers keep an
    // instance alive, and each kept one would receive every later SDK message.
    this.instances = [new VarnKtPlugin(), new VarnKtPlugin(), new VarnKtPlugin()];
    this.big = ['x'.repeat(1 << 20), '中'.repeat((1 << 20) / 3 | 0), `${'😀'.repeat(1 << 18)}\uD800`, `${'a'.repeat((1 << 20) - 1)}\0`];
  }

  fail(message) { if (this.failures.length < 50) this.failures.push(message); }

  side(body) {
    const main = this.r;
    try { this.r = this.sideR; return body(); } finally { this.r = main; }
  }

  throwSomething() {
    const kind = this.r.int(4);
    if (kind === 0) throw new FuzzThrow(this.callIndex);
    if (kind === 1) throw new Error('fuzz');
    const primitive = this.r.pick([undefined, null, 0, 'fuzz-thrown', Symbol('fuzz-thrown'), 7n]);
    this.thrownPrimitives.add(primitive);
    throw primitive;
  }

  string() {
    const r = this.r;
    const choice = r.int(20);
    if (choice < 2) return choice ? '' : r.pick(this.big);
    if (choice === 2) return r.pick(['18000', '-1', '0x10', ' 12 ', '1e3', 'NaN', 'onCaptureError', 'onCaptureMessage', 'logLevel', 'keyTemporaryCapacity']);
    let text = '';
    const length = r.chance(0.1) ? r.int(400) : r.int(24);
    for (let i = 0; i < length; i += 1) text += r.chance(0.2) ? String.fromCharCode(r.int(0x10000)).replace(/[\\/]/g, '_') : r.pick(PIECES);
    return text;
  }

  number() {
    const r = this.r;
    return r.chance(0.6) ? r.pick(NUMBERS) : r.chance(0.5) ? r.int(2 ** 32) - 2 ** 31 : (r.next() - 0.5) * 10 ** r.int(40);
  }

  primitive() {
    const r = this.r;
    return [
      () => undefined, () => null, () => r.chance(0.5),
      () => r.pick([0n, -1n, 2n ** 64n + 1n, -(2n ** 70n), BigInt(r.int(1000))]),
      () => r.pick([Symbol('fuzz'), Symbol.iterator, Symbol.for('fuzz'), Symbol()]),
      () => this.string(), () => this.string(), () => this.number(), () => this.number(),
    ][r.int(9)]();
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
      if (mode === 3 && reads % 2) return this.number();
      return this.value(depth + 1);
    });
  }

  objectWith(keys, depth, target = {}) {
    for (const key of keys) {
      if (this.r.chance(0.15)) continue;
      const enumerable = this.r.chance(0.8);
      Object.defineProperty(target, key, this.r.chance(0.25)
        ? { get: this.getter(depth), enumerable, configurable: true }
        : { value: this.value(depth + 1), enumerable, writable: true, configurable: true });
    }
    return target;
  }

  throwingProxy(target) {
    const handler = {};
    for (const name of ['get', 'has', 'ownKeys', 'getOwnPropertyDescriptor', 'getPrototypeOf',
      'set', 'defineProperty', 'deleteProperty', 'apply', 'construct', 'isExtensible']) {
      if (this.r.chance(0.7)) handler[name] = () => this.side(() => this.throwSomething());
    }
    return new Proxy(target, handler);
  }

  func(depth) {
    const fuzz = this;
    const fn = [
      function thrower() { return fuzz.side(() => fuzz.throwSomething()); },
      function answerer() { return fuzz.side(() => fuzz.value(depth + 1)); },
      function reentrant() { fuzz.side(() => fuzz.nestedCall()); },
      (...args) => args.length,
      // Settles with nothing: a random thenable could reject a derived promise later, unhandled.
      function later() { return Promise.resolve().then(() => { fuzz.side(() => fuzz.value(depth + 1)); }); },
    ][this.r.int(5)];
    if (this.r.chance(0.3)) {
      this.objectWith(['serverAddr', 'port', 'fillkeyItem', 'length', 'name', 'toString'].filter(
        (key) => Object.getOwnPropertyDescriptor(fn, key)?.configurable !== false), depth + 1, fn);
    }
    return this.r.chance(0.1) ? this.throwingProxy(fn) : fn;
  }

  object(depth) {
    const r = this.r;
    switch (r.int(16)) {
      case 0: return {};
      case 1: return Object.create(null);
      case 2: { // sparse beyond the first few
        const n = r.pick([0, 1, 3, 100, 100000]);
        return Object.assign(new Array(n), Array.from({ length: Math.min(n, 4) }, () => this.value(depth + 1)));
      }
      case 3: return this.func(depth);
      case 4: return this.throwingProxy(r.chance(0.5) ? {} : []);
      case 5: return new Proxy({}, { get: () => this.side(() => this.value(depth + 1)), has: () => this.side(() => this.r.chance(0.5)) });
      case 6: return this.objectWith(KEYS, depth);
      case 7: { // coercion that throws or answers anything
        const answer = () => this.side(() => (this.r.chance(0.3) ? this.throwSomething() : this.value(depth + 1)));
        return { [r.pick(['toString', 'valueOf', Symbol.toPrimitive])]: answer };
      }
      case 8: return r.pick([new Date(NaN), new Date(0), new Map([[1, 2]]), new Set([1]), new WeakMap()]);
      case 9: return r.pick([Buffer.from('abc'), new Uint8Array(3), new Float64Array([NaN]), new ArrayBuffer(8), new DataView(new ArrayBuffer(4))]);
      case 10: return r.pick([Promise.resolve(1), new Error('as a value'), new Boolean(false), new Number(-0), new String('boxed')]);
      case 11: { const { proxy, revoke } = Proxy.revocable({}, {}); revoke(); return proxy; }
      case 12: return r.pick(this.instances);
      case 13: return r.pick([this.VarnKtPlugin, this.VarnKtPlugin.prototype, globalThis]);
      case 14: return this.params(depth);
      default: return Object.freeze(this.objectWith(['code', 'message'], depth));
    }
  }

  value(depth = 0) {
    return depth > 2 || this.r.chance(0.55) ? this.primitive() : this.object(depth);
  }

  // Mostly well-formed fillKey parameters, with holes, getters, odd bases.
  params(depth) {
    const r = this.r;
    const maybe = (make) => (r.chance(0.8) ? make() : this.value(depth + 1));
    const fill = (target, fields, skip) => {
      for (const [key, make] of Object.entries(fields)) {
        if (r.chance(skip)) continue;
        Object.defineProperty(target, key, r.chance(0.1)
          ? { get: this.getter(depth), enumerable: true, configurable: true }
          : { value: make(), enumerable: true, writable: true, configurable: true });
      }
      return target;
    };
    const str = () => maybe(() => this.string());
    const num = () => maybe(() => this.number());
    const item = fill({}, { appName: str, keyLen: num, softkeyPath: str }, 0.1);
    const base = r.chance(0.15) ? function carrier() {} : r.chance(0.1) ? Object.create({ inherited: true }) : {};
    fill(base, {
      serverAddr: str, port: num, serverType: num, userTokenHandle: str, overWriteFlag: num,
      fillkeyItem: () => (r.chance(0.85) ? item : this.value(depth + 1)),
    }, 0.08);
    return r.chance(0.05) ? this.throwingProxy(base) : base;
  }

  plausible(kind) {
    if (kind === 's') return this.string();
    if (kind === 'n') return this.number();
    if (kind === 'f') return this.func(1);
    if (kind === 'e') return this.r.chance(0.8) ? this.r.pick(['onCaptureError', 'onCaptureMessage']) : this.string();
    return this.params(1);
  }

  args(shape) {
    const count = this.r.chance(0.3) ? this.r.int(shape.length + 3) : shape.length;
    return Array.from({ length: count }, (_, i) => (i < shape.length && this.r.chance(0.5) ? this.plausible(shape[i]) : this.value()));
  }

  receiver() {
    const r = this.r;
    if (r.chance(0.9)) return { plugin: r.pick(this.instances), wrong: false };
    return { wrong: true, plugin: r.pick([undefined, null, {}, Object.create(this.VarnKtPlugin.prototype), this.VarnKtPlugin,
      this.VarnKtPlugin.prototype, () => {}, 42, 'text', Symbol('receiver'), new Proxy({}, {}), this.throwingProxy({})]) };
  }

  // A check that throws means the value was not ours (a user's Proxy, say).
  check(label, kind, test, value) {
    try {
      if (!test(value)) this.fail(`${label}: ${kind} ${describe(value)}`);
    } catch (thrown) {
      this.fail(`${label}: looking at what it ${kind} threw ${describe(thrown)}`);
    }
  }

  call(method, receiver, args, construct, index) {
    const label = `call #${index} ${method}${receiver.wrong ? ' (wrong receiver)' : ''}${construct ? ' (as a constructor)' : ''}`;
    const fn = this.VarnKtPlugin.prototype[method];
    const returns = METHODS[method][1];
    this.counts.calls += 1;
    let result;
    try {
      result = construct ? Reflect.construct(fn, args) : Reflect.apply(fn, receiver.plugin, args);
    } catch (thrown) {
      this.counts.threw += 1;
      if (thrown instanceof Error) {
        if (typeof thrown.message !== 'string') this.fail(`${label}: an Error without a message`);
      } else if (!(thrown instanceof FuzzThrow || this.thrownPrimitives.has(thrown))) {
        this.fail(`${label}: threw a value that is neither an Error nor one the arguments threw: ${describe(thrown)}`);
      }
      return;
    }
    this.counts.returned += 1;
    if (construct) return;
    if (receiver.wrong && method !== 'setLogCallback') return this.fail(`${label}: returned for a wrong receiver: ${describe(result)}`);
    if (returns) return this.check(label, 'returned', returns, result);
    if (!(result instanceof Promise)) return this.fail(`${label}: returned ${describe(result)} instead of a promise`);
    this.pending.set(index, label);
    result.then((value) => { this.counts.resolved += 1; this.check(label, 'resolved with', isResult, value); },
      (reason) => { this.counts.rejected += 1; this.check(label, 'rejected with', isPlainRejection, reason); })
      .finally(() => this.pending.delete(index));
  }

  randomCall() {
    const method = this.r.pick(Object.keys(METHODS));
    const receiver = this.receiver();
    if (method === 'setEventCallback' && receiver.plugin === this.instances[2]) receiver.plugin = this.instances[0];
    const construct = this.r.chance(0.01);
    this.call(method, receiver, this.args(METHODS[method][0]), construct, this.callIndex += 1);
  }

  // A call from inside a callback. Such calls log again, so they draw on a
  // budget only the main sequence refills, or they would multiply without end.
  nestedCall() {
    if (this.nesting > 0 || this.nestedBudget < 1) return;
    this.nestedBudget -= 1;
    this.counts.nested += 1;
    try { this.nesting += 1; this.randomCall(); } finally { this.nesting -= 1; }
  }

  stir() {
    const r = this.r;
    const choice = r.int(8); // 3 in 8: script a log line, log from SDK threads, replace an instance
    if (choice === 0) {
      const name = r.pick(['QCF_Init', 'QCF_Auth', 'QCF_FillKey_WithPubkey', 'QCF_Finish', 'QCF_Custom', 'QCF_GetSPMKeyInfo']);
      const emit = [{ kind: r.pick(['log', 'exception']), value: r.int(100), message: this.string(), ownThread: r.chance(0.3) }];
      this.sdk.script(name, { times: 1 + r.int(3), emit });
    } else if (choice === 1) {
      this.sdk.emitAsync({ kind: r.pick(['log', 'exception']), message: this.string().slice(0, 200), threads: 1 + r.int(3), count: 1 + r.int(20) });
    } else if (choice === 2 && this.gc) {
      this.instances[2] = new this.VarnKtPlugin();
      this.gc();
    }
  }

  async run(calls, { deadlineMs = 60000, onProgress } = {}) {
    for (let i = 0; i < calls; i += 1) {
      if (i % 16 === 0) this.stir();
      this.nestedBudget = Math.min(this.nestedBudget + 0.25, 8);
      if (i % 256 === 255) this.sdk.reset(); // the record of calls would grow with every 1 MiB text
      this.randomCall();
      if (this.pending.size >= this.inFlightLimit || i % 64 === 63) await new Promise((resolve) => setImmediate(resolve));
      if (onProgress && i % 1000 === 999) onProgress(i + 1, this);
    }
    const deadline = Date.now() + deadlineMs;
    while (this.pending.size > 0 && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 10));
    for (const label of this.pending.values()) this.fail(`${label}: its promise never settled`);
    this.sdk.joinThreads();
    await new Promise((resolve) => setTimeout(resolve, 50)); // deliveries still queued from the stand-in's threads
    return { counts: this.counts, failures: this.failures };
  }
}

function describe(value) {
  try {
    if (typeof value === 'string') return JSON.stringify(value.length > 80 ? `${value.slice(0, 80)}…` : value);
    if (value === null || typeof value !== 'object') return String(value);
    return `${Object.getPrototypeOf(value)?.constructor?.name ?? 'null-prototype'} ${JSON.stringify(value)?.slice(0, 200)}`;
  } catch { return '(undescribable)'; }
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
  const fuzzer = new Fuzzer({ VarnKtPlugin, sdk, seed, inFlight, gc: exposeGc() });
  try {
    const result = await fuzzer.run(calls, { deadlineMs, onProgress: (done, f) => log(`${done} calls, ${f.pending.size} promises pending`) });
    for (const text of uncaught) result.failures.push(`uncaught: ${text}`);
    return result;
  } finally {
    for (const event of ['uncaughtException', 'unhandledRejection']) process.off(event, onUncaught);
    sdk.reset();
  }
}

function parseArgs(argv) {
  const options = { calls: 20000, seed: (Date.now() ^ process.pid) >>> 0, inFlight: 500 };
  const names = { '--calls': 'calls', '--seed': 'seed', '--in-flight': 'inFlight' };
  for (let i = 0; i < argv.length; i += 2) {
    if (!names[argv[i]]) throw new Error(`unknown argument ${argv[i]} (--calls N --seed S --in-flight M)`);
    options[names[argv[i]]] = Number(argv[i + 1]);
  }
  options.seed >>>= 0;
  return options;
}

module.exports = { fuzz, Fuzzer, rng };

if (require.main === module) {
  // Standard output belongs to the add-on's console lines.
  const say = (line) => process.stderr.write(`fuzz: ${line}\n`);
  const options = parseArgs(process.argv.slice(2));
  say(`seed ${options.seed}, ${options.calls} calls, up to ${options.inFlight} promises in flight`);
  const started = Date.now();
  fuzz({ ...options, log: say }).then(({ counts, failures }) => {
    say(`${JSON.stringify(counts)} in ${((Date.now() - started) / 1000).toFixed(1)} s`);
    say(failures.length ? `FAILED with seed ${options.seed}:\n  ${failures.join('\n  ')}` : `passed (seed ${options.seed})`);
    process.exit(failures.length ? 1 : 0);
  }, (err) => { say(`crashed with seed ${options.seed}: ${err && err.stack}`); process.exit(1); });
}
