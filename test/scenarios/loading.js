'use strict';
// Scenarios of the entry tests. None reads the context's add-on before it means to.
const path = require('node:path');
const { Worker } = require('node:worker_threads');

const ROOT = path.resolve(__dirname, '..', '..');

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
const errorOf = (err) => ({ isError: err instanceof Error, message: String(err && err.message) });

module.exports = {
  // args: [package directory]: the package's exports, hello and sdkInfo(), or the Error.
  loadPackage({ args: [pkg] }) {
    try {
      const mod = require(pkg);
      return { keys: Object.keys(mod), hello: new mod.VarnKtPlugin().hello('abc'), sdk: mod.sdkInfo() };
    } catch (err) {
      return errorOf(err);
    }
  },

  // args: [file a worker loads ('ROOT' or 'ADDON'), whether the main thread uses the add-on first, whether the worker
  // catches the Error and runs on while the main thread uses the add-on after it, the add-on file].
  async workerLoads({ sdk, args: [file, mainFirst, holds, ADDON] }) {
    const use = () => useOnMain(sdk).catch(errorOf);
    const before = mainFirst ? await use() : null;
    const worker = new Worker(`
      const { parentPort, workerData: { file, holds } } = require('node:worker_threads');
      try { require(file); } catch (err) { if (!holds) throw err; parentPort.postMessage(err.message); }
      if (holds) parentPort.once('message', () => process.exit(0));`, { eval: true, workerData: { file: file === 'ROOT' ? ROOT : ADDON, holds } });
    let error = null;
    worker.on('error', (err) => { error = errorOf(err); });
    const exited = new Promise((resolve) => worker.on('exit', (exitCode) => resolve({ exitCode, error })));
    const held = holds ? await new Promise((resolve) => worker.once('message', resolve)) : null;
    if (!holds) await exited;
    const after = await use();
    worker.postMessage('end');
    return { before, held, worker: await exited, after };
  },
};
