'use strict';
// setLogCallback. preActivate installs the SDK handlers for good, so each
// case runs a scenario of test/scenarios/log_callback.js in a child.
const test = require('node:test');
const assert = require('node:assert/strict');
const { runValue } = require('../helpers/scenario');

const run = (name, nodeArgs) => runValue('log_callback', name, { nodeArgs });

test('lines logged within an SDK call reach the callback before the call returns; exceptions are only logged', () => {
  assert.deepEqual(run('withinCall'), {
    seen: ['第二行', '', 'QCF_Init: ok'].map((m) => [m, 'undefined', 'QCF_Init']),
    result: { code: 0, message: 'initialization successful' },
    log: ['第二行', '', 'sdk exception', '', 'QCF_Init: ok'],
  });
});

test('finish releases the callback, collecting a bystander does not; the last registration wins; a refused one changes nothing', () => {
  assert.deepEqual(run('registrations', ['--expose-gc']), {
    a: [], b: ['QCF_Auth: ok', 'QCF_Finish: ok'], c: ['QCF_Auth: ok', 'QCF_Auth: ok'], returned: 0,
    log: ['QCF_Auth: ok', 'QCF_Finish: ok', 'QCF_Auth: ok'], kept: true, collected: true,
  });
});

test('lines of SDK threads arrive later through the dispatcher, in order, to the callback registered then', () => {
  assert.deepEqual(run('sdkThreads'), {
    a: ['on the JS thread', 'QCF_Auth: ok'], b: ['t1', 't2', 't3', 'QCF_Finish: ok'], dropped: ['dropped'],
  });
});

test('a callback may call finish, setLogCallback or the SDK; the change counts from the next line', () => {
  assert.deepEqual(run('reentry', ['--expose-gc']), {
    a: ['before', 'switch'], b: ['after', 'QCF_Auth: ok'],
    c: ['one', 'stop', 'QCF_Finish: ok', 'still running'], // finish's own line reaches the running callback
    d: ['nested', 'inner', 'QCF_ReFillKey: ok', 'QCF_Auth: ok'], code: 0,
  });
});
