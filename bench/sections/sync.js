'use strict';
// Synchronous methods against raw Node-API methods making the same SDK call
// and building the same result.
const { perCallSync, alternate } = require('../lib/measure');
const { loadAddons, figure, run } = require('../lib/child');

// Many short turns, so that a passing load on the machine falls on both sides.
const REPS = 15;

const FILL_PARAMS = {
  serverAddr: '192.0.2.10',
  port: 18000,
  serverType: 1,
  userTokenHandle: 'user-token-handle',
  overWriteFlag: 1,
  fillkeyItem: { appName: 'bench-app', keyLen: 32, softkeyPath: 'softkeys/bench.key' },
};

run(async () => {
  const { VarnKtPlugin, baselines } = loadAddons();
  const plugin = new VarnKtPlugin();
  // reFillKeySync then answers with a success, on both sides.
  await plugin.auth();
  baselines.login();

  const cases = [
    { method: 'hello', count: 50000, args: ['bench'] },
    { method: 'setCustomConfig', count: 50000, args: ['bench.key', 'bench-value'] },
    { method: 'reFillKeySync', count: 20000, args: ['bench', 1, 2] },
    { method: 'fillKeySync', count: 5000, args: [FILL_PARAMS] },
  ];
  const figures = [];
  for (const { method, count, args } of cases) {
    const onAddon = () => plugin[method](...args);
    const onBaseline = () => baselines[method](...args);
    // Both sides compiled by the JIT before timing starts.
    perCallSync(onAddon, count / 10);
    perCallSync(onBaseline, count / 10);
    const samples = await alternate(
      {
        addon: async () => perCallSync(onAddon, count),
        baseline: async () => perCallSync(onBaseline, count),
      },
      REPS,
    );
    figures.push(
      figure(
        {
          id: `sync.${method}`,
          label: `${method}: time per call`,
          unit: 'ns',
          baselineName: 'raw Node-API method',
          target: { max: 1.5 },
        },
        samples.addon,
        samples.baseline,
      ),
    );
  }
  return figures;
});
