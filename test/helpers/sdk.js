'use strict';
// The package's standin module as this repository's tests use it, with the
// paths of the checkout and its build.
const path = require('node:path');
const standin = require('../../standin');

const ROOT = path.resolve(__dirname, '..', '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');

module.exports = { ...standin, ROOT, BUILD_DIR };
