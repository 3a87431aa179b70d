'use strict';
// Which JavaScript test files run, shared by npm test and the sanitizer run.
const fs = require('node:fs');
const path = require('node:path');

const root = path.resolve(__dirname, '..');

// test/js/*.test.js, sorted, relative to the package root.
function jsTestFiles() {
  return fs.readdirSync(path.join(root, 'test', 'js'))
    .filter((name) => name.endsWith('.test.js'))
    .sort()
    .map((name) => path.join('test', 'js', name));
}

// What runs a second time with every SDK call on the SDK thread
// (VARN_SDK_THREAD=1): the promise methods and what surrounds them, the
// fuzz run and the soak.
const SDK_THREAD_SUITE =
  /(keys_\w+|session_auth|events|catalogue|fuzz|soak)\.test\.js$/;

function sdkThreadFiles(files) {
  return files.filter((file) => SDK_THREAD_SUITE.test(file));
}

module.exports = { jsTestFiles, sdkThreadFiles };
