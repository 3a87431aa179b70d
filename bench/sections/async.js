'use strict';
// Asynchronous methods against the frame's own mechanism (a detached thread
// per call handing the resolution over through a thread-safe function) and,
// for information, a node-addon-api AsyncWorker.
const { perCallAsync, roundTrip, alternate } = require('../lib/measure');
const { loadAddons, figure, run } = require('../lib/child');

const REPS = 7;
const ROUND_TRIPS = 1000;
const CALLS_ONE = 1000;
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

  const measures = [
    { key: 'roundTrip', label: 'round trip', take: (call) => roundTrip(call, ROUND_TRIPS) },
    { key: 'inFlight1', label: 'time per call, 1 in flight', take: (call) => perCallAsync(call, CALLS_ONE, 1) },
    { key: 'inFlight1000', label: 'time per call, 1,000 in flight', take: (call) => perCallAsync(call, CALLS_MANY, MANY) },
  ];
  const figures = [];
  for (const measure of measures) {
    for (const call of [...Object.values(methods), floor, worker]) await measure.take(call);
    const samples = await alternate(
      {
        ...Object.fromEntries(Object.entries(methods).map(([name, call]) => [name, () => measure.take(call)])),
        floor: () => measure.take(floor),
        worker: () => measure.take(worker),
      },
      REPS,
    );
    for (const method of Object.keys(methods)) {
      // Throughput with one call in flight is for information; the targets
      // name the round trip and 1,000 in flight.
      const target = measure.key === 'inFlight1' ? null : { max: 1.3 };
      const fields = { id: `async.${method}.${measure.key}`, label: `${method}: ${measure.label}`, unit: 'ns' };
      const vsFloor = figure({ ...fields, baselineName: FLOOR, target }, samples[method], samples.floor);
      const { baseline, ratio } = figure({}, samples[method], samples.worker);
      const info = { baselineName: 'AsyncWorker', baseline, ratio, samples: samples.worker };
      figures.push({ ...vsFloor, info });
    }
  }
  return figures;
});
