'use strict';
// Entry of the package: loads the native add-on and re-exports its class,
// with sdkInfo(), the report of the libqcf in use.
const { isMainThread } = require('node:worker_threads');

// The add-on delivers SDK events through the main event loop; loaded on a
// worker thread it would attach to the wrong loop, so it is never loaded
// there.
if (!isMainThread) {
  throw new Error(
    'VarnKtPlugin can only be loaded on the main thread: it delivers SDK events ' +
      'through the main event loop, so it cannot be used from a worker thread',
  );
}

const { loadAddon } = require('./lib/load');
const { sdkInfo } = require('./lib/sdk-info');

const { VarnKtPlugin } = loadAddon();

// VARN_SDK_THREAD=1 turns the SDK thread on for a whole process, as
// configure({ sdkThread: true }) does from code.
if (process.env.VARN_SDK_THREAD === '1') VarnKtPlugin.configure({ sdkThread: true });

const configure = (options) => VarnKtPlugin.configure(options);

module.exports = { VarnKtPlugin, configure, sdkInfo };
