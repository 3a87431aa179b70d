'use strict';
// Runs one scenario in this process: node test/scenarios/run.js <module> <name>
// <module> is a file of test/scenarios exporting scenario functions; each is
// called with a context { plugin, VarnKtPlugin, sdk, logLines, report, args }.
// A scenario that returns a value (or a promise of one) has it reported and
// the process ends with 0 at once; one that returns nothing reports for
// itself and lets the process end as it would. The stand-in, the add-on and
// the instance load when a scenario first reads them, so that a scenario may
// load the package its own way (from a worker, from another build).
const fs = require('node:fs');
const path = require('node:path');

function report(value) {
  fs.writeFileSync(process.env.VARN_RESULT_FILE, JSON.stringify(value === undefined ? null : value));
}

// The messages of log.txt, without their time stamps.
function logLines() {
  if (!fs.existsSync('log.txt')) return [];
  return fs.readFileSync('log.txt', 'utf8').split(/\r?\n/).slice(0, -1).map((line) => line.replace(/^[-0-9]{10} [:0-9]{8} - /, ''));
}

const [moduleName, scenarioName] = process.argv.slice(2);
const scenario = require(path.join(__dirname, moduleName))[scenarioName];
if (typeof scenario !== 'function') throw new Error(`no scenario ${scenarioName} in ${moduleName}`);
const args = JSON.parse(process.env.VARN_SCENARIO_ARGS || '[]');
const once = (load) => { let value; return () => (value === undefined ? (value = load()) : value); };
const sdk = once(() => require('../helpers/sdk'));
const VarnKtPlugin = once(() => require(sdk().ROOT).VarnKtPlugin);
const plugin = once(() => new (VarnKtPlugin())());
const context = {
  get plugin() { return plugin(); }, get VarnKtPlugin() { return VarnKtPlugin(); }, get sdk() { return sdk(); }, logLines, report, args,
};
Promise.resolve(scenario(context)).then((value) => {
  if (value === undefined) return;
  report(value);
  process.exit(0);
}, (err) => {
  console.error(err);
  process.exit(1);
});
