'use strict';
// A bounded run of the argument fuzzer (test/fuzz/fuzz.js) in a child whose standard output (console lines, some
// 1 MiB long) is dropped. A fresh seed each run; VARN_FUZZ_SEED replays one, VARN_FUZZ_CALLS sets the number of calls.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');

test('thousands of calls with random arguments all return, throw or settle as they should', (t) => {
  const seed = process.env.VARN_FUZZ_SEED || String((Date.now() ^ (process.pid << 8)) >>> 0);
  const calls = process.env.VARN_FUZZ_CALLS || '5000';
  t.diagnostic(`fuzz seed ${seed}, ${calls} calls (replay: npm run fuzz -- --calls ${calls} --seed ${seed})`);
  const child = spawnSync(process.execPath, [require.resolve('../fuzz/fuzz'), '--calls', calls, '--seed', seed],
    { stdio: ['ignore', 'ignore', 'pipe'], encoding: 'utf8', timeout: 300000 });
  t.diagnostic(child.stderr.split('\n').find((line) => line.startsWith('fuzz: {')) || '');
  assert.deepEqual([child.signal, child.status], [null, 0], `seed ${seed}:\n${child.stderr}`);
});
