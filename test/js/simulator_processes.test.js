'use strict';
// The simulator's key store shared by processes through one key file: each
// runs the scenario sharedStore of test/scenarios/simulator.js in one directory.
const assert = require('node:assert/strict');
const { execFile } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { promisify } = require('node:util');
const { test } = require('node:test');
const sdk = require('../helpers/sdk');

const dir = sdk.tempCwd();
let reports = 0;
async function child(...args) {
  const VARN_RESULT_FILE = path.join(dir, `report-${++reports}.json`);
  await promisify(execFile)(process.execPath, [path.join(__dirname, '..', 'scenarios', 'run.js'), 'simulator', 'sharedStore'], {
    cwd: dir, timeout: 60000, env: { ...process.env, VARN_RESULT_FILE, VARN_SCENARIO_ARGS: JSON.stringify(args) },
  });
  return JSON.parse(fs.readFileSync(VARN_RESULT_FILE, 'utf8'));
}

test('processes creating groups at once leave a whole store; another process gets every group\'s key', async () => {
  const startAt = Date.now() + 1000;
  const created = (await Promise.all(Array.from({ length: 4 }, () => child(startAt, 'create', 8)))).flatMap((run) => run.groups);
  assert.equal(new Set(created.map((g) => g.groupId)).size, 32, 'group ids are unique');
  assert.ok(created.every((g) => g.code === 0 && /^[0-9A-F]{64}$/.test(g.groupKey)));
  const { groups, info } = await child(0, 'apply', ...created.map((g) => g.groupId), 'GRP-0000000000000000');
  const unknown = sdk.CODES.INVALID_KEY_HANDLE;
  assert.deepEqual(groups, [...created, { groupId: 'GRP-0000000000000000', code: unknown, message: sdk.errorText(unknown), groupKey: '' }]);
  assert.deepEqual([info.usedKeySize, info.totalKeySize], [32 * 32, 32 * 32]);
  assert.deepEqual(fs.readdirSync(dir).filter((name) => name.includes('.tmp')), [], 'no temporary files left');
});
