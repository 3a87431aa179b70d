'use strict';
// Child of simulator_processes.test.js: a process of its own that uses the
// add-on as an application would, against the simulator (the stand-in's mode
// at load: this child never loads the test helper). Usage:
//   node sim_groups.js <report.json> <key file> <start at, ms since epoch>
//        refill <keys> <bytes each> | create <count> | apply <group id>...
// It logs in, waits until the start time so that sibling children run at
// once, refills, creates or applies groups and writes
// { groups: [{groupId, code, message, groupKey}], info: getSPMKeyInfo() }.
const fs = require('node:fs');
const path = require('node:path');
const { VarnKtPlugin } = require(path.resolve(__dirname, '..', '..', '..'));

const [reportPath, keyFile, startAt, action, ...rest] = process.argv.slice(2);

async function expectOk(pending) {
  const result = await pending;
  if (result.code !== 0) throw new Error(result.message);
  return result;
}

async function main() {
  const plugin = new VarnKtPlugin();
  if (plugin.preActivate(keyFile) !== 0) throw new Error('preActivate failed');
  await expectOk(plugin.init(1, 'child', 'device'));
  await expectOk(plugin.auth_pubkey(1, 'child', 'device'));
  await new Promise((resolve) => setTimeout(resolve, Math.max(0, Number(startAt) - Date.now())));
  const groups = [];
  const apply = async (groupId) => groups.push({ groupId, ...(await plugin.applyKeyWithGroupID(groupId, 'child')) });
  if (action === 'refill') {
    await expectOk(plugin.reFillKey('', Number(rest[0]), Number(rest[1])));
  } else if (action === 'create') {
    for (let i = 0; i < Number(rest[0]); i++) {
      await apply((await expectOk(plugin.createGroup(`child ${process.pid}`, 0, 'note'))).groupId);
    }
  } else {
    for (const groupId of rest) await apply(groupId);
  }
  const info = await expectOk(plugin.getSPMKeyInfo('spm', 'query'));
  plugin.finish();
  fs.writeFileSync(reportPath, JSON.stringify({ groups, info }));
}

main().then(
  () => process.exit(0),
  (err) => {
    console.error(err);
    process.exit(1);
  },
);
