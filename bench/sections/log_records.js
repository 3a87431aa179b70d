'use strict';
// writeLog's records per second against fs.appendFileSync of the same
// records: local time stamp, " - ", message, line end, one file open each.
const fs = require('node:fs');
const { now, elapsedNs, alternate } = require('../lib/measure');
const { loadAddons, figure, run } = require('../lib/child');

const REPS = 5;
const RECORDS = 10000;
const MESSAGE = 'softkeys/bench.key';

const two = (n) => String(n).padStart(2, '0');
function stamp() {
  const d = new Date();
  const date = `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())}`;
  return `${date} ${two(d.getHours())}:${two(d.getMinutes())}:${two(d.getSeconds())}`;
}

run(async () => {
  const { baselines } = loadAddons();
  const perSecond = (write) => {
    const begin = now();
    write();
    return RECORDS / (elapsedNs(begin) / 1e9);
  };
  const viaWriteLog = () => perSecond(() => baselines.writeLogRecords(MESSAGE, RECORDS));
  const viaAppend = () =>
    perSecond(() => {
      for (let i = 0; i < RECORDS; i += 1) fs.appendFileSync('append.txt', `${stamp()} - ${MESSAGE}\n`);
    });
  viaWriteLog();
  viaAppend();
  const samples = await alternate({ addon: async () => viaWriteLog(), baseline: async () => viaAppend() }, REPS);
  return [
    figure(
      {
        id: 'logRecords.writeLog',
        label: 'writeLog records',
        unit: '/s',
        higherIsBetter: true,
        baselineName: 'fs.appendFileSync',
        target: null,
      },
      samples.addon,
      samples.baseline,
    ),
  ];
});
