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

// Median nanoseconds of single awaited calls.
async function roundTrip(call, count) {
  const times = new Array(count);
  for (let i = 0; i < count; i += 1) {
    const start = now();
    await call();
    times[i] = elapsedNs(start);
  }
  return median(times);
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

module.exports = { now, elapsedNs, median, perCallSync, perCallAsync, roundTrip, alternate };
