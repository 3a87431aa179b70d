'use strict';
// The module on a worker thread: a clear Error, never a crash, and the main
// thread's use undisturbed. A fresh child process per case, since what
// matters is which thread opens the add-on file first.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const sdk = require('../helpers/sdk');

const ADDON = path.join(sdk.BUILD_DIR, 'Release', 'VarnKtPlugin.node');
const NOT_MAIN_THREAD = 'VarnKtPlugin can only be loaded on the main thread: it delivers SDK events ' +
  'through the main event loop, so it cannot be used from a worker thread';
const DETACHED = /^VarnKtPlugin cannot deliver SDK events: its dispatcher is not attached/;

// Runs `body` (an async function body with `sdk`, `ROOT`, `ADDON`,
// `inWorker(code)` and `useOnMain()` in scope) in a child; returns its value.
function runChild(body) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-worker-'));
  const resultFile = path.join(dir, 'result.json');
  const child = spawnSync(process.execPath, ['-e', `
    const { Worker } = require('node:worker_threads');
    const sdk = require(${JSON.stringify(require.resolve('../helpers/sdk'))});
    sdk.tempCwd();
    const ROOT = ${JSON.stringify(sdk.ROOT)};
    const ADDON = ${JSON.stringify(ADDON)};
    const inWorker = (code) => new Promise((resolve) => { // resolves with how the worker ended
      let error = null;
      const worker = new Worker(code, { eval: true, workerData: { ROOT, ADDON } });
      worker.on('error', (err) => { error = { isError: err instanceof Error, message: String(err && err.message) }; });
      worker.on('exit', (exitCode) => resolve({ exitCode, error }));
    });
    // A synchronous call, an asynchronous one and a log line from an SDK thread.
    const useOnMain = async () => {
      const plugin = new (require(ROOT).VarnKtPlugin)();
      const lines = [];
      plugin.setLogCallback((line) => lines.push(line));
      plugin.preActivate('keys.dat');
      const hello = plugin.hello('abc');
      const infoCode = (await plugin.getSPMKeyInfo('a', 'b')).code;
      sdk.emitAsync({ message: 'from an SDK thread', threads: 1, count: 1, wait: true });
      const deadline = Date.now() + 5000;
      while (!lines.includes('from an SDK thread') && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 10));
      return { hello, infoCode, logged: lines.includes('from an SDK thread') };
    };
    (async () => { ${body} })().then((value) => {
      require('node:fs').writeFileSync(${JSON.stringify(resultFile)}, JSON.stringify(value));
      process.exit(0);
    }, (err) => { console.error(err); process.exit(1); });`], { encoding: 'utf8', timeout: 60000 });
  try {
    assert.equal(child.status, 0, `child failed (signal ${child.signal}): ${child.stderr}`);
    return JSON.parse(fs.readFileSync(resultFile, 'utf8'));
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

const WORKING = { hello: 'abc world', infoCode: 0, logged: true };

// The entry refuses a worker before the add-on file is opened (had the worker
// opened it, the main thread could not attach afterwards); a worker loading
// the file directly gets an Error from the add-on's initialisation, whether
// the main thread loaded it first or loads it afresh after the worker.
for (const [what, file, mainFirst] of [['the entry', 'ROOT', false], ['the add-on file, loaded on the main thread first', 'ADDON', true],
  ['the add-on file, loaded by the worker first', 'ADDON', false]]) {
  test(`a worker thread loading ${what} gets a clear Error; the main thread still works`, () => {
    const result = runChild(`
      const before = ${mainFirst} ? await useOnMain() : null;
      const worker = await inWorker("require(require('node:worker_threads').workerData.${file})");
      return { before, worker, after: await useOnMain() };`);
    assert.deepEqual(result, { before: mainFirst ? WORKING : null, worker: { exitCode: 1, error: { isError: true, message: NOT_MAIN_THREAD } }, after: WORKING });
  });
}

test('while a worker that loaded the add-on file first still runs, the main thread gets an Error, not a crash', () => {
  const result = runChild(`
    const worker = new (require('node:worker_threads').Worker)(\`
      const { parentPort, workerData } = require('node:worker_threads');
      try { require(workerData.ADDON); parentPort.postMessage('loaded'); } catch (err) { parentPort.postMessage(err.message); }
      parentPort.once('message', () => process.exit(0));\`, { eval: true, workerData: { ADDON } });
    const inWorkerError = await new Promise((resolve) => worker.once('message', resolve));
    const main = await useOnMain().catch((err) => ({ isError: err instanceof Error, message: String(err && err.message) }));
    worker.postMessage('end');
    return { inWorkerError, main, exitCode: await new Promise((resolve) => worker.once('exit', resolve)) };`);
  assert.equal(result.inWorkerError, NOT_MAIN_THREAD);
  // The file's dispatcher never attached to the main loop: told so, rather than
  // a module whose events could not be delivered.
  assert.equal(result.main.isError, true);
  assert.match(result.main.message, DETACHED);
  assert.equal(result.exitCode, 0);
});
