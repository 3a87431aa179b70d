'use strict';
// Entry of the package: loads the native add-on and re-exports its class.
const path = require('node:path');
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

const buildDir = path.resolve(__dirname, process.env.VARN_BUILD_DIR || 'build');
const addonPath = path.join(buildDir, 'Release', 'VarnKtPlugin.node');

function loadAddon() {
  try {
    return require(addonPath);
  } catch (err) {
    if (err && err.code === 'MODULE_NOT_FOUND' && String(err.message).includes(addonPath)) {
      throw new Error(
        `The VarnKtPlugin add-on has not been built (${addonPath} is missing). ` +
          'Build it with "npm install" or "npm run build" in the package directory.',
      );
    }
    throw err;
  }
}

const { VarnKtPlugin } = loadAddon();

// VARN_SDK_THREAD=1 turns the SDK thread on for a whole process, as
// configure({ sdkThread: true }) does from code.
if (process.env.VARN_SDK_THREAD === '1') VarnKtPlugin.configure({ sdkThread: true });

const configure = (options) => VarnKtPlugin.configure(options);

module.exports = { VarnKtPlugin, configure };
