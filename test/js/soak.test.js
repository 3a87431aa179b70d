'use strict';
// A short run of the soak (npm run soak runs a million calls) in a child process whose standard output is dropped.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const { NODE_FLAGS } = require('../soak/soak');

test('100,000 calls with 2,000 in flight: no growth after the warm-up, every promise settled, nothing left over', (t) => {
  const child = spawnSync(process.execPath, [...NODE_FLAGS, require.resolve('../soak/soak'), '--child', '--calls', '100000',
    '--in-flight', '2000'], { stdio: ['ignore', 'ignore', 'pipe'], encoding: 'utf8', timeout: 600000 });
  for (const line of child.stderr.split('\n')) if (/^soak: (held|\{"calls")/.test(line)) t.diagnostic(line);
  assert.deepEqual([child.signal, child.status], [null, 0], child.stderr);
});
