'use strict';
// The simulator's key store shared by processes through one key file: each
// process runs the scenario sharedStore of test/scenarios/simulator.js in one
// directory, at once with its siblings.
const assert = require('node:assert/strict');
const { execFile } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { promisify } = require('node:util');
const { test } = require('node:test');
const sdk = require('../helpers/sdk');

const GROUP_KEY_BYTES = 32;
const RUNNER = path.join(__dirname, '..', 'scenarios', 'run.js');
const dir = sdk.tempCwd();
let reports = 0;

async function child(...args) {
  const resultFile = path.join(dir, `report-${++reports}.json`);
  await promisify(execFile)(process.execPath, [RUNNER, 'simulator', 'sharedStore'], {
    cwd: dir, timeout: 60000, env: { ...process.env, VARN_RESULT_FILE: resultFile, VARN_SCENARIO_ARGS: JSON.stringify(args) },
  });
  return JSON.parse(fs.readFileSync(resultFile, 'utf8'));
}

test('processes creating groups at once leave a whole store; another process gets every group\'s key', async () => {
  const [children, perChild] = [4, 8];
  const startAt = Date.now() + 1000;
  const runs = await Promise.all(Array.from({ length: children }, () => child(startAt, 'create', perChild)));
  const created = runs.flatMap((run) => run.groups);
  assert.equal(new Set(created.map((g) => g.groupId)).size, children * perChild, 'group ids are unique');
  assert.ok(created.every((g) => g.code === 0 && new RegExp(`^[0-9A-F]{${2 * GROUP_KEY_BYTES}}$`).test(g.groupKey)));
  const { groups, info } = await child(0, 'apply', ...created.map((g) => g.groupId), 'GRP-0000000000000000');
  const unknown = sdk.CODES.INVALID_KEY_HANDLE;
  assert.deepEqual(groups, [...created, { groupId: 'GRP-0000000000000000', code: unknown, message: sdk.errorText(unknown), groupKey: '' }]);
  assert.deepEqual([info.usedKeySize, info.totalKeySize], Array(2).fill(children * perChild * GROUP_KEY_BYTES));
  assert.deepEqual(fs.readdirSync(dir).filter((name) => name.includes('.tmp')), [], 'no temporary files left');
});
