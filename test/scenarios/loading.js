'use strict';
// Scenarios of the loading tests (entry, module, worker_thread): how the
// package and its add-on load, from which build, on which thread. None reads
// the context's add-on before it means to.
const path = require('node:path');
const { Worker } = require('node:worker_threads');

const ROOT = path.resolve(__dirname, '..', '..');

// How a worker running `code` ended.
const inWorker = (code, workerData) => new Promise((resolve) => {
  let error = null;
  const worker = new Worker(code, { eval: true, workerData });
  worker.on('error', (err) => { error = { isError: err instanceof Error, message: String(err && err.message) }; });
  worker.on('exit', (exitCode) => resolve({ exitCode, error }));
});

// A synchronous call, an asynchronous one and a log line from an SDK thread.
async function useOnMain(sdk) {
  const plugin = new (require(ROOT).VarnKtPlugin)();
  const lines = [];
  plugin.setLogCallback((line) => lines.push(line));
  plugin.preActivate('keys.dat');
  const hello = plugin.hello('abc');
  const initCode = (await plugin.init(1, 'u', 'd')).code;
  sdk.emitAsync({ message: 'from an SDK thread', threads: 1, count: 1, wait: true });
  const deadline = Date.now() + 5000;
  while (!lines.includes('from an SDK thread') && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 10));
  return { hello, initCode, logged: lines.includes('from an SDK thread') };
}

module.exports = {
  // The package as the build in VARN_BUILD_DIR gives it, or the Error.
  loadPackage() {
    try {
      const mod = require(ROOT);
      return { keys: Object.keys(mod), hello: new mod.VarnKtPlugin().hello('abc'), sdk: mod.sdkInfo() };
    } catch (err) {
      return { isError: err instanceof Error, message: String(err && err.message) };
    }
  },

  // args: [package directory]: what its sdkInfo() says, or the Error's message.
  sdkInfoOf({ args: [pkg] }) {
    try { return require(pkg).sdkInfo(); } catch (err) { return err.message; }
  },

  printHello({ VarnKtPlugin }) {
    console.log(new VarnKtPlugin().hello('abc'));
  },

  // args: [file the worker loads ('ROOT' or 'ADDON'), whether the main
  // thread uses the add-on first, the add-on file].
  async workerLoads({ sdk, args: [file, mainFirst, ADDON] }) {
    const before = mainFirst ? await useOnMain(sdk) : null;
    const worker = await inWorker(`require(require('node:worker_threads').workerData.${file})`, { ROOT, ADDON });
    return { before, worker, after: await useOnMain(sdk) };
  },

  // A worker that loaded the add-on file first still runs while the main
  // thread tries to use it.
  async workerHolds({ sdk, args: [ADDON] }) {
    const worker = new Worker(`
      const { parentPort, workerData } = require('node:worker_threads');
      try { require(workerData.ADDON); parentPort.postMessage('loaded'); } catch (err) { parentPort.postMessage(err.message); }
      parentPort.once('message', () => process.exit(0));`, { eval: true, workerData: { ADDON } });
    const inWorkerError = await new Promise((resolve) => worker.once('message', resolve));
    const main = await useOnMain(sdk).catch((err) => ({ isError: err instanceof Error, message: String(err && err.message) }));
    worker.postMessage('end');
    return { inWorkerError, main, exitCode: await new Promise((resolve) => worker.once('exit', resolve)) };
  },
};
