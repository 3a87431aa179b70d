'use strict';
// Scenarios of test/js/simulator.test.js.
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');

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
const loggedIn = async (plugin, keyFile = 'keys.store') =>
  assert.deepEqual(await codes(plugin, ['preActivate', keyFile], 'init', 'login'), [0, 0, 0]);
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

  async lapsedLogin({ plugin }) {
    await loggedIn(plugin);
    plugin.setCustomConfig('tokenValidSeconds', '0');
    return [(await plugin.auth()).tokenValidSeconds, ...(await codes(plugin, 'refill', 'createGroup', 'fill', 'report'))];
  },

  // args: rows of [fill parameters, code, code scripted in the simulator's place].
  async filling({ plugin, args }) {
    await loggedIn(plugin);
    fs.writeFileSync('taken.key', 'mine');
    fs.mkdirSync('a-directory');
    const refused = [];
    for (const [params, , scripted] of args) {
      if (scripted !== undefined) sdk.script('QCF_FillKey_WithPubkey', { code: scripted, times: 2 });
      refused.push([codeOf(await plugin.fillKey(fillParams(params))), plugin.fillKeySync(fillParams(params))]);
    }
    const left = [fs.readFileSync('taken.key', 'utf8'), fs.readdirSync('.').sort(), (await plugin.getSPMKeyInfo('spm', 'query')).totalKeySize];
    const filled = [];
    plugin.setCustomConfig('keyTemporaryCapacity', '512');
    for (const [softkeyPath, appName, keyLen, overWriteFlag] of [['one.key', 'demo-app', 48, 0], ['two.key', 'my app %', 48, 0], ['one.key', 'demo-app', 300, 1]]) {
      const params = fillParams({ serverAddr: 'kms.example', port: 9000, overWriteFlag, item: { appName, keyLen, softkeyPath } });
      filled.push([codeOf(await plugin.fillKey(params)), fs.readFileSync(softkeyPath).toString('base64')]);
    }
    return { refused, left, filled };
  },

  // args: rows of [method, arguments, code, , the function scripted to answer it]; the state after each.
  async counters({ plugin, args }) {
    await loggedIn(plugin);
    const out = [await spmState(plugin)];
    for (const [method, params, code, , scripted] of args) {
      if (scripted) sdk.script(scripted, { code });
      out.push([codeOf(await plugin[method](...(method === 'fillKey' ? [fillParams(params)] : params))), ...(await spmState(plugin))]);
    }
    return out;
  },

  async groups({ plugin, VarnKtPlugin }) {
    await loggedIn(plugin);
    plugin.reFillKeySync('', 2, 256);
    const [a, b] = [(await plugin.createGroup('group', 0, 'note')).groupId, (await plugin.createGroup('group', 16, 'note')).groupId];
    const other = new VarnKtPlugin();
    const keys = [await plugin.applyKeyWithGroupID(a, 'me'), await other.applyKeyWithGroupID(a, 'other'), await other.applyKeyWithGroupID('me', b)];
    await codes(plugin, ['finish'], 'init', 'login');
    keys.push(await plugin.applyKeyWithGroupID(a, 'me'));
    return { ids: [a, b], keys: keys.map((r) => r.groupKey) };
  },

  async damagedKeyFile({ plugin }) {
    await loggedIn(plugin);
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
    await loggedIn(plugin, 'shared.store');
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
