'use strict';
// setLogCallback, in one child (preActivate installs the SDK handlers for good).
const test = require('node:test');
const assert = require('node:assert/strict');
const { runValue } = require('../helpers/scenario');

test('setLogCallback: delivery within calls and from SDK threads, registrations, callbacks that throw or call back in', () => {
  assert.deepEqual(runValue('log_callback', 'steps', { nodeArgs: ['--expose-gc'] }), {
    // Lines within a call reach the callback before it returns; exceptions are only logged; events come later.
    withinCall: {
      seen: ['第二行', '', 'QCF_Init: ok'].map((m) => [m, 'QCF_Init']),
      events: [['undefined', '第二行'], ['undefined', ''], ['undefined', -2147483648, '密钥错误 ü'], ['undefined', 8, '']]
        .flatMap((event) => [event, 'reaction']),
      result: { code: 0, message: 'initialization successful' },
      log: ['第二行', '', '密钥错误 ü', '', 'QCF_Init: ok'],
    },
    // finish releases the callback, collecting a bystander does not; the last registration wins.
    registrations: { a: [], b: ['QCF_Auth: ok', 'QCF_Finish: ok'], c: ['QCF_Auth: ok', 'QCF_Auth: ok'], returned: 0,
      log: ['QCF_Auth: ok', 'QCF_Finish: ok', 'QCF_Auth: ok'], kept: true, collected: true },
    // Lines of SDK threads arrive later through the dispatcher, in order, to the callback registered then.
    sdkThreads: { a: ['on the JS thread', 'QCF_Auth: ok'], b: ['t1', 't2', 't3', 'QCF_Finish: ok'], dropped: ['dropped'] },
    // A callback may call finish, setLogCallback or the SDK; the change counts from the next line.
    reentry: { a: ['before', 'switch'], b: ['after', 'QCF_Auth: ok'], c: ['one', 'stop', 'QCF_Finish: ok', 'still running'],
      d: ['nested', 'inner', 'QCF_ReFillKey: ok', 'QCF_Auth: ok'], code: 0 },
  });
});
