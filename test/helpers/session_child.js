'use strict';
// Runs a piece of test code in a child node process, for what the test
// runner's own process cannot show: the add-on's console lines (C stdio,
// flushed when the child exits), node flags such as --expose-gc, and
// environment such as LD_PRELOAD.
//
// `body` is the text of an async function body with `plugin` (a fresh
// VarnKtPlugin), `VarnKtPlugin`, `sdk` and `logLines()` (the messages of
// log.txt without time stamps) in scope; what it returns comes back as
// `value`, through a file (stdout belongs to the add-on).
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const SDK_HELPER = require.resolve('./sdk');

function runChild(body, { nodeArgs = [], env = {} } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-child-'));
  const resultFile = path.join(dir, 'result.json');
  const script = `
    const fs = require('node:fs');
    const sdk = require(${JSON.stringify(SDK_HELPER)});
    sdk.tempCwd();
    const { VarnKtPlugin } = require(sdk.ROOT);
    const plugin = new VarnKtPlugin();
    const logLines = () => fs.existsSync('log.txt')
      ? fs.readFileSync('log.txt', 'utf8').split(/\\r?\\n/).slice(0, -1)
          .map((line) => line.replace(/^[-0-9]{10} [:0-9]{8} - /, ''))
      : [];
    (async () => { ${body} })().then((value) => {
      fs.writeFileSync(${JSON.stringify(resultFile)}, JSON.stringify(value === undefined ? null : value));
      process.exit(0);
    }, (err) => { console.error(err); process.exit(1); });`;
  const child = spawnSync(process.execPath, [...nodeArgs, '-e', script], {
    env: { ...process.env, ...env },
    // Wine runs the Windows suite several times slower than a native host.
    timeout: process.platform === 'win32' ? 240000 : 30000,
  });
  try {
    const stderr = child.stderr.toString();
    assert.equal(child.status, 0, `child failed: ${stderr}`);
    // C stdio writes line ends as CR LF on Windows.
    const stdout = process.platform === 'win32'
      ? Buffer.from(child.stdout.toString('latin1').replace(/\r\n/g, '\n'), 'latin1')
      : child.stdout;
    return {
      stdout, // a Buffer: console lines may be in another code page
      stderr,
      value: JSON.parse(fs.readFileSync(resultFile, 'utf8')),
    };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

module.exports = { runChild };
