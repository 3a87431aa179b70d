'use strict';
// The simulator's key store shared by processes through one key file: a
// group created in one process gives the same key in another, and processes
// writing the store at once lose nothing. Every add-on call runs in a child
// (children/sim_groups.js), which also keeps the add-on's console lines out
// of the test runner's channel.
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { beforeEach, test } = require('node:test');
const sdk = require('../helpers/sdk');

const CHILD = path.join(__dirname, 'children', 'sim_groups.js');
const GROUP_KEY_BYTES = 32;

let dir;
let keyFile;
let reports = 0;

beforeEach(() => {
  dir = sdk.tempCwd();
  keyFile = path.join(dir, 'shared.store');
});

// Runs a child and resolves with its report.
function child(startAt, ...args) {
  const reportPath = path.join(dir, `report-${++reports}.json`);
  return new Promise((resolve, reject) => {
    const proc = spawn(process.execPath, [CHILD, reportPath, keyFile, String(startAt), ...args], {
      cwd: dir,
      stdio: ['ignore', 'ignore', 'pipe'],
    });
    let stderr = '';
    proc.stderr.on('data', (chunk) => (stderr += chunk));
    proc.on('error', reject);
    proc.on('close', (status) => {
      if (status !== 0) reject(new Error(`child ended with ${status}: ${stderr}`));
      else resolve(JSON.parse(fs.readFileSync(reportPath, 'utf8')));
    });
  });
}

// Key material for `groups` group keys, as refilled keys of 256 bytes.
const provision = (groups) => child(0, 'refill', String((groups * GROUP_KEY_BYTES) / 256), '256');

test('a group created in one process gives the same key in another', async () => {
  await provision(8);
  const { groups: [created] } = await child(0, 'create', '1');
  assert.equal(created.code, 0);
  assert.match(created.groupKey, new RegExp(`^[0-9A-F]{${2 * GROUP_KEY_BYTES}}$`));

  const { groups } = await child(0, 'apply', created.groupId, 'GRP-0000000000000000');
  const unknown = sdk.CODES.INVALID_KEY_HANDLE;
  assert.deepEqual(groups, [
    created,
    { groupId: 'GRP-0000000000000000', code: unknown, message: sdk.errorText(unknown), groupKey: '' },
  ]);
});

test('processes creating groups at once leave a whole store with every group', async () => {
  const children = 4;
  const perChild = 8;
  await provision(children * perChild);

  const startAt = Date.now() + 1000;
  const runs = await Promise.all(Array.from({ length: children }, () => child(startAt, 'create', String(perChild))));
  const created = runs.flatMap((run) => run.groups);
  assert.equal(new Set(created.map((g) => g.groupId)).size, children * perChild, 'group ids are unique');

  const { groups, info } = await child(0, 'apply', ...created.map((g) => g.groupId));
  assert.deepEqual(groups, created);
  assert.equal(info.usedKeySize, children * perChild * GROUP_KEY_BYTES);
  assert.equal(info.usedKeySize, info.totalKeySize, 'every byte went to one group');
  const lines = fs.readFileSync(keyFile, 'latin1').split('\n');
  assert.equal(lines.filter((line) => line.startsWith('group ')).length, created.length);
  assert.deepEqual(fs.readdirSync(dir).filter((name) => name.includes('.tmp')), [], 'no temporary files left');
});
