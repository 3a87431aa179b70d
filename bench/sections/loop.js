'use strict';
// The add-on as a citizen of the event loop, each measurement in a process
// of its own (loop_probe.js): how late a timer runs while slow SDK calls are
// in flight, with the SDK thread and without; the SDK thread's time per call
// against an AsyncWorker; how late a timer runs while SDK threads flood
// listening instances with log lines; and what log lines cost in resident
// memory when many instances do not listen.
const path = require('node:path');
const { figure, run, forkProbe } = require('../lib/child');

const PROBE = path.join(__dirname, 'loop_probe.js');
const MB = 1024 * 1024;
const TIMER = '10 ms timer';

const probe = (...args) => forkProbe(PROBE, args);

// A timer's lateness: its longest gap or delay in ms against its period.
const timerFigure = (fields, value) => ({
  unit: 'ms',
  baselineName: TIMER,
  baseline: 10,
  ratio: value / 10,
  ...fields,
  addon: value,
});

run(async () => {
  const lagThread = await probe('lag', 'sdkThread');
  const lagDefault = await probe('lag', 'default');
  const calls = await probe('calls');
  const storm = await probe('storm');
  const quiet = await probe('quiet', '1000');
  const alone = await probe('quiet', '0');

  const lagLabel = (mode) => `Timer's longest gap, 100 reFillKey of a 50 ms SDK in flight, ${mode}`;
  return [
    timerFigure(
      { id: 'loop.lag.sdkThread', label: lagLabel('SDK thread'), target: { under: 25 }, run: lagThread },
      lagThread.gap,
    ),
    timerFigure({ id: 'loop.lag.default', label: lagLabel('default'), target: null, run: lagDefault }, lagDefault.gap),
    figure(
      {
        id: 'loop.sdkThread.inFlight1000',
        label: 'reFillKey on the SDK thread: time per call, 1,000 in flight',
        unit: 'ns',
        baselineName: 'AsyncWorker',
        target: { max: 1.0 },
      },
      calls.addon,
      calls.worker,
    ),
    timerFigure(
      {
        id: 'loop.storm.timer',
        label: "Timer's longest delay, 2 × 50,000 SDK lines to 20 listening instances",
        target: { under: 50 },
        run: storm,
      },
      storm.longest,
    ),
    {
      id: 'loop.quiet.rssGrowth',
      label: 'RSS growth, 20,000 SDK lines with 1,000 instances not listening',
      unit: 'MB',
      baselineName: 'no instances not listening',
      addon: quiet.growth / MB,
      baseline: alone.growth / MB,
      ratio: null,
      target: { under: 20 },
      runs: { addon: quiet, baseline: alone },
    },
  ];
});
