'use strict';
// The simulator's key store shared by processes through one key file.
const assert = require('node:assert/strict');
const { execFile } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { promisify } = require('node:util');
const { test } = require('node:test');
const sdk = require('../helpers/sdk');

const GROUP_KEY_BYTES = 32;
const dir = sdk.tempCwd();
let reports = 0;

// A process that never loads the test helper, so the library stays the simulator: it logs in
// (and refills key material for the groups it is to create), waits until `startAt` so that
// siblings run at once, then creates or applies groups and writes what it got.
function childMain(root, reportPath, startAt, action, args) {
  const { VarnKtPlugin } = require(root);
  const plugin = new VarnKtPlugin();
  const ok = (pending) => pending.then((result) => (result.code === 0 ? result : Promise.reject(new Error(result.message))));
  (async () => {
    if (plugin.preActivate('shared.store') !== 0) throw new Error('preActivate failed');
    await ok(plugin.init(1, 'child', 'device'));
    await ok(plugin.auth_pubkey(1, 'child', 'device'));
    if (action === 'create') await ok(plugin.reFillKey('', args[0], 32));
    await new Promise((resolve) => setTimeout(resolve, startAt - Date.now()));
    const groups = [];
    const apply = async (groupId) => groups.push({ groupId, ...(await plugin.applyKeyWithGroupID(groupId, 'child')) });
    for (let i = 0; action === 'create' && i < args[0]; i++) await apply((await ok(plugin.createGroup('child', 0, 'note'))).groupId);
    if (action === 'apply') for (const groupId of args) await apply(groupId);
    const info = await ok(plugin.getSPMKeyInfo('spm', 'query'));
    plugin.finish();
    require('node:fs').writeFileSync(reportPath, JSON.stringify({ groups, info }));
  })().then(() => process.exit(0), (err) => { console.error(err); process.exit(1); });
}

async function child(action, args, startAt = 0) {
  const reportPath = path.join(dir, `report-${++reports}.json`);
  const call = JSON.stringify([sdk.ROOT, reportPath, startAt, action, args]);
  await promisify(execFile)(process.execPath, ['-e', `(${childMain})(...${call})`], { cwd: dir, timeout: 60000 });
  return JSON.parse(fs.readFileSync(reportPath, 'utf8'));
}

test('processes creating groups at once leave a whole store; another process gets every group\'s key', async () => {
  const [children, perChild] = [4, 8];
  const startAt = Date.now() + 1000;
  const runs = await Promise.all(Array.from({ length: children }, () => child('create', [perChild], startAt)));
  const created = runs.flatMap((run) => run.groups);
  assert.equal(new Set(created.map((g) => g.groupId)).size, children * perChild, 'group ids are unique');
  assert.ok(created.every((g) => g.code === 0 && new RegExp(`^[0-9A-F]{${2 * GROUP_KEY_BYTES}}$`).test(g.groupKey)));
  const { groups, info } = await child('apply', [...created.map((g) => g.groupId), 'GRP-0000000000000000']);
  const unknown = sdk.CODES.INVALID_KEY_HANDLE;
  assert.deepEqual(groups, [...created, { groupId: 'GRP-0000000000000000', code: unknown, message: sdk.errorText(unknown), groupKey: '' }]);
  assert.deepEqual([info.usedKeySize, info.totalKeySize], Array(2).fill(children * perChild * GROUP_KEY_BYTES));
  assert.deepEqual(fs.readdirSync(dir).filter((name) => name.includes('.tmp')), [], 'no temporary files left');
});
