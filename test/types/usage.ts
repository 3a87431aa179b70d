// A typed session against the package's declarations. Only type-checked
// (tsc --noEmit -p test/types): each line must compile, and each line marked
// as an expected error must not, so a declaration that loosens or tightens
// fails the check.
import {
  ApplyKeyResult,
  ArgumentRejection,
  AuthResult,
  CreateGroupResult,
  FillKeyParams,
  InitResult,
  ResultObject,
  SpmKeyInfoResult,
  VarnKtPlugin,
} from '../..';

export async function session(keyFile: string, softkeyPath: string): Promise<string> {
  const plugin = new VarnKtPlugin();

  const preActivated: number = plugin.preActivate(keyFile);
  plugin.preActivate(keyFile, 'logs');
  plugin.preActivate(keyFile, 'logs', '6');
  const configured: number = plugin.setCustomConfig('logLevel', '1') + plugin.setKeyFilePath(keyFile);

  const logged: number = plugin.setLogCallback((line: string) => void line);
  const registered: number =
    plugin.setEventCallback('onCaptureError', (code: number, message: string) => void [code, message]) +
    plugin.setEventCallback('onCaptureMessage', (message: string) => void message) +
    // Handler parameters take their types from the event name.
    plugin.setEventCallback('onCaptureError', (code, message) => void (code.toFixed() + message.trim()));

  const init: InitResult = await plugin.init(1, 'user', 'app');
  await plugin.init(1, 'user', 'app', 'keyserver.example', 18000);
  const login: AuthResult = await plugin.auth_pubkey(1, 'user', 'app', 'keyserver.example');
  const again: AuthResult = await plugin.auth();
  const token: string = login.token;
  const seconds: number = again.tokenValidSeconds;

  const params: FillKeyParams = {
    serverAddr: 'keyserver.example',
    port: 18000,
    serverType: 1,
    userTokenHandle: token,
    overWriteFlag: 0,
    fillkeyItem: { appName: 'app', keyLen: 64, softkeyPath },
  };
  const filled: ResultObject = await plugin.fillKey(params);
  const filledNow: number = plugin.fillKeySync(params);

  const info: SpmKeyInfoResult = await plugin.getSPMKeyInfo('app', 'demo');
  const counters: number = info.totalKeySize + info.usedKeySize + info.keyBasePostion;
  const tag: string = info.keyTag + info.keySource;

  const refilled: ResultObject = await plugin.reFillKey('', 1, 64);
  const refilledNow: ResultObject = plugin.reFillKeySync('', 1, 64);

  const group: CreateGroupResult = await plugin.createGroup('app', 32, 'group');
  const key: ApplyKeyResult = await plugin.applyKeyWithGroupID(group.groupId, 'app');
  const reported: ResultObject = await plugin.reportSPMWithSignPubkey('spm', 'pubkey', 18000);
  const greeting: string = plugin.hello('abc');
  const finished: number = plugin.finish();

  const rejection: ArgumentRejection = { code: -1, message: 'Expected one argument' };
  const codes: number[] = [
    preActivated, configured, logged, registered, init.code, filled.code, filledNow,
    counters, refilled.code, refilledNow.code, key.code, reported.code, finished,
    seconds, rejection.code,
  ];
  return `${tag}${greeting}${key.groupKey}${codes.join()}`;
}

export function misuse(plugin: VarnKtPlugin): void {
  // @ts-expect-error the key file path is required
  plugin.preActivate();
  // @ts-expect-error the log directory is a string
  plugin.preActivate('keys', 1);
  // @ts-expect-error init needs three arguments
  void plugin.init(1, 'user');
  // @ts-expect-error the port is a number
  void plugin.auth_pubkey(1, 'user', 'app', 'host', '18000');
  // @ts-expect-error fillkeyItem is required
  void plugin.fillKey({ serverAddr: 'a', port: 1, serverType: 1, userTokenHandle: 't', overWriteFlag: 0 });
  // @ts-expect-error the refill values are numbers
  plugin.reFillKeySync('', '1', 64);
  // @ts-expect-error createGroup's second argument is a number
  void plugin.createGroup('app', '32', 'group');
  // @ts-expect-error an onCaptureError handler gets a number first
  plugin.setEventCallback('onCaptureError', (code: string) => void code);
  // @ts-expect-error only the two events are raised
  plugin.setEventCallback('onCaptureMesage', () => undefined);
  // @ts-expect-error the log callback gets a string
  plugin.setLogCallback((line: number) => void line);
  // @ts-expect-error rejections always carry code -1
  const wrong: ArgumentRejection = { code: 0, message: '' };
  void wrong;
}
