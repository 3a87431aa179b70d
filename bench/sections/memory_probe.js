'use strict';
// One memory measurement in a process of its own, for the add-on's
// reFillKey or for the floor baseline (argv: growth|peak addon|floor).
//
// growth: resident memory after garbage collection following each of
// several rounds of 100,000 calls, after two rounds that warm up the heap
// and the allocator; the least-squares slope per round.
// peak: how far resident memory rises above its settled level while 10,000
// calls are in flight.
const fs = require('node:fs');
const { perCallAsync, settled } = require('../lib/measure');
const { loadAddons, answer } = require('../lib/child');

const [kind, variant] = process.argv.slice(2);
const WARM_ROUNDS = 2; // the heap and the C library's arenas find their size
const ROUNDS = 4;
const ROUND_CALLS = 100000;
const IN_FLIGHT = 1000;
const PEAK_CALLS = 10000;

// Least-squares slope of `values` over their index.
function slope(values) {
  const n = values.length;
  const meanX = (n - 1) / 2;
  const meanY = values.reduce((a, b) => a + b, 0) / n;
  let num = 0;
  let den = 0;
  values.forEach((y, x) => {
    num += (x - meanX) * (y - meanY);
    den += (x - meanX) ** 2;
  });
  return num / den;
}

// VmHWM can be reset on Linux only; elsewhere the peak is sampled.
function resetPeak() {
  try {
    fs.writeFileSync('/proc/self/clear_refs', '5');
    return true;
  } catch {
    return false;
  }
}

function readPeak() {
  const status = fs.readFileSync('/proc/self/status', 'utf8');
  return Number(/VmHWM:\s+(\d+) kB/.exec(status)[1]) * 1024;
}

async function main() {
  const { VarnKtPlugin, baselines } = loadAddons();
  const plugin = new VarnKtPlugin();
  await plugin.auth();
  const call = variant === 'floor' ? () => baselines.floorCall() : () => plugin.reFillKey('bench', 1, 2);

  if (kind === 'growth') {
    for (let round = 0; round < WARM_ROUNDS; round += 1) await perCallAsync(call, ROUND_CALLS, IN_FLIGHT);
    await settled(baselines);
    const rounds = [];
    for (let round = 0; round < ROUNDS; round += 1) {
      await perCallAsync(call, ROUND_CALLS, IN_FLIGHT);
      rounds.push(await settled(baselines));
    }
    const rss = rounds.map((r) => r.rss);
    const heap = rounds.map((r) => r.heapUsed);
    return { rss, heap, rssSlope: slope(rss), heapSlope: slope(heap) };
  }

  await perCallAsync(call, PEAK_CALLS, IN_FLIGHT);
  const { rss: before } = await settled(baselines);
  const exact = resetPeak();
  let sampled = before;
  const pending = [];
  for (let i = 0; i < PEAK_CALLS; i += 1) pending.push(call());
  sampled = Math.max(sampled, process.memoryUsage().rss);
  await Promise.all(pending);
  const peak = exact ? readPeak() : sampled;
  return { before, peak, rise: peak - before, exact };
}

answer(main);
