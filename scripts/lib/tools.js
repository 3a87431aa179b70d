'use strict';
// Small helpers of the build and test scripts: running programs, finding
// them on PATH, installing Debian packages as root.
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const ROOT = path.resolve(__dirname, '..', '..');

const started = Date.now();
function step(text) {
  const seconds = ((Date.now() - started) / 1000).toFixed(1);
  console.log(`\n== [${seconds}s] ${text}`);
}

// Runs a program with the output shown; throws unless it exits 0.
function run(cmd, args, options = {}) {
  const result = spawnSync(cmd, args, { stdio: 'inherit', cwd: ROOT, ...options });
  if (result.error) throw result.error;
  if (result.status !== 0) {
    throw new Error(`${cmd} ${args.join(' ')} failed (${result.signal || `exit ${result.status}`})`);
  }
  return result;
}

function which(name) {
  for (const dir of (process.env.PATH || '').split(path.delimiter)) {
    const candidate = path.join(dir || '.', name);
    try {
      fs.accessSync(candidate, fs.constants.X_OK);
      return candidate;
    } catch {
      // Not in this directory.
    }
  }
  return null;
}

function firstExisting(...candidates) {
  return candidates.find((candidate) => candidate && fs.existsSync(candidate)) || null;
}

const npmPath = () => which('npm') || path.join(path.dirname(process.execPath), 'npm');

// Runs a command as root: directly, or through sudo without a password prompt.
function asRoot(cmd, args, env = {}) {
  const isRoot = typeof process.getuid === 'function' && process.getuid() === 0;
  if (isRoot) return run(cmd, args, { env: { ...process.env, ...env } });
  if (!which('sudo')) throw new Error(`${cmd} needs root; run this script as root or install sudo`);
  const envArgs = Object.entries(env).map(([key, value]) => `${key}=${value}`);
  return run('sudo', ['-n', 'env', ...envArgs, cmd, ...args]);
}

function aptInstall(packages) {
  if (packages.length === 0) return;
  step(`installing ${packages.join(' ')}`);
  const env = { DEBIAN_FRONTEND: 'noninteractive' };
  asRoot('apt-get', ['update', '-qq'], env);
  asRoot('apt-get', ['install', '-y', '-qq', '--no-install-recommends', ...new Set(packages)], env);
}

module.exports = { ROOT, step, run, which, firstExisting, npmPath, asRoot, aptInstall };
