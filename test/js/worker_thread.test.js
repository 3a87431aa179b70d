'use strict';
// The module on a worker thread: a clear Error from the JavaScript entry, and
// from the add-on's own initialisation when a worker loads the file directly;
// never a crash, and the main thread's use of the module is not disturbed.
// Each case runs in a fresh child process, since what matters is which
// thread opens the add-on file first.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const sdk = require('../helpers/sdk');

const ADDON = path.join(sdk.BUILD_DIR, 'Release', 'VarnKtPlugin.node');
const NOT_MAIN_THREAD =
  'VarnKtPlugin can only be loaded on the main thread: it delivers SDK events ' +
  'through the main event loop, so it cannot be used from a worker thread';
const DETACHED = /^VarnKtPlugin cannot deliver SDK events: its dispatcher is not attached/;

// Runs `body` (an async function body with `sdk`, `ROOT`, `ADDON`,
// `inWorker(code)` and `useOnMain()` in scope) in a child and returns what
// it returns.
function runChild(body) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-worker-'));
  const resultFile = path.join(dir, 'result.json');
  const script = `
    const { Worker } = require('node:worker_threads');
    const sdk = require(${JSON.stringify(require.resolve('../helpers/sdk'))});
    sdk.tempCwd();
    const ROOT = ${JSON.stringify(sdk.ROOT)};
    const ADDON = ${JSON.stringify(ADDON)};
    // Runs code on a worker; resolves with how the worker ended.
    const inWorker = (code) => new Promise((resolve) => {
      let error = null;
      const worker = new Worker(code, { eval: true, workerData: { ROOT, ADDON } });
      worker.on('error', (err) => {
        error = { isError: err instanceof Error, message: String(err && err.message) };
      });
      worker.on('exit', (exitCode) => resolve({ exitCode, error }));
    });
    // Uses the module on the main thread: a synchronous call, an
    // asynchronous one and a log line from a thread of the SDK's own.
    const useOnMain = async () => {
      const { VarnKtPlugin } = require(ROOT);
      const plugin = new VarnKtPlugin();
      const lines = [];
      plugin.setLogCallback((line) => lines.push(line));
      plugin.preActivate('keys.dat');
      const hello = plugin.hello('abc');
      const info = await plugin.getSPMKeyInfo('a', 'b');
      sdk.emitAsync({ message: 'from an SDK thread', threads: 1, count: 1, wait: true });
      const deadline = Date.now() + 5000;
      while (!lines.includes('from an SDK thread') && Date.now() < deadline) {
        await new Promise((resolve) => setTimeout(resolve, 10));
      }
      return { hello, infoCode: info.code, logged: lines.includes('from an SDK thread') };
    };
    (async () => { ${body} })().then((value) => {
      require('node:fs').writeFileSync(${JSON.stringify(resultFile)}, JSON.stringify(value));
      process.exit(0);
    }, (err) => { console.error(err); process.exit(1); });`;
  const child = spawnSync(process.execPath, ['-e', script], { encoding: 'utf8', timeout: 60000 });
  try {
    assert.equal(child.status, 0, `child failed (signal ${child.signal}): ${child.stderr}`);
    return JSON.parse(fs.readFileSync(resultFile, 'utf8'));
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

const WORKING = { hello: 'abc world', infoCode: 0, logged: true };

test('the entry refuses a worker thread before the add-on file is opened', () => {
  const result = runChild(`
    const worker = await inWorker("require(require('node:worker_threads').workerData.ROOT)");
    // Had the worker opened the file, the main thread could not attach now.
    return { worker, main: await useOnMain() };`);
  assert.deepEqual(result.worker, { exitCode: 1, error: { isError: true, message: NOT_MAIN_THREAD } });
  assert.deepEqual(result.main, WORKING);
});

test('a worker that loads the add-on file directly gets an Error from its initialisation', async (t) => {
  await t.test('after the main thread has loaded it', () => {
    const result = runChild(`
      const before = await useOnMain();
      const worker = await inWorker("require(require('node:worker_threads').workerData.ADDON)");
      return { before, worker, after: await useOnMain() };`);
    assert.deepEqual(result.worker, { exitCode: 1, error: { isError: true, message: NOT_MAIN_THREAD } });
    assert.deepEqual(result.before, WORKING);
    assert.deepEqual(result.after, WORKING);
  });

  await t.test('as the first to load it, and gone: the main thread loads it afresh', () => {
    const result = runChild(`
      const worker = await inWorker("require(require('node:worker_threads').workerData.ADDON)");
      return { worker, main: await useOnMain() };`);
    assert.deepEqual(result.worker, { exitCode: 1, error: { isError: true, message: NOT_MAIN_THREAD } });
    assert.deepEqual(result.main, WORKING);
  });

  await t.test('as the first to load it, still running: the main thread gets an Error, not a crash', () => {
    const result = runChild(`
      const { Worker } = require('node:worker_threads');
      // The worker keeps the file open until it is told to end.
      const worker = new Worker(\`
        const { parentPort, workerData } = require('node:worker_threads');
        try { require(workerData.ADDON); parentPort.postMessage('loaded'); }
        catch (err) { parentPort.postMessage(err.message); }
        parentPort.once('message', () => process.exit(0));\`, { eval: true, workerData: { ADDON } });
      const inWorkerError = await new Promise((resolve) => worker.once('message', resolve));
      let main;
      try {
        main = await useOnMain();
      } catch (err) {
        main = { isError: err instanceof Error, message: String(err && err.message) };
      }
      worker.postMessage('end');
      const exitCode = await new Promise((resolve) => worker.once('exit', resolve));
      return { inWorkerError, main, exitCode };`);
    assert.equal(result.inWorkerError, NOT_MAIN_THREAD);
    // The file is still the one the worker opened, whose dispatcher never
    // attached to the main loop: the main thread is told so instead of
    // getting a module whose events could not be delivered.
    assert.equal(result.main.isError, true);
    assert.match(result.main.message, DETACHED);
    assert.equal(result.exitCode, 0);
  });
});
