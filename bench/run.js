#!/usr/bin/env node
'use strict';
// npm run bench: the add-on's own cost per call, per event and per log
// record, as ratios to baselines measured in the same run on the same
// machine. Each section runs in a fresh process with a temporary working
// directory (the add-on writes log.txt there); the figures are printed as
// one table and written as JSON to bench/results/.
//
// `npm run bench -- --section loop` runs only the named section (repeat the
// option for more); such a partial run leaves bench/results/latest.json, the
// figures of the last full run, alone.
const { execFileSync, fork } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { formatTable, verdict } = require('./lib/table');

const ROOT = path.resolve(__dirname, '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');
const RELEASE_DIR = path.join(BUILD_DIR, 'Release');
const TARGETS = ['VarnKtPlugin', 'bench_baselines'];

const SECTIONS = [
  { name: 'sync', title: '1. Synchronous calls' },
  { name: 'async', title: '2. Asynchronous calls' },
  { name: 'events', title: '3. Events and log lines' },
  { name: 'log_records', title: '4. Log records' },
  { name: 'memory', title: '5. Memory' },
  { name: 'loop', title: '6. Event loop' },
];

// The sections named by --section NAME / --section=NAME, or all of them.
function chosenSections(args) {
  const names = [];
  for (let i = 0; i < args.length; i += 1) {
    const [option, inline] = args[i].split(/=(.*)/s);
    if (option !== '--section') throw new Error(`unknown argument ${args[i]} (try --section ${SECTIONS[0].name})`);
    const name = inline !== undefined ? inline : args[(i += 1)];
    if (!SECTIONS.some((section) => section.name === name)) {
      throw new Error(`no section ${name}; the sections: ${SECTIONS.map((section) => section.name).join(', ')}`);
    }
    names.push(name);
  }
  return names.length ? SECTIONS.filter((section) => names.includes(section.name)) : SECTIONS;
}

// Builds the whole tree on a fresh clone; otherwise brings the two add-ons
// up to date, so that figures never come from stale code.
function ensureBuilt() {
  if (!fs.existsSync(path.join(BUILD_DIR, 'CMakeCache.txt'))) {
    execFileSync(process.execPath, [path.join(ROOT, 'scripts', 'build.js')], { stdio: 'inherit', cwd: ROOT });
  }
  const cmake = (args, stdio) => execFileSync('cmake', args, { stdio, cwd: ROOT });
  const build = (stdio) => cmake(['--build', BUILD_DIR, '--config', 'Release', '--target', ...TARGETS], stdio);
  try {
    build('pipe');
  } catch {
    // A tree configured without the bench: switch it on and try again.
    cmake(['-S', ROOT, '-B', BUILD_DIR, '-DVARN_BUILD_BENCH=ON'], 'inherit');
    build('inherit');
  }
}

function runSection(section) {
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), `varn-bench-${section.name}-`));
  return new Promise((resolve, reject) => {
    const child = fork(path.join(__dirname, 'sections', `${section.name}.js`), [], {
      cwd,
      env: { ...process.env, VARN_BUILD_DIR: BUILD_DIR },
      execArgv: ['--expose-gc'],
      stdio: ['ignore', 'ignore', 'inherit', 'ipc'],
    });
    let answer = null;
    child.on('message', (message) => {
      answer = message;
    });
    child.on('error', reject);
    // 'close', not 'exit': the last message may still be on its way at exit.
    child.on('close', (code, signal) => {
      fs.rmSync(cwd, { recursive: true, force: true });
      if (answer && answer.figures) resolve(answer.figures);
      else {
        const why = answer ? answer.error : 'no figures';
        reject(new Error(`section ${section.name} failed (${signal || code}): ${why}`));
      }
    });
  });
}

function machine() {
  const cpus = os.cpus();
  return {
    cores: cpus.length,
    cpu: cpus.length ? cpus[0].model : 'unknown',
    platform: `${os.type()} ${os.release()} ${os.arch()}`,
    node: process.version,
    // The run's own threads (1,000 calls in flight) raise it later on.
    loadAverageAtStart: os.loadavg()[0],
  };
}

async function main() {
  const sections = chosenSections(process.argv.slice(2));
  ensureBuilt();
  const started = Date.now();
  const results = { date: new Date().toISOString(), machine: machine(), sections: [] };
  for (const section of sections) {
    process.stderr.write(`bench: ${section.title}...\n`);
    results.sections.push({ ...section, figures: await runSection(section) });
  }
  results.seconds = (Date.now() - started) / 1000;

  console.log(formatTable(results));
  const dir = path.join(__dirname, 'results');
  fs.mkdirSync(dir, { recursive: true });
  const stamp = results.date.replace(/[:.]/g, '-');
  const json = `${JSON.stringify(results, null, 2)}\n`;
  fs.writeFileSync(path.join(dir, `bench-${stamp}.json`), json);
  if (sections === SECTIONS) fs.writeFileSync(path.join(dir, 'latest.json'), json);
  const missed = results.sections.flatMap((s) => s.figures).filter((f) => verdict(f) === 'missed');
  const summary = missed.length ? `${missed.length} target(s) missed` : 'All targets met';
  const file = sections === SECTIONS ? 'latest.json' : `bench-${stamp}.json`;
  console.log(`\n${summary}; figures in bench/results/${file}`);
}

main().catch((err) => {
  console.error(err.stack || err);
  process.exit(1);
});
