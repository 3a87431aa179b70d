'use strict';
// Deliveries to JavaScript handlers from threads other than the JavaScript
// thread, against a thread-safe function fed from as many threads of our own
// and calling the same handler.
//
// Three views of the same road:
// - through the SDK handler: the stand-in calls the add-on's installed SDK
//   handler from its own threads. An exception reaches "onCaptureError"
//   through the event registry and the dispatcher; a log line reaches the
//   log callback (and "onCaptureMessage", which has no handler here). The
//   SDK handler first appends the message to log.txt on the calling thread.
// - queue filled first: the same, but the JavaScript thread waits until
//   every message has been queued, so only its own work is timed.
// - dispatcher alone: the add-on's dispatcher and registry, compiled into
//   the bench module, fed by threads that raise events as the SDK handler
//   does, without the log record.
const { now, elapsedNs, alternate } = require('../lib/measure');
const { loadAddons, figure, run } = require('../lib/child');

const REPS = 5;
const EVENTS = 20000;
const LOG_KIND = 0;
const EXCEPTION_KIND = 1;
const CODE = 7;
const MESSAGE = 'bench event: key store refreshed';
const TSFN = 'TSFN to the same handler';

// A handler that counts its calls and settles when `expected` have come.
function counter() {
  let seen = 0;
  let expected = 0;
  let done = () => {};
  const handler = () => {
    seen += 1;
    if (seen === expected) done();
  };
  const arm = (count) =>
    new Promise((resolve) => {
      seen = 0;
      expected = count;
      done = resolve;
    });
  return { handler, arm };
}

// Deliveries per second into `probe` of `feed(threads, perThread, wait)`.
// With `filled`, timing starts once feed has returned with all queued.
async function perSecond(probe, feed, threads, { filled = false, after } = {}) {
  const perThread = Math.floor(EVENTS / threads);
  const arrived = probe.arm(perThread * threads);
  let begin = now();
  feed(threads, perThread, filled);
  if (filled) begin = now();
  await arrived;
  const rate = (perThread * threads) / (elapsedNs(begin) / 1e9);
  if (after) after();
  return rate;
}

async function compare(fields, addon, baseline) {
  const samples = await alternate({ addon, baseline }, REPS);
  const common = { unit: '/s', higherIsBetter: true, baselineName: TSFN, target: { min: 0.5 } };
  return figure({ ...common, ...fields }, samples.addon, samples.baseline);
}

const plural = (threads) => `${threads} thread${threads > 1 ? 's' : ''}`;

run(async () => {
  const { VarnKtPlugin, baselines } = loadAddons();
  const plugin = new VarnKtPlugin();
  // Installs the add-on's SDK handlers.
  plugin.preActivate('keys');

  const onError = counter();
  const onLog = counter();
  plugin.setEventCallback('onCaptureError', onError.handler);
  plugin.setLogCallback(onLog.handler);
  const direct = counter();
  baselines.registerErrorHandler(direct.handler);
  const join = () => baselines.joinThreads();

  const sdkErrors = (t, n, wait) => baselines.emitAsync(EXCEPTION_KIND, CODE, MESSAGE, t, n, wait);
  const sdkLogLines = (t, n, wait) => baselines.emitAsync(LOG_KIND, 0, MESSAGE, t, n, wait);
  const tsfnErrors = (handler) => (t, n, wait) => baselines.tsfnDeliver(handler, t, n, MESSAGE, CODE, wait);
  const tsfnLogLines = (t, n, wait) => baselines.tsfnDeliver(onLog.handler, t, n, MESSAGE, undefined, wait);
  const directErrors = (t, n, wait) => baselines.raiseErrors(t, n, MESSAGE, CODE, wait);

  const figures = [];
  for (const threads of [1, 4]) {
    figures.push(
      await compare(
        {
          id: `events.sdk.onCaptureError.threads${threads}`,
          label: `onCaptureError via SDK handler, ${plural(threads)}`,
        },
        () => perSecond(onError, sdkErrors, threads, { after: join }),
        () => perSecond(onError, tsfnErrors(onError.handler), threads),
      ),
    );
  }
  figures.push(
    await compare(
      { id: 'events.sdk.logLines.threads1', label: 'log lines via SDK handler, 1 thread' },
      () => perSecond(onLog, sdkLogLines, 1, { after: join }),
      () => perSecond(onLog, tsfnLogLines, 1),
    ),
  );
  figures.push(
    await compare(
      { id: 'events.filled.onCaptureError', label: 'onCaptureError, queue filled first' },
      () => perSecond(onError, sdkErrors, 1, { filled: true }),
      () => perSecond(onError, tsfnErrors(onError.handler), 1, { filled: true }),
    ),
    await compare(
      { id: 'events.filled.logLines', label: 'log lines, queue filled first' },
      () => perSecond(onLog, sdkLogLines, 1, { filled: true }),
      () => perSecond(onLog, tsfnLogLines, 1, { filled: true }),
    ),
  );
  for (const threads of [1, 4]) {
    figures.push(
      await compare(
        {
          id: `events.dispatcher.threads${threads}`,
          label: `dispatcher + registry alone, ${plural(threads)}`,
        },
        () => perSecond(direct, directErrors, threads),
        () => perSecond(direct, tsfnErrors(direct.handler), threads),
      ),
    );
  }
  return figures;
});
