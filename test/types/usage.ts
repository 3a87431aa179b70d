// Type-checked only (tsc --noEmit -p test/types): every line must compile and
// every expected error must not, so a declaration that loosens or tightens fails.
import {
  ApplyKeyResult, ArgumentRejection, AuthResult, CreateGroupResult, FillKeyParams, InitResult, ResultObject,
  SdkInfo, SpmKeyInfoResult, VarnKtPlugin, configure, Configuration, sdkInfo,
} from '../..';

export async function session(keyFile: string, softkeyPath: string): Promise<string> {
  const options: Configuration = configure({ sdkThread: true });
  const same: boolean = VarnKtPlugin.configure().sdkThread === options.sdkThread;
  const plugin = new VarnKtPlugin();
  const about: SdkInfo = sdkInfo();
  const removed: boolean = plugin.removeEventCallback('onCaptureMessage') || same || about.simulator;
  const params: FillKeyParams = {
    serverAddr: 'keyserver.example', port: 18000, serverType: 1, userTokenHandle: 'token', overWriteFlag: 0,
    fillkeyItem: { appName: 'app', keyLen: 64, softkeyPath },
  };
  const init: InitResult = await plugin.init(1, 'user', 'app', 'keyserver.example', 18000);
  const login: AuthResult = await plugin.auth_pubkey(1, 'user', 'app', 'keyserver.example');
  const again: AuthResult = await plugin.auth();
  const filled: ResultObject = await plugin.fillKey({ ...params, userTokenHandle: login.token });
  const info: SpmKeyInfoResult = await plugin.getSPMKeyInfo('app', 'demo');
  const refilled: ResultObject[] = [await plugin.reFillKey('', 1, 64), plugin.reFillKeySync('', 1, 64)];
  const group: CreateGroupResult = await plugin.createGroup('app', 32, 'group');
  const key: ApplyKeyResult = await plugin.applyKeyWithGroupID(group.groupId, 'app');
  const reported: ResultObject = await plugin.reportSPMWithSignPubkey('spm', 'pubkey', 18000);
  const numbers: number[] = [
    plugin.preActivate(keyFile), plugin.preActivate(keyFile, 'logs', '6'), plugin.setCustomConfig('logLevel', '1'),
    plugin.setKeyFilePath(keyFile), plugin.setLogCallback((line: string) => void line),
    plugin.setEventCallback('onCaptureError', (code: number, message: string) => void [code, message]),
    plugin.setEventCallback('onCaptureMessage', (message: string) => void message),
    // Handler parameters take their types from the event name.
    plugin.setEventCallback('onCaptureError', (code, message) => void (code.toFixed() + message.trim())),
    init.code, again.tokenValidSeconds, filled.code, plugin.fillKeySync(params), info.totalKeySize, info.usedKeySize,
    info.keyBasePostion, ...refilled.map((r) => r.code), key.code, reported.code, plugin.finish(),
  ];
  const texts: string[] = [info.keyTag, info.keySource, key.groupKey, plugin.hello('abc'), about.path, about.addon];
  return `${numbers.join()}${texts.join()}${removed}`;
}

export function misuse(plugin: VarnKtPlugin): void {
  // @ts-expect-error init needs three arguments
  void plugin.init(1, 'user');
  // @ts-expect-error the port is a number
  void plugin.auth_pubkey(1, 'user', 'app', 'host', '18000');
  // @ts-expect-error fillkeyItem is required
  void plugin.fillKey({ serverAddr: 'a', port: 1, serverType: 1, userTokenHandle: 't', overWriteFlag: 0 });
  // @ts-expect-error an onCaptureError handler gets a number first
  plugin.setEventCallback('onCaptureError', (code: string) => void code);
  // @ts-expect-error only the two events are raised
  plugin.setEventCallback('onCaptureMesage', () => undefined);
  // @ts-expect-error sdkThread is a boolean
  configure({ sdkThread: 1 });
  // @ts-expect-error rejections always carry code -1
  void ({ code: 0, message: '' } satisfies ArgumentRejection);
}
