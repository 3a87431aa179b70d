'use strict';
// Scenarios of the session and settings tests that need their own process
// for console lines, environment or preloaded libraries.
const hex = (sdk, name) => sdk.callsRaw().filter((c) => c.name === name).map((c) => c.args.map((a) => a.toString('hex')));

module.exports = {
  // args: [[arguments, { code, text }], ...]; each case from a reset SDK.
  preActivate({ plugin, sdk, args }) {
    return args.map(([callArgs, { code, text }]) => {
      sdk.reset();
      if (code) sdk.script('QCF_PreActivate', { code });
      if (text === null) sdk.script('QCF_ErrMessage', { text });
      return { code: plugin.preActivate(...callArgs), calls: sdk.calls().map((call) => [call.name, call.args]) };
    });
  },

  preActivateAnsi({ plugin, sdk }) {
    plugin.preActivate('密钥.key', '日志', '类型');
    return { settings: hex(sdk, 'QCF_Custom').slice(0, 2), path: hex(sdk, 'QCF_SetKeyFilePath')[0][0] };
  },

  // args: [[login script, QCF_ErrMessage script], ...] for auth, then for
  // auth_pubkey; then failing inits (the second without an SDK text) and
  // finish, which print nothing.
  async logins({ plugin, sdk, args }) {
    plugin.preActivate('k.key');
    await plugin.init(1, 'u', 'd');
    const results = [];
    for (const [method, name, callArgs] of /** @type {const} */ ([['auth', 'QCF_Auth', []], ['auth_pubkey', 'QCF_Auth_pubkey_WithInfo', [1, 'u', 'd']]])) {
      for (const [login, text] of args) {
        if (login) sdk.script(name, login);
        if (text) sdk.script('QCF_ErrMessage', text);
        results.push(await plugin[method](...callArgs));
      }
    }
    ['QCF_Init', 'QCF_Finish', 'QCF_Init'].forEach((name) => sdk.script(name, { code: -3 }));
    results.push(await plugin.init(1, 'u', 'd'), plugin.finish());
    sdk.script('QCF_ErrMessage', { text: null });
    return [...results, await plugin.init(1, 'u', 'd')];
  },

  // With fail_thread_start preloaded: no thread can be started.
  async noWorkerThread({ plugin, sdk }) {
    plugin.preActivate('k.key');
    const outcomes = [];
    for (const [method, callArgs] of /** @type {const} */ ([['init', [1, 'u', 'd']], ['auth', []], ['auth_pubkey', [1, 'u', 'd']]])) {
      sdk.clearCalls();
      process.env.VARN_FAIL_THREAD_START = '1';
      const promise = plugin[method](...callArgs);
      delete process.env.VARN_FAIL_THREAD_START;
      outcomes.push({ method, callsAtReturn: sdk.calls().length, code: (await promise).code });
    }
    return outcomes;
  },

  keyFilePathZone: ({ plugin }) => plugin.setKeyFilePath('zone.key'), // log.txt holds what it logged
};
