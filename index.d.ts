// Type declarations of the VarnKtPlugin add-on.
//
// Conventions shared by every method:
// - A synchronous method throws an `Error` for a wrong argument (`fillKeySync`
//   throws a `TypeError`). The messages are fixed English texts.
// - A method that returns a promise never throws for a wrong argument: it
//   returns a promise already rejected with an {@link ArgumentRejection}
//   (a plain object, not an `Error`). Once the call has reached the SDK the
//   promise always resolves, also when the SDK fails: the result's `code` is
//   then not 0 and its `message` is the SDK's own text for that code.
// - Every method except `setLogCallback` throws "The instance is null" when it
//   is called on an object that is not a constructed VarnKtPlugin.
// - Numbers are read as unsigned 32-bit integers (fractions dropped, -1 reads
//   as 4294967295); SDK codes come back as signed 32-bit integers.

/** The value of every promise rejected for a wrong argument. */
export interface ArgumentRejection {
  code: -1;
  /** The fixed argument message, for example "The argument count less(obejct expected)!". */
  message: string;
}

/** `code` 0 and the operation's success text, or the SDK's code and its text. */
export interface ResultObject {
  /** The SDK's return code, signed 32-bit; 0 on success. */
  code: number;
  /** The success text when `code` is 0, else the SDK's text for `code`. */
  message: string;
}

/** Resolved by `init`; `message` is "initialization successful" on success. */
export type InitResult = ResultObject;
/** Resolved by `fillKey`; `message` is "Fill key successful" on success. */
export type FillKeyResult = ResultObject;
/** Resolved by `reFillKey`, returned by `reFillKeySync`; `message` is "重新填充密钥成功" on success. */
export type ReFillKeyResult = ResultObject;
/** Resolved by `reportSPMWithSignPubkey`; `message` is "succ" on success. */
export type ReportResult = ResultObject;

/** Resolved by `auth` and `auth_pubkey`; `message` is "succ" on success. */
export interface AuthResult {
  /** The login token; "" when the login failed (or the SDK gave no token). */
  token: string;
  /** The token's lifetime in seconds; 0 when the login failed. */
  tokenValidSeconds: number;
  code: number;
  message: string;
}

/** The fill-key item: which key to fill into which soft key. */
export interface FillKeyItem {
  /** Application name; at most 31 bytes reach the SDK (longer is cut). */
  appName: string;
  /** Number of key bytes to fill. */
  keyLen: number;
  /**
   * Path of the soft key file; converted to the ANSI code page, at most 255
   * bytes of it reach the SDK. A path containing a NUL character is refused.
   */
  softkeyPath: string;
}

/**
 * The one argument of `fillKey` and `fillKeySync`. Property values are
 * coerced as JavaScript does (`String(value)`, `Number(value)`).
 */
export interface FillKeyParams {
  /** Key server address. */
  serverAddr: string;
  /** Key server port. */
  port: number;
  /** Key server type, passed to the SDK unchanged. */
  serverType: number;
  /** The caller's user token handle, for example the `token` of a login. */
  userTokenHandle: string;
  /** 0: an existing soft key file is not overwritten. */
  overWriteFlag: number;
  fillkeyItem: FillKeyItem;
}

/** Resolved by `getSPMKeyInfo`, with its properties in this order. */
export interface SpmKeyInfoResult {
  keyTag: string;
  keySource: string;
  totalKeySize: number;
  usedKeySize: number;
  /** Spelled as the SDK spells it. */
  keyBasePostion: number;
  code: number;
  /** "Get SPM key info successful" on success, else the SDK's text. */
  message: string;
}

/** Resolved by `createGroup`; `message` is "succ" on success. */
export interface CreateGroupResult {
  code: number;
  message: string;
  /** The id of the new group; "" when the SDK gave none. */
  groupId: string;
}

/** Resolved by `applyKeyWithGroupID`; `message` is "succ" on success. */
export interface ApplyKeyResult {
  code: number;
  message: string;
  /** The group's key as upper-case hexadecimal, two digits per byte; "" unless `code` is 0. */
  groupKey: string;
}

/** Receives each SDK log line. */
export type LogCallback = (line: string) => void;
/** Handler of the "onCaptureError" event: an SDK exception. */
export type CaptureErrorHandler = (code: number, message: string) => void;
/** Handler of the "onCaptureMessage" event: an SDK log line. */
export type CaptureMessageHandler = (message: string) => void;
/** The event names the add-on raises. */
export type EventName = 'onCaptureError' | 'onCaptureMessage';

/**
 * The key SDK for JavaScript. Every instance shares the one SDK of the
 * process, its login and its log callback; each instance has its own event
 * handlers.
 */
export declare class VarnKtPlugin {
  /** Arguments are ignored. */
  constructor();

  /**
   * Installs the SDK's log and exception handlers, gives the SDK its start-up
   * settings and defaults, pre-activates it and sets the key file path.
   * Prints "【预激活】成功！" or "【预激活】执行失败：0X…(text)"; with `logDir`
   * also "cc_logPath: <logDir>".
   * @param keyFilePath the SDK's key file
   * @param logDir the SDK's log directory; without it the SDK's user data directory is "log/"
   * @param ukeyType the USB key type, "6" by default; a non-string is ignored
   * @returns the SDK's pre-activation code, 0 on success
   */
  preActivate(keyFilePath: string, logDir?: string, ukeyType?: string): number;

