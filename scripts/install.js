#!/usr/bin/env node
// The package's install step. Builds from source (scripts/build.js) when
//   - the package directory is a checkout of the repository (it holds test/,
//     which the published package leaves out): everything, tests included;
//   - the vendor SDK is named: QCF_SDK_DIR, or npm's qcf_sdk_dir;
//   - a build from source is asked for: npm install --build-from-source (npm's
//     build_from_source configuration) or VARN_BUILD_FROM_SOURCE=1;
//   - no prebuilt add-on fits this platform, or the one that fits does not
//     load here (for example on an older C library).
// Otherwise the prebuilt add-on is used as it is and nothing is built.
'use strict';
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const root = path.resolve(__dirname, '..');

function reasonToBuild() {
  if (fs.existsSync(path.join(root, 'test'))) return 'a checkout of the repository';
  const sdk = 'QCF_SDK_DIR' in process.env ? process.env.QCF_SDK_DIR : process.env.npm_config_qcf_sdk_dir;
  if (sdk) return `the vendor SDK in ${sdk}`;
  if (process.env.npm_config_build_from_source === 'true' || process.env.VARN_BUILD_FROM_SOURCE === '1') {
    return 'a build from source was asked for';
  }
  // The prebuilt add-on for this platform, loaded in a child process (the
  // add-on keeps its process's event loop alive).
  const probe = spawnSync(
    process.execPath,
    ['-e', `const file = require(${JSON.stringify(path.join(root, 'lib', 'load.js'))}).prebuiltAddon();
      if (!file) process.exit(2);
      require(file);
      console.log(file);
      process.exit(0);`],
    { cwd: root, encoding: 'utf8', env: { ...process.env, PREBUILDS_ONLY: '1' } },
  );
  if (probe.status === 2) return `no prebuilt add-on fits ${process.platform}-${process.arch}`;
  if (probe.status !== 0) return `the prebuilt add-on does not load here:\n${probe.stderr.trim()}`;
  console.log(`varnktplugin: using the prebuilt add-on ${path.relative(root, probe.stdout.trim())}`);
  return null;
}

const reason = reasonToBuild();
if (reason) {
  console.log(`varnktplugin: building from source (${reason})`);
  const build = spawnSync(process.execPath, [path.join(__dirname, 'build.js')], { cwd: root, stdio: 'inherit' });
  process.exit(build.status === null ? 1 : build.status);
}
