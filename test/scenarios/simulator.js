'use strict';
// Scenarios of test/js/simulator.test.js.
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');
const { openSession } = require('../helpers/session');

// A code; a failure's message must be the simulator's text for it.
const codeOf = (result) => {
  if (typeof result === 'number') return result;
  if (result.code !== 0) assert.equal(result.message, sdk.errorText(result.code));
  return result.code;
};
/** @param {{ item?: object, [property: string]: unknown }} [overrides] */
const fillParams = ({ item = {}, ...top } = {}) => ({
  serverAddr: '127.0.0.1', port: 18000, serverType: 1, userTokenHandle: 'handle', overWriteFlag: 0, ...top,
  fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: 'soft.key', ...item },
});
const STEPS = {
  preActivate: ['preActivate', 'keys.store'], init: ['init', 1, 'user', 'device'], login: ['auth_pubkey', 1, 'user', 'device'],
  fill: ['fillKey', fillParams()], refill: ['reFillKeySync', '', 1, 32], createGroup: ['createGroup', 'group', 0, 'note'],
  report: ['reportSPMWithSignPubkey', 'spm', 'public key', 0],
};
// The codes of steps, each a name of STEPS or [method, ...arguments].
async function codes(plugin, ...steps) {
  const out = [];
  for (const step of steps) {
    const [method, ...args] = typeof step === 'string' ? STEPS[step] : step;
    out.push(codeOf(await plugin[method](...args)));
  }
  return out;
}
const spmState = (plugin) => plugin.getSPMKeyInfo('spm', 'query')
  .then((i) => [i.keyTag, i.keySource, [i.totalKeySize, i.usedKeySize, i.keyBasePostion]]);

module.exports = {
  // args: rows of [label, steps before, the step]; each row in a new session.
  async orderOfUse({ plugin, args }) {
    const out = [];
    for (const [label, before, step] of args) {
      sdk.reset();
      out.push([label, await codes(plugin, ...before, step)]);
    }
    return out;
  },

  // args: rows of [method, arguments, code, , the function scripted to answer it]: the state after each, the group keys
  // another instance applies by their ids as second texts, the files left; then a login that lapses at once.
  async counters({ plugin, VarnKtPlugin, args }) {
    await openSession(plugin);
    fs.writeFileSync('taken.key', 'mine');
    fs.mkdirSync('a-directory');
    const [states, groups] = [[await spmState(plugin)], []];
    for (const [method, params, code, , scripted] of args) {
      if (scripted) sdk.script(scripted, { code });
      const result = await plugin[method](...(method === 'fillKey' ? [fillParams(params)] : params));
      states.push([codeOf(result), ...(await spmState(plugin))]);
      if (result.groupId) groups.push([result.groupId, (await new VarnKtPlugin().applyKeyWithGroupID('me', result.groupId)).groupKey]);
    }
    const left = [fs.readFileSync('taken.key', 'utf8'), fs.readdirSync('.').sort()];
    const soft = ['one.key', 'two.key'].map((name) => fs.readFileSync(name, 'latin1'));
    plugin.setCustomConfig('tokenValidSeconds', '0');
    const lapsed = [(await plugin.auth()).tokenValidSeconds, ...(await codes(plugin, 'refill', 'createGroup', 'fill', 'report'))];
    return { states, groups, left, soft, lapsed };
  },

  async damagedKeyFile({ plugin }) {
    await openSession(plugin);
    plugin.reFillKeySync('', 1, 32);
    const good = fs.readFileSync('keys.store', 'latin1');
    const out = [];
    for (const damaged of ['hello\n', good.slice(0, -3), good.replace('counters 32', 'counters 99'), `${good}group X 00  \n`]) {
      fs.writeFileSync('keys.store', damaged, 'latin1');
      fs.rmSync('log.txt', { force: true });
      out.push([codeOf(await plugin.getSPMKeyInfo('spm', 'query')), fs.readFileSync('keys.store', 'latin1') === damaged,
        /QCF_GetSPMKeyInfo: key file .* is damaged/.test(fs.readFileSync('log.txt', 'utf8'))]);
    }
    plugin.setKeyFilePath('missing/keys.store');
    return [...out, codeOf(await plugin.init(1, 'user', 'device'))];
  },

  // One of several processes on shared.store; from `startAt`, at once with its siblings.
  // args: [startAt, 'create', count] or [startAt, 'apply', ...groupIds].
  async sharedStore({ plugin, args: [startAt, action, ...rest] }) {
    await openSession(plugin, { keyFile: 'shared.store' });
    if (action === 'create') assert.deepEqual(await codes(plugin, ['reFillKey', '', rest[0], 32]), [0]);
    await new Promise((resolve) => setTimeout(resolve, startAt - Date.now()));
    const groups = [];
    for (let i = 0; i < (action === 'create' ? rest[0] : rest.length); i++) {
      const groupId = action === 'create' ? (await plugin.createGroup('child', 0, 'note')).groupId : rest[i];
      groups.push({ groupId, ...(await plugin.applyKeyWithGroupID(groupId, 'child')) });
    }
    return { groups, info: await plugin.getSPMKeyInfo('spm', 'query') };
  },
};
