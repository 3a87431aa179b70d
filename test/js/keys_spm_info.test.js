'use strict';
// getSPMKeyInfo: the query record, the output record read within its fields,
// and the console line of a failure.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();

beforeEach(() => sdk.reset());

// An output record: texts as given (no NUL added), counters little-endian.
function infoRecord({ keyTag = '', keySource = '', counters = [0, 0, 0] }) {
  const record = Buffer.alloc(396);
  Buffer.from(keyTag).copy(record, 0);
  Buffer.from(keySource).copy(record, 128);
  counters.forEach((value, i) => record.writeUInt32LE(value, 384 + 4 * i));
  return record;
}

// A failure prints a console line, which would corrupt the test runner's
// own channel on stdout, so failures run in a child process. `body` runs with
// `plugin` and `sdk` in scope; returns its standard output and, as JSON, what
// `body` returns.
function inChild(body) {
  const resultFile = path.resolve('child-result.json');
  const script = `
    const sdk = require(${JSON.stringify(require.resolve('../helpers/sdk'))});
    const { VarnKtPlugin } = require(${JSON.stringify(sdk.ROOT)});
    sdk.tempCwd();
    const plugin = new VarnKtPlugin();
    (async () => { ${body} })().then((value) => {
      require('node:fs').writeFileSync(${JSON.stringify(resultFile)}, JSON.stringify(value));
      process.exit(0);
    }, (err) => { console.error(err); process.exit(1); });`;
  const child = spawnSync(process.execPath, ['-e', script], { encoding: 'utf8' });
  assert.equal(child.status, 0, child.stderr);
  return { stdout: child.stdout, value: JSON.parse(fs.readFileSync(resultFile, 'utf8')) };
}

test('argument faults reject before any SDK call', async () => {
  const faults = [
    [['a'], 'The argument count less(obejct expected)!'],
    [[1, 'b'], 'The first argument is wrong(string expected)!'],
    [['a', 2], 'The second argument is wrong(string expected)!'],
    [['f'.repeat(16), 'b'], 'The first argument is too long(at most 15 bytes)!'],
    [['密钥标识六', 'b'.repeat(64)], 'The second argument is too long(at most 63 bytes)!'],
    [['密钥标识六个', 'b'], 'The first argument is too long(at most 15 bytes)!'],
  ];
  for (const [args, message] of faults) {
    await assert.rejects(plugin.getSPMKeyInfo(...args), (err) => {
      assert.deepEqual(err, { code: -1, message });
      return true;
    });
  }
  assert.deepEqual(sdk.calls(), []);
});

test('the query record carries both texts in zeroed fields', async () => {
  for (const [first, second] of [
    ['f'.repeat(15), 's'.repeat(63)],
    ['密钥标识六', '来源'],
    ['', ''],
  ]) {
    sdk.reset();
    await plugin.getSPMKeyInfo(first, second, 'ignored');
    const query = Buffer.alloc(80);
    Buffer.from(first).copy(query, 0);
    Buffer.from(second).copy(query, 16);
    assert.deepEqual(sdk.callsOf('QCF_GetSPMKeyInfo')[0].args, [query, true]);
  }
});

test('a successful call resolves with seven properties in order', async () => {
  const result = await plugin.getSPMKeyInfo('a', 'b');
  assert.deepEqual(Object.entries(result), [
    ...Object.entries(sdk.DEFAULTS.spm),
    ['code', 0],
    ['message', 'Get SPM key info successful'],
  ]);
});

test('output texts are read within their fields, counters as unsigned', async () => {
  const keyTag = 't'.repeat(128); // fills its field, no NUL
  const keySource = 's'.repeat(256);
  sdk.script('QCF_GetSPMKeyInfo', {
    bytes: infoRecord({ keyTag, keySource, counters: [0xffffffff, 0x80000000, 7] }),
  });
  assert.deepEqual(await plugin.getSPMKeyInfo('a', 'b'), {
    keyTag,
    keySource,
    totalKeySize: 4294967295,
    usedKeySize: 2147483648,
    keyBasePostion: 7,
    code: 0,
    message: 'Get SPM key info successful',
  });
});

test('a failure resolves with the code, the SDK text and the record as left, and prints one line', () => {
  const partial = infoRecord({ keyTag: 'partial' }).toString('hex');
  const { stdout, value } = inChild(`
    await plugin.getSPMKeyInfo('a', 'b'); // success prints nothing
    const results = [];
    sdk.script('QCF_GetSPMKeyInfo', { code: -1, bytes: Buffer.from('${partial}', 'hex') });
    sdk.script('QCF_ErrMessage', { text: '模块不存在' });
    results.push(await plugin.getSPMKeyInfo('a', 'b'));
    // The SDK writes nothing and has no text for its code.
    sdk.script('QCF_GetSPMKeyInfo', { code: 0x2a, bytes: Buffer.alloc(0) });
    sdk.script('QCF_ErrMessage', { text: null });
    results.push(await plugin.getSPMKeyInfo('a', 'b'));
    return results;`);
  const empty = { keyTag: '', keySource: '', totalKeySize: 0, usedKeySize: 0, keyBasePostion: 0 };
  assert.deepEqual(value, [
    { ...empty, keyTag: 'partial', code: -1, message: '模块不存在' },
    { ...empty, code: 0x2a, message: '' },
  ]);
  assert.equal(
    stdout,
    '【密钥信息】获取失败，返回：0XFFFFFFFF（模块不存在）\n【密钥信息】获取失败，返回：0X2A（）\n',
  );
});
