// Declarations of the key-management SDK, libqcf.
//
// The add-on links against whichever libqcf stands behind these declarations:
// the vendor's library or the stand-in built from qcf_standin/. Everything here
// has C linkage and the platform's default C calling convention; multi-byte
// numbers are little-endian. Record layouts are fixed by the SDK, so each one
// is pinned down with static_asserts below.
#ifndef VARN_QCF_QCF_H
#define VARN_QCF_QCF_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(QCF_BUILDING_LIBRARY)
#define QCF_API __declspec(dllexport)
#else
#define QCF_API __declspec(dllimport)
#endif
#elif defined(QCF_BUILDING_LIBRARY)
#define QCF_API __attribute__((visibility("default")))
#else
#define QCF_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*QCF_LogHandler)(const char *message);
typedef void (*QCF_ExceptionHandler)(int value, const char *message);

typedef struct {
  unsigned char reserved0[64];
  char host[32];
  uint16_t port;
  unsigned char reserved1[14];
} QCF_ServerInfo;

typedef struct {
  uint32_t first;
  char second[64];
  char third[32];
} QCF_UserInfo;

typedef struct {
  unsigned char reserved0[16];
  char pin[9];
  unsigned char reserved1[55];
} QCF_CspInfo;

typedef struct {
  char appName[32];
  uint32_t keyLen;
  char softkeyPath[256];
  char pin1[16];
  uint32_t value1;
  char pin2[16];
  uint32_t value2;
} QCF_FillKeyItem;

typedef struct {
  char firstText[16];
  char secondText[64];
} QCF_SpmKeyQuery;

typedef struct {
  char keyTag[128];
  char keySource[256];
  uint32_t totalKeySize;
  uint32_t usedKeySize;
  uint32_t keyBasePostion;
} QCF_SpmKeyInfo;

QCF_API int QCF_PreActivate(void);
QCF_API int QCF_Custom(const char *key, const char *value);
QCF_API int QCF_SetKeyFilePath(const char *path);
QCF_API int QCF_SetLogHandler(QCF_LogHandler handler);
QCF_API int QCF_SetExceptionHandler(QCF_ExceptionHandler handler);
QCF_API int QCF_Init(QCF_ServerInfo *server, QCF_UserInfo *user,
                     QCF_CspInfo *csp);
QCF_API int QCF_Finish(void);
QCF_API int QCF_Auth(char **token, uint32_t *validSeconds);
QCF_API int QCF_Auth_pubkey_WithInfo(QCF_ServerInfo *server, QCF_UserInfo *user,
                                     char **token, uint32_t *validSeconds);
QCF_API int QCF_FillKey_WithPubkey(const char *serverAddr, uint32_t port,
                                   uint32_t serverType,
                                   const char *userTokenHandle,
                                   QCF_FillKeyItem *item,
                                   uint32_t *overWriteFlag);
QCF_API int QCF_ReFillKey(const char *token, uint32_t second, uint32_t third);
QCF_API int QCF_GetSPMKeyInfo(QCF_SpmKeyQuery *query, QCF_SpmKeyInfo *info);
QCF_API int QCF_CreateGroup(const char *first, uint32_t second, int32_t *cell,
                            const char *third, char groupId[64]);
QCF_API int QCF_ApplyKeyWithGroupID(const char *first, const char *second,
                                    void **keyHandle);
QCF_API int QCF_ExportKey(void *keyHandle, int32_t *keyLen,
                          unsigned char key[256]);
QCF_API int QCF_ReportSPMWithSignPubkey(const char *first, const char *second,
                                        int32_t port);
QCF_API const char *QCF_ErrMessage(int code);
QCF_API const char *QCF_GetSDKVersion(void);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(QCF_ServerInfo) == 112, "QCF_ServerInfo size");
static_assert(offsetof(QCF_ServerInfo, host) == 64, "QCF_ServerInfo.host");
static_assert(offsetof(QCF_ServerInfo, port) == 96, "QCF_ServerInfo.port");
static_assert(offsetof(QCF_ServerInfo, reserved1) == 98,
              "QCF_ServerInfo.reserved1");

static_assert(sizeof(QCF_UserInfo) == 100, "QCF_UserInfo size");
static_assert(offsetof(QCF_UserInfo, first) == 0, "QCF_UserInfo.first");
static_assert(offsetof(QCF_UserInfo, second) == 4, "QCF_UserInfo.second");
static_assert(offsetof(QCF_UserInfo, third) == 68, "QCF_UserInfo.third");

static_assert(sizeof(QCF_CspInfo) == 80, "QCF_CspInfo size");
static_assert(offsetof(QCF_CspInfo, pin) == 16, "QCF_CspInfo.pin");
static_assert(offsetof(QCF_CspInfo, reserved1) == 25, "QCF_CspInfo.reserved1");

static_assert(sizeof(QCF_FillKeyItem) == 332, "QCF_FillKeyItem size");
static_assert(offsetof(QCF_FillKeyItem, keyLen) == 32, "FillKeyItem.keyLen");
static_assert(offsetof(QCF_FillKeyItem, softkeyPath) == 36,
              "FillKeyItem.softkeyPath");
static_assert(offsetof(QCF_FillKeyItem, pin1) == 292, "FillKeyItem.pin1");
static_assert(offsetof(QCF_FillKeyItem, value1) == 308, "FillKeyItem.value1");
static_assert(offsetof(QCF_FillKeyItem, pin2) == 312, "FillKeyItem.pin2");
static_assert(offsetof(QCF_FillKeyItem, value2) == 328, "FillKeyItem.value2");

static_assert(sizeof(QCF_SpmKeyQuery) == 80, "QCF_SpmKeyQuery size");
static_assert(offsetof(QCF_SpmKeyQuery, secondText) == 16,
              "SpmKeyQuery.secondText");

static_assert(sizeof(QCF_SpmKeyInfo) == 396, "QCF_SpmKeyInfo size");
static_assert(offsetof(QCF_SpmKeyInfo, keySource) == 128,
              "SpmKeyInfo.keySource");
static_assert(offsetof(QCF_SpmKeyInfo, totalKeySize) == 384,
              "SpmKeyInfo.totalKeySize");
static_assert(offsetof(QCF_SpmKeyInfo, usedKeySize) == 388,
              "SpmKeyInfo.usedKeySize");
static_assert(offsetof(QCF_SpmKeyInfo, keyBasePostion) == 392,
              "SpmKeyInfo.keyBasePostion");
#endif  // __cplusplus

#endif  // VARN_QCF_QCF_H
