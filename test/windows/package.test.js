'use strict';
// The package as npm run test:package installed it from the tarball (build/package/app), under Windows.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const PKG = path.resolve(__dirname, '..', '..', 'build', 'package', 'app', 'node_modules', 'varnktplugin');
const PREBUILDS = path.join(PKG, 'prebuilds', 'win32-x64');
const skip = process.platform !== 'win32' ? 'Windows only'
  : !fs.existsSync(PKG) && `${PKG} is missing: run "npm run prebuild" and "npm run test:package" first`;

const runNode = (args) => spawnSync(process.execPath, args,
  { cwd: path.dirname(path.dirname(PKG)), encoding: 'utf8', timeout: 120000, env: { ...process.env, VARN_BUILD_DIR: '' } });

test('the installed package loads its prebuilt add-on, reports the simulator beside it, and the walkthrough passes', { skip }, () => {
  const child = runNode(['-e', `console.log(JSON.stringify(require(${JSON.stringify(PKG)}).sdkInfo())); process.exit(0);`]);
  assert.equal(child.status, 0, child.stderr);
  const info = JSON.parse(child.stdout.trim().split('\n').pop());
  assert.deepEqual({ ...info, path: info.path.toLowerCase() }, { simulator: true,
    path: path.join(PREBUILDS, 'libqcf.dll').toLowerCase(), addon: path.join(PREBUILDS, 'VarnKtPlugin.node.napi.node') });
  const walk = runNode([path.join(PKG, 'examples', 'walkthrough.js')]);
  assert.deepEqual([walk.status, /Walkthrough complete: every step succeeded\./.test(walk.stdout)], [0, true], `${walk.stdout}\n${walk.stderr}`);
});
