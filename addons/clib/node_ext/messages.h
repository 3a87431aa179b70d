// The fixed argument messages of the add-on's methods.
#ifndef VARN_NODE_EXT_MESSAGES_H
#define VARN_NODE_EXT_MESSAGES_H

namespace VarnNode {
namespace msg {

constexpr const char kInstanceNull[] = "The instance is null";
// The catalogue's texts are kept as callers match them, misspellings
// ("obejct", "excepted", "sec", "Postion") included.
constexpr const char kCountLess[] = "The argument count less(obejct expected)!";

constexpr const char kFirstString[] =
    "The first argument is wrong(string expected)!";
constexpr const char kFirstNumber[] =
    "The first argument is wrong(number expected)!";
constexpr const char kFirstFunction[] =
    "The first argument is wrong(function excepted)!";
constexpr const char kSecString[] =
    "The sec argument is wrong(string expected)!";
constexpr const char kSecondString[] =
    "The second argument is wrong(string expected)!";
constexpr const char kSecondNumber[] =
    "The second argument is wrong(number expected)!";
constexpr const char kSecondFunction[] =
    "The second argument is wrong(function expected)!";
constexpr const char kThirdString[] =
    "The third argument is wrong(string expected)!";
constexpr const char kThirdNumber[] =
    "The third argument is wrong(number expected)!";
constexpr const char kFourthString[] =
    "The fourth argument is wrong(string expected)!";
constexpr const char kFifthNumber[] =
    "The fifth argument is wrong(number expected)!";

// A path handed to the SDK would be cut at an embedded NUL.
constexpr const char kFirstPathNul[] =
    "The first argument is wrong(string without NUL expected)!";
constexpr const char kSecPathNul[] =
    "The sec argument is wrong(string without NUL expected)!";
constexpr const char kSoftkeyPathNul[] =
    "Wrong 'fillkeyItem.softkeyPath' property(string without NUL expected)";
// A longer path would be cut to its field and name another file.
constexpr const char kSoftkeyPathTooLong[] =
    "Wrong 'fillkeyItem.softkeyPath' property(at most 255 bytes expected)";

// Texts that do not fit the SDK's fixed fields.
constexpr const char kFirstTooLong15[] =
    "The first argument is too long(at most 15 bytes)!";
constexpr const char kSecondTooLong63[] =
    "The second argument is too long(at most 63 bytes)!";
constexpr const char kThirdTooLong31[] =
    "The third argument is too long(at most 31 bytes)!";
constexpr const char kFourthTooLong31[] =
    "The fourth argument is too long(at most 31 bytes)!";
constexpr const char kExportedKeyTooLong[] =
    "The exported key is too long(at most 256 bytes)!";

// fillKey and fillKeySync.
constexpr const char kExpectedOneArgument[] = "Expected one argument";
constexpr const char kExpectedObject[] =
    "Expected an object as the first argument";
constexpr const char kMissingServerAddr[] = "Missing 'serverAddr' property";
constexpr const char kMissingPort[] = "Missing 'port' property";
constexpr const char kMissingServerType[] = "Missing 'serverType' property";
constexpr const char kMissingUserTokenHandle[] =
    "Missing 'userTokenHandle' property";
constexpr const char kMissingOverWriteFlag[] =
    "Missing 'overWriteFlag' property";
constexpr const char kMissingFillkeyItem[] = "Missing 'fillkeyItem' property";
constexpr const char kMissingAppName[] =
    "Missing 'fillkeyItem.appName' property";
constexpr const char kMissingKeyLen[] = "Missing 'fillkeyItem.keyLen' property";
constexpr const char kMissingSoftkeyPath[] =
    "Missing 'fillkeyItem.softkeyPath' property";

// Module initialisation away from the main thread, or after a first load
// on a worker thread left the dispatcher without its loop.
constexpr const char kNotMainThread[] =
    "VarnKtPlugin can only be loaded on the main thread: it delivers SDK "
    "events through the main event loop, so it cannot be used from a worker "
    "thread";
constexpr const char kDispatcherDetached[] =
    "VarnKtPlugin cannot deliver SDK events: its dispatcher is not attached "
    "to the main event loop (was the module first loaded on a worker "
    "thread?)";

// The SDK thread option (VarnKtPlugin.configure).
constexpr const char kSdkThreadOption[] =
    "The sdkThread option is wrong(boolean expected)!";
constexpr const char kSdkThreadTooLate[] =
    "The sdkThread option can only be changed before the first SDK call";

// Success texts of the result objects.
constexpr const char kSucc[] = "succ";
constexpr const char kInitSuccess[] = "initialization successful";
constexpr const char kFillKeySuccess[] = "Fill key successful";
constexpr const char kReFillKeySuccess[] = "重新填充密钥成功";
constexpr const char kSpmKeyInfoSuccess[] = "Get SPM key info successful";

}  // namespace msg
}  // namespace VarnNode

#endif  // VARN_NODE_EXT_MESSAGES_H