  /**
   * Reports the security module with a signing public key. The SDK always
   * receives 18000 as the third value. Prints "【签名公钥上报】上报成功" or
   * "【签名公钥上报】上报失败：返回<code><text>".
   * @param port must be a number; its value is not used
   */
  reportSPMWithSignPubkey(first: string, second: string, port: number): Promise<ReportResult>;

  /** Sets the SDK's key file path; returns the SDK's code. */
  setKeyFilePath(keyFilePath: string): number;

  /** Hands one setting to the SDK unchanged; returns the SDK's code. */
  setCustomConfig(key: string, value: string): number;

  /**
   * Initialises the SDK for a key server.
   * @param first a user number
   * @param second a user text; only its first 63 bytes reach the SDK
   * @param third a user text of at most 31 bytes
   * @param host the key server's host name, at most 31 bytes; "keyserver.varnkt.local" by default
   * @param port the key server's port (its low 16 bits); 18000 by default
   */
  init(first: number, second: string, third: string, host?: string, port?: number): Promise<InitResult>;

  /**
   * Logs in to the key server with these values (the same as `init` takes)
   * and keeps the token for `reFillKey`. Prints
   * "【认证】入网测试失败，返回：0X…（text）" when the login fails.
   */
  auth_pubkey(first: number, second: string, third: string, host?: string, port?: number): Promise<AuthResult>;

  /** Logs in with what `init` gave the SDK and keeps the token. */
  auth(): Promise<AuthResult>;

  /** Fills keys into a soft key. */
  fillKey(params: FillKeyParams): Promise<FillKeyResult>;

  /**
   * `fillKey` on the spot. Only `serverAddr` is checked for presence; a
   * missing property reads as "undefined" or 0.
   * @returns the SDK's code
   */
  fillKeySync(params: FillKeyParams): number;

  /**
   * Shuts the SDK down, forgets the login token and removes the log callback.
   * @returns the SDK's code
   */
  finish(): number;

  /**
   * The security module's key tag, key source and counters. Prints
   * "【密钥信息】获取失败，返回：0X…（text）" when the SDK fails.
   * @param first at most 15 bytes
   * @param second at most 63 bytes
   */
  getSPMKeyInfo(first: string, second: string): Promise<SpmKeyInfoResult>;

  /**
   * Refills keys with the token of the last login (not with `token`).
   * @param token must be a string; its value is not used
   */
  reFillKey(token: string, second: number, third: number): Promise<ReFillKeyResult>;

  /** `reFillKey` on the spot. */
  reFillKeySync(token: string, second: number, third: number): ReFillKeyResult;

  /** Creates a key group and resolves with its id. */
  createGroup(first: string, second: number, third: string): Promise<CreateGroupResult>;

  /**
   * Fetches the key of a group as hexadecimal text. A key longer than 256
   * bytes resolves with code -1, "The exported key is too long(at most 256 bytes)!".
   */
  applyKeyWithGroupID(groupId: string, second: string): Promise<ApplyKeyResult>;

  /** Returns `text` followed by " world". */
  hello(text: string): string;

  /**
   * Registers the one process-wide receiver of the SDK's log lines, replacing
   * the one before; `finish` removes it, and so does the collection of the
   * instance it was registered on. Lines the SDK logs during a call on the
   * JavaScript thread reach it when that call returns, before the method
   * does; lines from other threads (the SDK thread among them) on a later
   * turn of the event loop.
   * @returns 0
   */
  setLogCallback(callback: LogCallback): number;

  /**
   * Registers this instance's handler for an event, replacing the one before.
   * Handlers are called on a later turn of the event loop.
   * @returns 12
   */
  setEventCallback(name: 'onCaptureError', handler: CaptureErrorHandler): number;
  setEventCallback(name: 'onCaptureMessage', handler: CaptureMessageHandler): number;

  /**
   * Removes this instance's handler for an event; given `handler`, only if it
   * is the one registered. An instance that holds no handler can be
   * collected again.
   * @returns true when a handler was removed
   */
  removeEventCallback(name: EventName | string, handler?: (...args: never[]) => void): boolean;

  /**
   * Reads and sets the add-on's process-wide options; see {@link configure}.
   */
  static configure(options?: ConfigureOptions): Configuration;
}

/** Options of {@link configure}; an option left out keeps its value. */
export interface ConfigureOptions {
  /**
   * true: every SDK call runs on one SDK thread of the add-on's own, one at a
   * time in call order, so that a slow key server never stalls the event
   * loop; false (the default): SDK calls run on the JavaScript thread. Can
   * only be changed before the first SDK call (any method but `hello`,
   * `setLogCallback`, `setEventCallback` and `removeEventCallback`). Also set
   * by the environment variable VARN_SDK_THREAD=1 when the package loads.
   */
  sdkThread?: boolean;
}

/** The add-on's process-wide options in force. */
export interface Configuration {
  sdkThread: boolean;
}

/**
 * Sets the options given and returns all of them; without options it only
 * reads them. Throws a TypeError for an option of the wrong type, and an
 * Error when `sdkThread` would change after the first SDK call.
 */
export declare function configure(options?: ConfigureOptions): Configuration;

/** Which libqcf the loaded add-on uses; see `sdkInfo()`. */
export interface SdkInfo {
  /** True when the loaded libqcf is the package's simulator. */
  simulator: boolean;
  /** The loaded libqcf file. */
  path: string;
  /** The VarnKtPlugin add-on file the package loaded. */
  addon: string;
}

/**
 * Reports the libqcf in use, read from the process's loaded libraries and the
 * library file; nothing in the SDK is called. Throws when no libqcf is loaded.
 */
export function sdkInfo(): SdkInfo;
