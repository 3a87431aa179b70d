'use strict';
// A simulator session for the tests that need one: pre-activation with a key
// file in the current directory, init and a login, each asserted to answer 0.
// Returns the login's result ({ code, token, tokenValidSeconds, ... }).
const assert = require('node:assert/strict');

async function openSession(plugin, { keyFile = 'keys.store', login = () => plugin.auth() } = {}) {
  assert.equal(plugin.preActivate(keyFile), 0, 'preActivate');
  const init = await plugin.init(1, 'user', 'device');
  assert.equal(init.code, 0, `init: ${init.message}`);
  const result = await login();
  assert.equal(result.code, 0, `login: ${result.message}`);
  return result;
}

module.exports = { openSession };
