'use strict';
// Argument fuzzing of every VarnKtPlugin method against the stand-in SDK.
//
// Each call gets arguments drawn from a seeded generator: every JavaScript
// type, functions carrying properties, arrays, Proxies whose traps throw,
// objects whose getters throw or answer differently on every read, 1 MiB
// strings, NULs, lone surrogates, astral characters, -0, NaN, ±Infinity,
// 2^32+1, 1e300, and wrong receivers. Half of the positions get a value of
// the expected kind, so that calls also get past the argument checks.
//
// Every call must end in one of three ways: a return of the method's kind, a
// throw (an Error, or a value the generated code threw itself), or a promise
// that settles: resolved with a result object, or rejected with exactly the
// plain object {code: -1, message}. Every promise must settle before the
// deadline. Log callbacks and event handlers are generated functions too;
// some of them call methods themselves, and the stand-in is scripted to log
// during calls and from threads of its own.
//
// Generated strings never hold a path separator, so whatever the stand-in
// does with a path stays inside the current (temporary) directory.
//
// Run directly: node test/fuzz/fuzz.js --calls N --seed S [--in-flight M]
function rng(seed) {
  let state = seed >>> 0;
  const next = () => {
    // mulberry32
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const int = (n) => Math.floor(next() * n);
  return {
    next,
    int,
    chance: (p) => next() < p,
    pick: (list) => list[int(list.length)],
  };
}

const ASYNC_METHODS = new Set([
  'init', 'auth', 'auth_pubkey', 'fillKey', 'reFillKey', 'getSPMKeyInfo',
  'createGroup', 'applyKeyWithGroupID', 'reportSPMWithSignPubkey',
]);

// Expected kinds per position: s string, n number, p path, f function,
// e event name, k fillKey parameters.
const SHAPES = {
  preActivate: 'pps',
  reportSPMWithSignPubkey: 'ssn',
  setKeyFilePath: 'p',
  setCustomConfig: 'ss',
  init: 'nsssn',
  finish: '',
  auth_pubkey: 'nsssn',
  auth: '',
  fillKey: 'k',
  fillKeySync: 'k',
  getSPMKeyInfo: 'ss',
  reFillKey: 'snn',
  reFillKeySync: 'snn',
  createGroup: 'sns',
  applyKeyWithGroupID: 'ss',
  hello: 's',
  setLogCallback: 'f',
  setEventCallback: 'ef',
};

// What a synchronous method returns.
const RETURNS = {
  preActivate: 'int',
  setKeyFilePath: 'int',
  setCustomConfig: 'int',
  finish: 'int',
  fillKeySync: 'int',
  reFillKeySync: 'result',
  hello: 'string',
  setLogCallback: 'zero',
  setEventCallback: 'twelve',
};

const NUMBERS = [
  0, -0, 1, -1, 0.5, -0.5, NaN, Infinity, -Infinity, 2 ** 32 + 1, 2 ** 32, 2 ** 32 - 1,
  2 ** 31, -(2 ** 31), -(2 ** 31) - 1, 2 ** 53, 2 ** 53 + 2, 1e300, -1e300, 5e-324,
  Number.MAX_VALUE, 65535, 65536, 18000, 256, 257, 300, 4294967296.5,
];

// Characters of generated strings: no '/' or '\' (see above).
const PIECES = [
  'a', 'Z', '0', '9', ' ', '-', '.', ':', '_', '%', '\0', 'é', 'ß', '中', '文', '€',
  '\uD800', '\uDBFF', '\uDC00', '\uDFFF', '😀', '𝒳', '\u{10FFFF}', '\uFFFF', '\uFEFF',
  '\u0085', '\r', '\n', '\t', '"', "'", '\u202E', '%s', '%n', '..',
];

class FuzzThrow {
  constructor(id) {
    this.id = id;
  }
}

function isPlainRejection(value) {
  return value !== null && typeof value === 'object' &&
    Object.getPrototypeOf(value) === Object.prototype &&
    Object.keys(value).join() === 'code,message' &&
    value.code === -1 && typeof value.message === 'string' && value.message.length > 0;
}

function isResult(value) {
  return value !== null && typeof value === 'object' &&
    Number.isInteger(value.code) && value.code >= -(2 ** 31) && value.code < 2 ** 31 &&
    typeof value.message === 'string';
}

function returnsKind(kind, value) {
  switch (kind) {
    case 'int': return Number.isInteger(value) && value >= -(2 ** 31) && value < 2 ** 31;
    case 'result': return isResult(value);
    case 'string': return typeof value === 'string';
    case 'zero': return value === 0;
    case 'twelve': return value === 12;
    default: return false;
  }
}

class Fuzzer {
  constructor({ VarnKtPlugin, sdk, seed, inFlight = 500, gc = null }) {
    this.VarnKtPlugin = VarnKtPlugin;
    this.sdk = sdk;
    this.seed = seed >>> 0;
    this.r = rng(this.seed);
    this.sideR = rng(this.seed ^ 0x5bd1e995);
    this.inFlightLimit = inFlight;
    this.gc = gc;
    this.thrownPrimitives = new Set();
    this.pending = new Map(); // call index -> description
    this.settling = new Set();
    this.failures = [];
    this.counts = { calls: 0, returned: 0, threw: 0, resolved: 0, rejected: 0, nested: 0 };
    this.nesting = 0;
    this.nestedBudget = 0;
    this.callIndex = 0;
    // Two instances for the whole run, and one replaced (and collected) now
    // and then. The replaced one never gets event handlers: an instance with
    // handlers is kept alive by them, as designed, and every one kept would
    // receive every later SDK message.
    this.instances = [new VarnKtPlugin(), new VarnKtPlugin(), new VarnKtPlugin()];
    this.big = [
      'x'.repeat(1 << 20),
      '中'.repeat((1 << 20) / 3 | 0),
      `${'😀'.repeat(1 << 18)}\uD800`,
      `${'a'.repeat((1 << 20) - 1)}\0`,
    ];
  }

  fail(message) {
    if (this.failures.length < 50) this.failures.push(message);
  }

  // ------------------------------------------------------------ values

  throwSomething() {
    const r = this.r;
    const kind = r.int(4);
    if (kind === 0) throw new FuzzThrow(this.callIndex);
    if (kind === 1) throw new Error('fuzz');
    const primitive = r.pick([undefined, null, 0, 'fuzz-thrown', Symbol('fuzz-thrown'), 7n]);
    this.thrownPrimitives.add(primitive);
    throw primitive;
  }

  string() {
    const r = this.r;
    const choice = r.int(20);
    if (choice === 0) return r.pick(this.big);
    if (choice === 1) return '';
    if (choice === 2) return r.pick(['18000', '-1', '0x10', ' 12 ', '1e3', 'NaN', 'onCaptureError', 'onCaptureMessage', 'logLevel', 'keyTemporaryCapacity']);
    let text = '';
    const length = r.chance(0.1) ? r.int(400) : r.int(24);
    for (let i = 0; i < length; i += 1) {
      text += r.chance(0.2) ? String.fromCharCode(r.int(0x10000)).replace(/[\\/]/g, '_') : r.pick(PIECES);
    }
    return text;
  }

  number() {
    const r = this.r;
    if (r.chance(0.6)) return r.pick(NUMBERS);
    if (r.chance(0.5)) return r.int(2 ** 32) - 2 ** 31;
    return (r.next() - 0.5) * 10 ** r.int(40);
  }

  primitive() {
    const r = this.r;
    switch (r.int(9)) {
      case 0: return undefined;
      case 1: return null;
      case 2: return r.chance(0.5);
      case 3: return r.pick([0n, -1n, 2n ** 64n + 1n, -(2n ** 70n), BigInt(r.int(1000))]);
      case 4: return r.pick([Symbol('fuzz'), Symbol.iterator, Symbol.for('fuzz'), Symbol()]);
      case 5:
      case 6: return this.string();
      default: return this.number();
    }
  }

  // A value that answers each read differently, or throws.
  getter(depth) {
    const mode = this.r.int(4);
    let reads = 0;
    return () => this.side(() => {
      reads += 1;
      if (mode === 0) return this.throwSomething();
      if (mode === 1) return this.value(depth + 1);
      // A plausible value first, then something else (a check and a later
      // read must not disagree into a fault).
      if (mode === 2) return reads === 1 ? this.string() : this.value(depth + 1);
      return reads % 2 ? this.number() : this.value(depth + 1);
    });
  }

  objectWith(keys, depth, target = {}) {
    const r = this.r;
    for (const key of keys) {
      if (r.chance(0.15)) continue;
      const enumerable = r.chance(0.8);
      if (r.chance(0.25)) {
        Object.defineProperty(target, key, { get: this.getter(depth), enumerable, configurable: true });
      } else {
        Object.defineProperty(target, key, { value: this.value(depth + 1), enumerable, writable: true, configurable: true });
      }
    }
    return target;
  }

  // Runs `body` with the side generator: callbacks run when the add-on or
  // the stand-in's threads decide, and must not shift the main sequence, so
  // that a seed replays the same calls.
  side(body) {
    const main = this.r;
    this.r = this.sideR;
    try {
      return body();
    } finally {
      this.r = main;
    }
  }

  throwingProxy(target) {
    const trap = () => this.side(() => this.throwSomething());
    const handler = {};
    for (const name of ['get', 'has', 'ownKeys', 'getOwnPropertyDescriptor', 'getPrototypeOf',
      'set', 'defineProperty', 'deleteProperty', 'apply', 'construct', 'isExtensible']) {
      if (this.r.chance(0.7)) handler[name] = trap;
    }
    return new Proxy(target, handler);
  }

  randomProxy(target, depth) {
    return new Proxy(target, {
      get: () => this.side(() => this.value(depth + 1)),
      has: () => this.side(() => this.r.chance(0.5)),
    });
  }

  func(depth) {
    const r = this.r;
    const fuzz = this;
    let fn;
    switch (r.int(5)) {
      case 0: fn = function thrower() { return fuzz.side(() => fuzz.throwSomething()); }; break;
      case 1: fn = function answerer() { return fuzz.side(() => fuzz.value(depth + 1)); }; break;
      case 2: fn = function reentrant() { fuzz.side(() => fuzz.nestedCall()); }; break;
      case 3: fn = (...args) => args.length; break;
      default: fn = function later() {
        // A promise as the answer. It settles with nothing: a random value
        // may be a thenable whose `then` changes between lookups, which
        // would reject a promise derived from it later, unhandled.
        return Promise.resolve().then(() => { fuzz.side(() => fuzz.value(depth + 1)); });
      };
    }
    if (r.chance(0.3)) {
      this.objectWith(['serverAddr', 'port', 'fillkeyItem', 'length', 'name', 'toString'].filter(
        (key) => Object.getOwnPropertyDescriptor(fn, key)?.configurable !== false), depth + 1, fn);
    }
    if (r.chance(0.1)) return this.throwingProxy(fn);
    return fn;
  }

  coercible(depth) {
    const r = this.r;
    const o = {};
    const answer = () => this.side(() => (this.r.chance(0.3) ? this.throwSomething() : this.value(depth + 1)));
    const which = r.int(3);
    if (which === 0) o.toString = answer;
    else if (which === 1) o.valueOf = answer;
    else o[Symbol.toPrimitive] = answer;
    return o;
  }

  object(depth) {
    const r = this.r;
    switch (r.int(16)) {
      case 0: return {};
      case 1: return Object.create(null);
      case 2: {
        const length = r.pick([0, 1, 3, 100, 100000]);
        const array = new Array(length);
        for (let i = 0; i < Math.min(length, 4); i += 1) array[i] = this.value(depth + 1);
        return array;
      }
      case 3: return this.func(depth);
      case 4: return this.throwingProxy(r.chance(0.5) ? {} : []);
      case 5: return this.randomProxy({}, depth);
      case 6: return this.objectWith(['serverAddr', 'port', 'serverType', 'userTokenHandle', 'overWriteFlag', 'fillkeyItem', 'appName', 'keyLen', 'softkeyPath'], depth);
      case 7: return this.coercible(depth);
      case 8: return r.pick([new Date(NaN), new Date(0), new Map([[1, 2]]), new Set([1]), new WeakMap()]);
      case 9: return r.pick([Buffer.from('abc'), new Uint8Array(3), new Float64Array([NaN]), new ArrayBuffer(8), new DataView(new ArrayBuffer(4))]);
      case 10: return r.pick([Promise.resolve(1), new Error('as a value'), new Boolean(false), new Number(-0), new String('boxed')]);
      case 11: {
        const { proxy, revoke } = Proxy.revocable({}, {});
        revoke();
        return proxy;
      }
      case 12: return r.pick(this.instances);
      case 13: return r.pick([this.VarnKtPlugin, this.VarnKtPlugin.prototype, globalThis]);
      case 14: return this.params(depth);
      default: return Object.freeze(this.objectWith(['code', 'message'], depth));
    }
  }

  value(depth = 0) {
    if (depth > 2 || this.r.chance(0.55)) return this.primitive();
    return this.object(depth);
  }

  // ------------------------------------------------- plausible arguments

  params(depth) {
    const r = this.r;
    const item = this.objectWith([], depth);
    const maybe = (make) => (r.chance(0.8) ? make() : this.value(depth + 1));
    const fields = {
      appName: () => maybe(() => this.string()),
      keyLen: () => maybe(() => this.number()),
      softkeyPath: () => maybe(() => this.string()),
    };
    for (const [key, make] of Object.entries(fields)) {
      if (r.chance(0.1)) continue;
      if (r.chance(0.1)) Object.defineProperty(item, key, { get: this.getter(depth), enumerable: true });
      else item[key] = make();
    }
    const base = r.chance(0.15) ? function carrier() {} : r.chance(0.1) ? Object.create({ inherited: true }) : {};
    const top = {
      serverAddr: () => maybe(() => this.string()),
      port: () => maybe(() => this.number()),
      serverType: () => maybe(() => this.number()),
      userTokenHandle: () => maybe(() => this.string()),
      overWriteFlag: () => maybe(() => this.number()),
      fillkeyItem: () => (r.chance(0.85) ? item : this.value(depth + 1)),
    };
    for (const [key, make] of Object.entries(top)) {
      if (r.chance(0.08)) continue;
      if (r.chance(0.1)) Object.defineProperty(base, key, { get: this.getter(depth), enumerable: true, configurable: true });
      else Object.defineProperty(base, key, { value: make(), enumerable: true, writable: true, configurable: true });
    }
    return r.chance(0.05) ? this.throwingProxy(base) : base;
  }

  plausible(kind) {
    const r = this.r;
    switch (kind) {
      case 's':
      case 'p': return this.string();
      case 'n': return this.number();
      case 'f': return this.func(1);
      case 'e': return r.chance(0.8) ? r.pick(['onCaptureError', 'onCaptureMessage']) : this.string();
      case 'k': return this.params(1);
      default: return this.value();
    }
  }

  args(method) {
    const r = this.r;
    const shape = SHAPES[method];
    let count = shape.length;
    if (r.chance(0.3)) count = r.int(shape.length + 3);
    const args = [];
    for (let i = 0; i < count; i += 1) {
      args.push(i < shape.length && r.chance(0.5) ? this.plausible(shape[i]) : this.value());
    }
    return args;
  }

  // ------------------------------------------------------------- calls

  receiver() {
    const r = this.r;
    if (r.chance(0.9)) return { plugin: r.pick(this.instances), wrong: false };
    const wrong = r.pick([
      undefined, null, {}, Object.create(this.VarnKtPlugin.prototype), this.VarnKtPlugin,
      this.VarnKtPlugin.prototype, () => {}, 42, 'text', Symbol('receiver'), new Proxy({}, {}),
      this.throwingProxy({}),
    ]);
    return { plugin: wrong, wrong: true };
  }

  checkThrown(label, thrown) {
    if (thrown instanceof Error) {
      if (typeof thrown.message !== 'string') this.fail(`${label}: an Error without a message`);
      return;
    }
    if (thrown instanceof FuzzThrow || this.thrownPrimitives.has(thrown)) return;
    this.fail(`${label}: threw a value that is neither an Error nor one the arguments threw: ${describe(thrown)}`);
  }

  // One method call; `index` labels it in failures.
  call(method, receiver, args, construct, index) {
    const label = `call #${index} ${method}${receiver.wrong ? ' (wrong receiver)' : ''}${construct ? ' (as a constructor)' : ''}`;
    const fn = this.VarnKtPlugin.prototype[method];
    this.counts.calls += 1;
    let result;
    try {
      result = construct ? Reflect.construct(fn, args) : Reflect.apply(fn, receiver.plugin, args);
    } catch (thrown) {
      this.counts.threw += 1;
      this.checkThrown(label, thrown);
      return;
    }
    this.counts.returned += 1;
    if (construct) return;
    if (receiver.wrong && method !== 'setLogCallback') {
      this.fail(`${label}: returned for a wrong receiver: ${describe(result)}`);
      return;
    }
    if (!ASYNC_METHODS.has(method)) {
      if (!returnsKind(RETURNS[method], result)) this.fail(`${label}: returned ${describe(result)}`);
      return;
    }
    if (!(result instanceof Promise)) {
      this.fail(`${label}: returned ${describe(result)} instead of a promise`);
      return;
    }
    this.pending.set(index, label);
    // A check that throws means the value was not ours (a user's Proxy, say).
    const check = (kind, test, value) => {
      let ok = false;
      try {
        ok = test(value);
      } catch (thrown) {
        this.fail(`${label}: looking at what it ${kind} with threw ${describe(thrown)}`);
        return;
      }
      if (!ok) this.fail(`${label}: ${kind} with ${describe(value)}`);
    };
    const settled = result.then((value) => {
      this.counts.resolved += 1;
      check('resolved', isResult, value);
    }, (reason) => {
      this.counts.rejected += 1;
      check('rejected', isPlainRejection, reason);
    }).finally(() => {
      this.pending.delete(index);
      this.settling.delete(settled);
    });
    this.settling.add(settled);
  }

  randomCall() {
    const r = this.r;
    const methods = Object.keys(SHAPES);
    const method = r.pick(methods);
    const receiver = this.receiver();
    if (method === 'setEventCallback' && receiver.plugin === this.instances[2]) receiver.plugin = this.instances[0];
    const construct = r.chance(0.01);
    const args = this.args(method);
    this.callIndex += 1;
    this.call(method, receiver, args, construct, this.callIndex);
  }

  // A call made from inside a callback (log line, event, getter). Each such
  // call makes SDK calls that log again, so they draw on a budget that only
  // the main sequence refills; otherwise they would multiply without end.
  nestedCall() {
    if (this.nesting > 0 || this.nestedBudget < 1) return;
    this.nestedBudget -= 1;
    this.nesting += 1;
    this.counts.nested += 1;
    try {
      this.randomCall();
    } finally {
      this.nesting -= 1;
    }
  }

  // The stand-in logs during some calls and from threads of its own.
  stir() {
    const r = this.r;
    const sdk = this.sdk;
    switch (r.int(8)) {
      case 0: {
        const name = r.pick(['QCF_Init', 'QCF_Auth', 'QCF_FillKey_WithPubkey', 'QCF_Finish', 'QCF_Custom', 'QCF_GetSPMKeyInfo']);
        sdk.script(name, {
          times: 1 + r.int(3),
          emit: [{ kind: r.pick(['log', 'exception']), value: r.int(100), message: this.string(), ownThread: r.chance(0.3) }],
        });
        break;
      }
      case 1:
        sdk.emitAsync({ kind: r.pick(['log', 'exception']), message: this.string().slice(0, 200), threads: 1 + r.int(3), count: 1 + r.int(20) });
        break;
      case 2:
        if (this.gc) {
          this.instances[2] = new this.VarnKtPlugin();
          this.gc();
        }
        break;
      default:
        break;
    }
  }

  async run(calls, { deadlineMs = 60000, onProgress } = {}) {
    for (let i = 0; i < calls; i += 1) {
      if (i % 16 === 0) this.stir();
      this.nestedBudget = Math.min(this.nestedBudget + 0.25, 8);
      // The record of calls would otherwise grow with every 1 MiB text.
      if (i % 256 === 255) this.sdk.reset();
      this.randomCall();
      if (this.pending.size >= this.inFlightLimit || i % 64 === 63) {
        await new Promise((resolve) => setImmediate(resolve));
      }
      if (onProgress && i % 1000 === 999) onProgress(i + 1, this);
    }
    const deadline = Date.now() + deadlineMs;
    while (this.pending.size > 0 && Date.now() < deadline) {
      await new Promise((resolve) => setTimeout(resolve, 10));
    }
    for (const label of this.pending.values()) this.fail(`${label}: its promise never settled`);
    this.sdk.joinThreads();
    // Deliveries from the stand-in's threads that are still queued.
    await new Promise((resolve) => setTimeout(resolve, 50));
    return { counts: this.counts, failures: this.failures };
  }
}

function describe(value) {
  try {
    if (typeof value === 'symbol' || typeof value === 'bigint') return String(value);
    if (typeof value === 'string') return JSON.stringify(value.length > 80 ? `${value.slice(0, 80)}…` : value);
    if (value === null || typeof value !== 'object') return String(value);
    const proto = Object.getPrototypeOf(value);
    return `${proto && proto.constructor ? proto.constructor.name : 'null-prototype'} ${JSON.stringify(value)?.slice(0, 200)}`;
  } catch {
    return '(undescribable)';
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
  process.on('uncaughtException', onUncaught);
  process.on('unhandledRejection', onUncaught);
  const fuzzer = new Fuzzer({ VarnKtPlugin, sdk, seed, inFlight, gc: exposeGc() });
  try {
    const result = await fuzzer.run(calls, {
      deadlineMs,
      onProgress: (done, f) => log(`${done} calls, ${f.pending.size} promises pending`),
    });
    for (const text of uncaught) result.failures.push(`uncaught: ${text}`);
    return result;
  } finally {
    process.off('uncaughtException', onUncaught);
    process.off('unhandledRejection', onUncaught);
    sdk.reset();
  }
}

function parseArgs(argv) {
  const options = { calls: 20000, seed: (Date.now() ^ process.pid) >>> 0, inFlight: 500 };
  for (let i = 0; i < argv.length; i += 1) {
    const next = () => Number(argv[++i]);
    if (argv[i] === '--calls') options.calls = next();
    else if (argv[i] === '--seed') options.seed = next() >>> 0;
    else if (argv[i] === '--in-flight') options.inFlight = next();
    else throw new Error(`unknown argument ${argv[i]} (--calls N --seed S --in-flight M)`);
  }
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
    if (failures.length) {
      say(`FAILED with seed ${options.seed}:\n  ${failures.join('\n  ')}`);
      process.exit(1);
    }
    say(`passed (seed ${options.seed})`);
    process.exit(0);
  }, (err) => {
    say(`crashed with seed ${options.seed}: ${err && err.stack}`);
    process.exit(1);
  });
}

