'use strict';
// One measurement of the event-loop section, in a process of its own: the
// SDK thread is a process-wide choice made before the first SDK call.
// argv: lag sdkThread|default | calls | storm | quiet INSTANCES
//
// lag: the longest gap between ticks of a 10 ms interval timer while
//   LAG_CALLS reFillKey calls are in flight against an SDK that takes
//   LAG_DELAY_MS per call, from their start until the last one settles.
// calls: time per call with 1,000 in flight, reFillKey on the SDK thread
//   against the AsyncWorker baseline, taking turns.
// storm: the longest actual delay of a 10 ms timer, armed again each time
//   it fires, while SDK threads log STORM_THREADS x STORM_LINES lines to
//   STORM_LISTENERS instances with an "onCaptureMessage" handler, until
//   every handler has had every line.
// quiet: resident memory after garbage collection before and after SDK
//   threads log QUIET_LINES lines with INSTANCES instances that have no
//   handler, plus one that counts the lines so that the process knows when
//   all are handled.
const { now, elapsedNs, perCallAsync, alternate, settled } = require('../lib/measure');
const { loadAddons, answer } = require('../lib/child');

const [kind, option] = process.argv.slice(2);

const TIMER_MS = 10;
const LAG_CALLS = 100;
const LAG_DELAY_MS = 50;
const CALLS = 10000;
const IN_FLIGHT = 1000;
const REPS = 11;
const STORM_THREADS = 2;
const STORM_LINES = 50000; // per thread
const STORM_LISTENERS = 20;
const QUIET_THREADS = 2;
const QUIET_LINES = 20000; // in all
const WARM_LINES = 2000;
const LOG_KIND = 0;
const MESSAGE = 'bench line: key store refreshed';

const ms = (ns) => ns / 1e6;

// The longest gap in milliseconds between ticks of a TIMER_MS interval
// timer while `work()` runs, counted from its start to its end.
async function longestGap(work) {
  let last = now();
  let longest = 0;
  const tick = () => {
    longest = Math.max(longest, ms(elapsedNs(last)));
    last = now();
  };
  const timer = setInterval(tick, TIMER_MS);
  await work();
  tick();
  clearInterval(timer);
  return longest;
}

// Lines from SDK threads reach `count` handler calls; resolves then.
function awaitCalls(count) {
  let seen = 0;
  let done;
  const arrived = new Promise((resolve) => {
    done = resolve;
  });
  const handler = () => {
    seen += 1;
    if (seen === count) done();
  };
  return { handler, arrived };
}

const probes = {
  async lag(mode) {
    const { VarnKtPlugin, baselines } = loadAddons();
    VarnKtPlugin.configure({ sdkThread: mode === 'sdkThread' });
    const plugin = new VarnKtPlugin();
    await plugin.auth();
    await plugin.reFillKey('bench', 1, 2);
    baselines.setDelay(LAG_DELAY_MS);
    const started = now();
    const gap = await longestGap(() =>
      Promise.all(Array.from({ length: LAG_CALLS }, () => plugin.reFillKey('bench', 1, 2))),
    );
    return { gap, seconds: elapsedNs(started) / 1e9 };
  },

  async calls() {
    const { VarnKtPlugin, baselines } = loadAddons();
    VarnKtPlugin.configure({ sdkThread: true });
    const plugin = new VarnKtPlugin();
    await plugin.auth();
    const calls = {
      addon: () => plugin.reFillKey('bench', 1, 2),
      worker: () => baselines.workerCall(),
    };
    for (const call of Object.values(calls)) await perCallAsync(call, CALLS, IN_FLIGHT);
    const variants = Object.fromEntries(
      Object.entries(calls).map(([name, call]) => [name, () => perCallAsync(call, CALLS, IN_FLIGHT)]),
    );
    return alternate(variants, REPS);
  },

  async storm() {
    const { VarnKtPlugin, baselines } = loadAddons();
    const lines = STORM_THREADS * STORM_LINES;
    const { handler, arrived } = awaitCalls(lines * STORM_LISTENERS);
    const listeners = Array.from({ length: STORM_LISTENERS }, () => new VarnKtPlugin());
    for (const listener of listeners) listener.setEventCallback('onCaptureMessage', handler);
    // Installs the add-on's SDK handlers.
    listeners[0].preActivate('keys');

    const delays = [];
    let stormOver = false;
    const arm = () => {
      const set = now();
      setTimeout(() => {
        delays.push(ms(elapsedNs(set)));
        if (!stormOver) arm();
      }, TIMER_MS);
    };
    const started = now();
    baselines.emitAsync(LOG_KIND, 0, MESSAGE, STORM_THREADS, STORM_LINES, false);
    arm();
    await arrived;
    stormOver = true;
    const seconds = elapsedNs(started) / 1e9;
    baselines.joinThreads();
    return { longest: Math.max(...delays), first: delays[0], timers: delays.length, seconds };
  },

  async quiet(instances) {
    const { VarnKtPlugin, baselines } = loadAddons();
    const quietOnes = Array.from({ length: Number(instances) }, () => new VarnKtPlugin());
    const counter = new VarnKtPlugin();
    let seen = 0;
    let expected = 0;
    let done = () => {};
    counter.setEventCallback('onCaptureMessage', () => {
      seen += 1;
      if (seen === expected) done();
    });
    counter.preActivate('keys');
    const lines = async (count) => {
      seen = 0;
      expected = count;
      const arrived = new Promise((resolve) => {
        done = resolve;
      });
      baselines.emitAsync(LOG_KIND, 0, MESSAGE, QUIET_THREADS, count / QUIET_THREADS, true);
      await arrived;
      baselines.joinThreads();
    };
    // The first lines open log.txt and size the queues.
    await lines(WARM_LINES);
    const before = await settled(baselines);
    await lines(QUIET_LINES);
    const after = await settled(baselines);
    return { instances: quietOnes.length, before: before.rss, after: after.rss, growth: after.rss - before.rss };
  },
};

answer(() => probes[kind](option));
