'use strict';
// Memory of the asynchronous calls, each measurement in a fresh process:
// growth of resident memory and of the JavaScript heap per 100,000 calls
// after garbage collection, and the rise of resident memory with 10,000 calls
// in flight, for the add-on's reFillKey and for the floor baseline.
const path = require('node:path');
const { figure, run, forkProbe } = require('../lib/child');

const PEAK_REPS = 3;
const MB = 1024 * 1024;

const probe = (kind, variant) => forkProbe(path.join(__dirname, 'memory_probe.js'), [kind, variant]);

run(async () => {
  const growth = { addon: await probe('growth', 'addon'), floor: await probe('growth', 'floor') };
  const peaks = { addon: [], floor: [] };
  for (let rep = 0; rep < PEAK_REPS; rep += 1) {
    peaks.addon.push((await probe('peak', 'addon')).rise / MB);
    peaks.floor.push((await probe('peak', 'floor')).rise / MB);
  }
  // Noise: how far the floor's settled level wanders over its rounds, and
  // never less than 1 MB of resident memory (a leak of 10 bytes per call)
  // or 0.1 MB of heap.
  const wander = (values) => (Math.max(...values) - Math.min(...values)) / MB;
  const growthFigure = (id, label, key, slopeKey, least) => ({
    id,
    label,
    unit: 'MB',
    baselineName: 'floor: thread + TSFN',
    addon: growth.addon[slopeKey] / MB,
    baseline: growth.floor[slopeKey] / MB,
    ratio: null,
    noise: Math.max(least, wander(growth.floor[key])),
    target: { noGrowth: true },
    rounds: { addon: growth.addon[key], baseline: growth.floor[key] },
  });
  return [
    growthFigure('memory.rssGrowthPer100k', 'RSS growth per 100,000 reFillKey calls', 'rss', 'rssSlope', 1),
    growthFigure('memory.heapGrowthPer100k', 'JS heap growth per 100,000 reFillKey calls', 'heap', 'heapSlope', 0.1),
    figure(
      {
        id: 'memory.peak10000',
        label: 'RSS rise with 10,000 reFillKey calls in flight',
        unit: 'MB',
        baselineName: 'floor: thread + TSFN',
        target: null,
      },
      peaks.addon,
      peaks.floor,
    ),
  ];
});
