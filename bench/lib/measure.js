'use strict';
// Timing helpers shared by the sections. Every figure is taken several
// times, the add-on and its baselines alternating within each repetition,
// and reported as the median.

function now() {
  return process.hrtime.bigint();
}

function elapsedNs(start) {
  return Number(process.hrtime.bigint() - start);
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// Nanoseconds per call of a synchronous function over `count` calls.
function perCallSync(fn, count) {
  const start = now();
  for (let i = 0; i < count; i += 1) fn();
  return elapsedNs(start) / count;
}

// Nanoseconds per call with `inFlight` calls of `call` outstanding at any
// time, `count` calls in all.
async function perCallAsync(call, count, inFlight) {
  let started = 0;
  async function lane() {
    while (started < count) {
      started += 1;
      await call();
    }
  }
  const start = now();
  await Promise.all(Array.from({ length: Math.min(inFlight, count) }, lane));
  return elapsedNs(start) / count;
}

// Single awaited calls of each of `calls` ({name: call}), which take turns
// call by call: per name, the median nanoseconds of a call, and the mean of
// the fastest 99% (the time per call with one in flight, whose inverse is
// the throughput; the slowest calls are stalls of the machine, milliseconds
// long, that would otherwise decide it).
async function roundTrips(calls, count) {
  const names = Object.keys(calls);
  const times = Object.fromEntries(names.map((name) => [name, new Array(count)]));
  for (let i = 0; i < count; i += 1) {
    for (const name of names) {
      const start = now();
      await calls[name]();
      times[name][i] = elapsedNs(start);
    }
  }
  const trimmedMean = (values) => {
    const kept = [...values].sort((a, b) => a - b).slice(0, Math.ceil(values.length * 0.99));
    return kept.reduce((a, b) => a + b, 0) / kept.length;
  };
  const summary = (values) => ({ median: median(values), mean: trimmedMean(values) });
  return Object.fromEntries(names.map((name) => [name, summary(times[name])]));
}

// Runs `variants` ({name: async () => number}) `reps` times, in a rotating
// order so that no variant always runs first; returns {name: [values]}.
async function alternate(variants, reps) {
  const names = Object.keys(variants);
  const samples = Object.fromEntries(names.map((name) => [name, []]));
  for (let rep = 0; rep < reps; rep += 1) {
    for (let i = 0; i < names.length; i += 1) {
      const name = names[(i + rep) % names.length];
      samples[name].push(await variants[name]());
    }
  }
  return samples;
}

// Lets thread-safe functions finish closing and collects, three times,
// then trims the C heap; returns resident memory and the JavaScript heap in
// use. Needs --expose-gc.
async function settled(baselines) {
  for (let i = 0; i < 3; i += 1) {
    await new Promise((resolve) => setImmediate(resolve));
    global.gc();
  }
  baselines.trimHeap();
  const { rss, heapUsed } = process.memoryUsage();
  return { rss, heapUsed };
}

module.exports = { now, elapsedNs, median, perCallSync, perCallAsync, roundTrips, alternate, settled };
