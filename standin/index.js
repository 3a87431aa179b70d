'use strict';
// The simulated libqcf as tests see it (require('varnktplugin/standin')):
// what reached the SDK, and what it answers next. Loads the control add-on
// qcf_control.node from beside the VarnKtPlugin add-on the package loads, so
// that both share the one libqcf. Loading this module changes nothing in the
// SDK.
//
// The simulator behaves as a small key SDK (qcf_standin/qcf_control.h tells
// it in full): order of use, a key store in the key file shared between
// processes, soft key files, refusals with their own CODES, log lines gated
// by the "logLevel" setting. Scripts override its answers. Every call is
// recorded.
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

const { addonLocation } = require('../lib/load');

const CONTROL_PATH = path.join(path.dirname(addonLocation().file), 'qcf_control.node');

function loadControl() {
  if (!fs.existsSync(CONTROL_PATH)) {
    throw new Error(
      `${CONTROL_PATH} is missing: the simulator's control add-on is built with the ` +
        'simulator only, never when QCF_SDK_DIR names a vendor SDK',
    );
  }
  return require(CONTROL_PATH);
}

const control = loadControl();

// The stand-in's own failure codes.
const CODES = Object.freeze({
  INVALID_ARGUMENT: 0x0a000001, // a required pointer is null, a text empty
  NOT_LOGGED_IN: 0x0a000002, // a key operation before a login; a null token
  TOKEN_INVALID: 0x0a000003, // a token other than the current login's
  UNKNOWN_GROUP: 0x0a000004, // QCF_ApplyKeyWithGroupID: neither text names a group
  INVALID_KEY_HANDLE: 0x0a000005, // QCF_ExportKey: null or unknown handle
  NOT_ACTIVATED: 0x0a000010, // QCF_Init before QCF_PreActivate
  NOT_INITIALISED: 0x0a000011, // a login, QCF_GetSPMKeyInfo or QCF_Finish before QCF_Init
  TOKEN_EXPIRED: 0x0a000012, // the login outlived "tokenValidSeconds"
  BAD_SERVER: 0x0a000013, // empty host name or port 0
  WRONG_PIN: 0x0a000014, // a PIN other than 40615237
  NO_KEY_FILE: 0x0a000020, // no key file path, or an empty one
  KEY_STORE_UNREADABLE: 0x0a000021, // the key file is damaged or unreadable
  KEY_STORE_UNWRITABLE: 0x0a000022,
  KEY_STORE_BUSY: 0x0a000023, // the key file stayed locked for 10 s
  SPM_EXHAUSTED: 0x0a000024, // a group key needs more unused key material
  SPM_FULL: 0x0a000025, // a counter would pass 2^32 - 1
  SOFT_KEY_EXISTS: 0x0a000030, // the soft key file exists, overwrite flag 0
  SOFT_KEY_DIR_MISSING: 0x0a000031,
  SOFT_KEY_PATH_INVALID: 0x0a000032, // empty, or a directory
  KEY_LEN_ZERO: 0x0a000033,
  KEY_LEN_TOO_LARGE: 0x0a000034, // above "keyTemporaryCapacity"
  SOFT_KEY_WRITE_FAILED: 0x0a000035,
  RANDOM_FAILED: 0x0a000036,
  REFILL_AMOUNT_INVALID: 0x0a000037, // 1 to 1024 keys of at least 1 byte
  INTERNAL_ERROR: 0x0a0000ff,
});

// Forgets recorded calls, scripts and the SDK's session (stage, settings,
// key file path, login, key handles; key files stay). Options:
//   dropHandlers  true: uninstall the SDK's log and exception handlers
// A boolean stands for { dropHandlers }.
function reset(options = {}) {
  const { dropHandlers = false } = typeof options === 'boolean' ? { dropHandlers: options } : options;
  control.reset({ dropHandlers: Boolean(dropHandlers) });
}

// Queues a scripted answer for the next `times` calls of `name` (default 1,
// negative: every later call):
//   code        answers in the simulator's place: the call does nothing
//               else; without it, scripted outputs mean 0 and a script
//               without outputs keeps the simulator's code
// Scripted outputs are written over the simulator's (never past a buffer,
// and never when an output pointer is null):
//   bytes | token | text   output bytes (string as UTF-8, Buffer, or null):
//               the login token (null: *token = NULL; the session takes a
//               scripted one as its own), the group id, the key
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

// A slow SDK: from now on QCF_PreActivate, QCF_Init, the logins, the key
// operations and QCF_Finish each take at least `ms` milliseconds (at most
// 60000; 0: none); the setters and text look-ups answer at
// once. The calls are recorded and scripted as ever. reset() returns to the
// value of the environment variable QCF_STANDIN_DELAY_MS (0 without it).
function setDelay(ms) {
  control.setDelay(ms);
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

// Names of the recorded calls in order.
function names() {
  return calls().map((call) => call.name);
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
  CODES,
  reset,
  script,
  emitAsync,
  setDelay,
  joinThreads: () => control.joinThreads(),
  threadId: () => control.threadId(),
  // Forgets the recorded calls alone: the session and scripts stay.
  clearCalls: () => control.clearCalls(),
  calls,
  callsRaw,
  callsOf,
  names,
  errorText,
  tempCwd,
};
