'use strict';
// A bounded run of the argument fuzzer (test/fuzz/fuzz.js) in a child
// process, whose standard output (the add-on's console lines, some of them
// 1 MiB long) is dropped. A fresh seed each run, printed; VARN_FUZZ_SEED
// replays one, VARN_FUZZ_CALLS changes the number of calls.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const path = require('node:path');

const FUZZ = path.join(__dirname, '..', 'fuzz', 'fuzz.js');

test('thousands of calls with random arguments all return, throw or settle as they should', (t) => {
  const seed = process.env.VARN_FUZZ_SEED || String((Date.now() ^ (process.pid << 8)) >>> 0);
  const calls = process.env.VARN_FUZZ_CALLS || '5000';
  t.diagnostic(`fuzz seed ${seed}, ${calls} calls (replay: npm run fuzz -- --calls ${calls} --seed ${seed})`);
  const child = spawnSync(process.execPath, [FUZZ, '--calls', calls, '--seed', seed], {
    stdio: ['ignore', 'ignore', 'pipe'],
    encoding: 'utf8',
    timeout: 300000,
  });
  const summary = child.stderr.split('\n').find((line) => line.startsWith('fuzz: {')) || '';
  t.diagnostic(summary);
  assert.equal(child.signal, null, `fuzz child killed by ${child.signal} (seed ${seed}):\n${child.stderr}`);
  assert.equal(child.status, 0, `seed ${seed}:\n${child.stderr}`);
});
