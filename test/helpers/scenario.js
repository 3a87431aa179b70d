'use strict';
// Runs a scenario of test/scenarios in a node process of its own, in a fresh
// directory where log.txt lands, for what the test runner's own process
// cannot show: the add-on's console lines (on the standard output that the
// test runner's own messages use), node flags such as --expose-gc,
// environment such as LD_PRELOAD, and how the process ends.
//
//   runScenario('simulator', 'orderOfUse', { args, env, nodeArgs, timeout })
//     -> { status, signal, stdout, stderr, value, log }
// `args` reach the scenario as context.args (through JSON); `value` is what
// it reported, `log` the log.txt it left. `stdout` is a Buffer, since console
// lines may be in another code page. runValue() asserts a clean exit and
// returns the value alone.
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const RUNNER = path.join(__dirname, '..', 'scenarios', 'run.js');
// Wine runs the Windows suite several times slower than a native host.
const DEFAULT_TIMEOUT = process.platform === 'win32' ? 240000 : 30000;

function runScenario(module, name, { args = [], env = {}, nodeArgs = [], timeout = DEFAULT_TIMEOUT } = {}) {
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-scenario-'));
  const resultFile = path.join(cwd, 'result.json');
  try {
    const child = spawnSync(process.execPath, [...nodeArgs, RUNNER, module, name], {
      env: { ...process.env, VARN_RESULT_FILE: resultFile, VARN_SCENARIO_ARGS: JSON.stringify(args), ...env },
      timeout, cwd,
    });
    const read = (file) => (fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '');
    const result = read(resultFile);
    // C stdio writes line ends as CR LF on Windows.
    const stdout = process.platform === 'win32'
      ? Buffer.from(child.stdout.toString('latin1').replace(/\r\n/g, '\n'), 'latin1')
      : child.stdout;
    return {
      status: child.status, signal: child.signal, stdout, stderr: child.stderr.toString(),
      value: result ? JSON.parse(result) : undefined, log: read(path.join(cwd, 'log.txt')),
    };
  } finally {
    fs.rmSync(cwd, { recursive: true, force: true });
  }
}

function runValue(module, name, options) {
  const run = runScenario(module, name, options);
  assert.deepEqual([run.status, run.signal], [0, null], `scenario ${module} ${name} failed: ${run.stderr}`);
  return run.value;
}

module.exports = { runScenario, runValue };
