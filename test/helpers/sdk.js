'use strict';
// The stand-in libqcf as tests see it: what reached the SDK, and what it
// answers next. Loads the test-only add-on qcf_control.node, which shares the
// one libqcf with VarnKtPlugin.node.
//
// Recorded arguments per call (calls(); callsRaw() gives texts as Buffers):
//   text -> string, record -> Buffer (all its bytes on entry), number ->
//   number, null pointer -> null, handler / out-pointer / key handle ->
//   boolean (true: not null). In detail:
//   QCF_Custom [key, value]            QCF_SetKeyFilePath [path]
//   QCF_SetLogHandler [handler]        QCF_SetExceptionHandler [handler]
//   QCF_Init [server 112, user 100, csp 80]
//   QCF_Auth [token out, validSeconds out]
//   QCF_Auth_pubkey_WithInfo [server 112, user 100, token out, valid out]
//   QCF_FillKey_WithPubkey [serverAddr, port, serverType, userTokenHandle,
//                           item 332, overWriteFlag value]
//   QCF_ReFillKey [token, second, third]
//   QCF_GetSPMKeyInfo [query 80, info out]
//   QCF_CreateGroup [first, second, cell value, third, groupId 64 on entry]
//   QCF_ApplyKeyWithGroupID [first, second, keyHandle out]
//   QCF_ExportKey [keyHandle, keyLen out, key out]
//   QCF_ReportSPMWithSignPubkey [first, second, port]
//   QCF_ErrMessage [code]   QCF_PreActivate, QCF_Finish, QCF_GetSDKVersion []
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const ROOT = path.resolve(__dirname, '..', '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');
const CONTROL_PATH = path.join(BUILD_DIR, 'Release', 'qcf_control.node');

function loadControl() {
  if (!fs.existsSync(CONTROL_PATH)) {
    throw new Error(
      `${CONTROL_PATH} is missing: build the stand-in SDK first ("npm run build"; ` +
        'it is not built when QCF_SDK_DIR names a vendor SDK)',
    );
  }
  return require(CONTROL_PATH);
}

const control = loadControl();

// What the stand-in answers when nothing is scripted.
const DEFAULTS = Object.freeze({
  token: 'standin-token-0001', // first login after reset(); each QCF_Finish
  // that ends a login moves on to the next number
  validSeconds: 3600,
  groupIdPrefix: 'standin-group-', // followed by 0001, 0002, ... after reset()
  keyLength: 32,
  spm: Object.freeze({
    keyTag: 'standin-spm-0001',
    keySource: 'standin in-memory key store',
    totalKeySize: 1048576,
    usedKeySize: 65536,
    keyBasePostion: 4096,
  }),
  version: 'libqcf stand-in 1.0.0',
});

// The stand-in's own failure codes.
const CODES = Object.freeze({
  INVALID_ARGUMENT: 0x0a000001, // a required pointer or text is null
  NOT_LOGGED_IN: 0x0a000002, // QCF_ReFillKey with a null token
  TOKEN_INVALID: 0x0a000003, // a token other than the current login's
  UNKNOWN_GROUP: 0x0a000004, // QCF_ApplyKeyWithGroupID: neither text names a group
  INVALID_KEY_HANDLE: 0x0a000005, // QCF_ExportKey: null or unknown handle
  INTERNAL_ERROR: 0x0a0000ff,
});

// Forgets recorded calls, scripts and the SDK's state (login, groups, keys).
// The installed handlers stay unless dropHandlers is true.
function reset(dropHandlers = false) {
  control.reset(Boolean(dropHandlers));
}

// Queues a scripted answer for the next `times` calls of `name` (default 1,
// negative: every later call):
//   code        return code; without it, scripted outputs mean 0 and a
//               script without outputs keeps the default code
//   bytes | token | text   output bytes (string as UTF-8, Buffer, or null):
//               the login token (null: *token = NULL), the group id, the key
//               bytes (at most 256 written), the raw SPM record (at most 396),
//               the QCF_ErrMessage / QCF_GetSDKVersion text (null: NULL)
//   number      login validity, or the key length QCF_ExportKey reports
//   nullHandle  QCF_ApplyKeyWithGroupID hands out a null key handle
//   emit        [{kind: 'log' | 'exception', value, message, ownThread}],
//               handler calls made inside the call, in order; ownThread runs
//               each on a thread of the stand-in's own that the call joins
function script(name, options = {}) {
  control.script(name, options);
}

// Calls the installed handler from `threads` threads of the stand-in's own,
// `count` times each. Returns at once unless `wait`; joinThreads() waits.
function emitAsync({
  kind = 'log',
  value = 0,
  message = '',
  threads = 1,
  count = 1,
  wait = false,
} = {}) {
  control.emitAsync({ kind, value, message, threads, count, wait });
}

function calls() {
  return control.calls();
}

function callsRaw() {
  return control.callsRaw();
}

function callsOf(name) {
  return calls().filter((call) => call.name === name);
}

// Names of the recorded calls in order; skipErrMessage leaves out the
// QCF_ErrMessage calls made while results are built.
function names({ skipErrMessage = false } = {}) {
  return calls()
    .map((call) => call.name)
    .filter((name) => !skipErrMessage || name !== 'QCF_ErrMessage');
}

// The text QCF_ErrMessage gives for `code` when nothing is scripted.
function errorText(code) {
  return control.errorText(code);
}

const tempDirs = [];
const startCwd = process.cwd();
process.on('exit', () => {
  try {
    // Windows cannot remove the current directory.
    process.chdir(startCwd);
    for (const dir of tempDirs) fs.rmSync(dir, { recursive: true, force: true });
  } catch {
    // Leftovers in the temporary directory are harmless.
  }
});

// Makes a fresh temporary directory the current one, so that log.txt lands
// there and never in the repository. Removed when the process exits.
function tempCwd() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-test-'));
  tempDirs.push(dir);
  process.chdir(dir);
  return dir;
}

module.exports = {
  ROOT,
  BUILD_DIR,
  DEFAULTS,
  CODES,
  reset,
  script,
  emitAsync,
  joinThreads: () => control.joinThreads(),
  threadId: () => control.threadId(),
  calls,
  callsRaw,
  callsOf,
  names,
  errorText,
  tempCwd,
  // The QCF_ functions called straight from JavaScript, for tests of the
  // stand-in itself (see qcf_standin/control_direct.cc), with capturing
  // handlers: direct.QCF_SetLogHandler(true), then direct.handled().
  direct: control.direct,
};
