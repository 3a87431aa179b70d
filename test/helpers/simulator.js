'use strict';
// A session on the simulator for test code that runs in a child process
// (session_child.js's runChild): the add-on prints console lines, which must
// stay out of the test runner's own process.
//
//   const sim = require(<this file>)(plugin, sdk, dir);
//
// puts the stand-in into simulator mode and gives:
//   keyFile, file(name)    the key file and other files in `dir`
//   codeOf(result)         a number as it is, or an object's code, whose
//                          message must be the simulator's text for it
//   fillParams({item, ...top})  a fillKey parameter object with defaults
//   call(step)             a step: a name of STEPS, or [method, ...arguments]
//                          where '$keyFile' and '$dir/<name>' name files
//   codes(...steps)        the code of each step, one after the other
//   loggedIn()             pre-activated, initialised and logged in
//   restart()              a fresh simulator session (the files stay)
const assert = require('node:assert/strict');
const path = require('node:path');

module.exports = function simulatorSession(plugin, sdk, dir) {
  const keyFile = path.join(dir, 'keys.store');
  const file = (name) => path.join(dir, name);

  function codeOf(result) {
    if (typeof result === 'number') return result;
    if (result.code !== 0) assert.equal(result.message, sdk.errorText(result.code));
    return result.code;
  }

  const fillParams = ({ item = {}, ...top } = {}) => ({
    serverAddr: '127.0.0.1',
    port: 18000,
    serverType: 1,
    userTokenHandle: 'handle',
    overWriteFlag: 0,
    ...top,
    fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: file('soft.key'), ...item },
  });

  const STEPS = {
    preActivate: ['preActivate', '$keyFile'],
    init: ['init', 1, 'user', 'device'],
    login: ['auth_pubkey', 1, 'user', 'device'],
    auth: ['auth'],
    finish: ['finish'],
    fill: ['fillKey', fillParams()],
    refill: ['reFillKeySync', '', 1, 32],
    spmInfo: ['getSPMKeyInfo', 'spm', 'query'],
    createGroup: ['createGroup', 'group', 0, 'note'],
    report: ['reportSPMWithSignPubkey', 'spm', 'public key', 0],
  };

  function resolve(arg) {
    if (arg === '$keyFile') return keyFile;
    if (typeof arg === 'string' && arg.startsWith('$dir/')) return file(arg.slice(5));
    return arg;
  }

  function call(step) {
    const [method, ...args] = typeof step === 'string' ? STEPS[step] : step;
    return plugin[method](...args.map(resolve));
  }

  async function codes(...steps) {
    const out = [];
    for (const step of steps) out.push(codeOf(await call(step)));
    return out;
  }

  async function loggedIn() {
    assert.deepEqual(await codes('preActivate', 'init', 'login'), [0, 0, 0]);
  }

  const restart = () => sdk.reset({ simulate: true });
  restart();
  return { dir, keyFile, file, codeOf, fillParams, call, codes, loggedIn, restart };
};
