'use strict';
// The package's standin module as this repository's tests use it: in the
// permissive mode, set when this helper loads and on every reset() unless
// reset({ simulate: true }) asks for the simulator.
const path = require('node:path');
const standin = require('../../standin');

const ROOT = path.resolve(__dirname, '..', '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');

function reset(options = {}) {
  standin.reset({ simulate: false, ...(typeof options === 'boolean' ? { dropHandlers: options } : options) });
}

reset();

module.exports = { ...standin, ROOT, BUILD_DIR, reset };
