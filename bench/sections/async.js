'use strict';
// Asynchronous methods against the frame's own mechanism (a detached thread
// per call handing the resolution over through a thread-safe function) and,
// for information, a node-addon-api AsyncWorker.
const { perCallAsync, roundTrips, alternate } = require('../lib/measure');
const { loadAddons, figure, run } = require('../lib/child');

const REPS = 7;
const SINGLE_CALLS = 600; // of each variant per repetition
const CALLS_MANY = 10000;
const MANY = 1000;
const FLOOR = 'floor: thread + TSFN';

run(async () => {
  const { VarnKtPlugin, baselines } = loadAddons();
  const plugin = new VarnKtPlugin();
  await plugin.auth();

  const methods = {
    reFillKey: () => plugin.reFillKey('bench', 1, 2),
    getSPMKeyInfo: () => plugin.getSPMKeyInfo('bench', 'bench-spm'),
  };
  const floor = () => baselines.floorCall();
  const worker = () => baselines.workerCall();

  const calls = { ...methods, floor, worker };

  // Single calls take turns call by call, so that a passing load on the
  // machine falls on every variant alike: the median is the round trip, the
  // mean the time per call with one in flight. 1,000 in flight runs each
  // variant in turn, `REPS` times.
  const perName = () => Object.fromEntries(Object.keys(calls).map((name) => [name, []]));
  const samples = { roundTrip: perName(), inFlight1: perName() };
  await roundTrips(calls, SINGLE_CALLS / 10);
  for (let rep = 0; rep < REPS; rep += 1) {
    const taken = await roundTrips(calls, SINGLE_CALLS);
    for (const [name, { median, mean }] of Object.entries(taken)) {
      samples.roundTrip[name].push(median);
      samples.inFlight1[name].push(mean);
    }
  }
  const manyInFlight = (call) => perCallAsync(call, CALLS_MANY, MANY);
  for (const call of Object.values(calls)) await manyInFlight(call);
  const variants = Object.fromEntries(Object.entries(calls).map(([name, call]) => [name, () => manyInFlight(call)]));
  samples.inFlight1000 = await alternate(variants, REPS);

  const labels = {
    roundTrip: 'round trip',
    inFlight1: 'time per call, 1 in flight',
    inFlight1000: 'time per call, 1,000 in flight',
  };
  const figures = [];
  for (const [key, label] of Object.entries(labels)) {
    for (const method of Object.keys(methods)) {
      // Throughput with one call in flight is for information; the targets
      // name the round trip and 1,000 in flight.
      const target = key === 'inFlight1' ? null : { max: 1.3 };
      const fields = { id: `async.${method}.${key}`, label: `${method}: ${label}`, unit: 'ns' };
      const byKey = samples[key];
      const vsFloor = figure({ ...fields, baselineName: FLOOR, target }, byKey[method], byKey.floor);
      const { baseline, ratio } = figure({}, byKey[method], byKey.worker);
      const info = { baselineName: 'AsyncWorker', baseline, ratio, samples: byKey.worker };
      figures.push({ ...vsFloor, info });
    }
  }
  return figures;
});
