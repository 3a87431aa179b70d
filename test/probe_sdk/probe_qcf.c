/* A second libqcf built from the same declarations: it answers 0 to every
 * call and appends the name of each call it receives to the file named by
 * PROBE_QCF_LOG. Tests put it in place of the stand-in with LD_PRELOAD to
 * show that the add-on works with any libqcf. */
#include <stdio.h>
#include <stdlib.h>

#include "qcf.h"

static void note(const char *name) {
  const char *path = getenv("PROBE_QCF_LOG");
  FILE *file;
  if (path == NULL) return;
  file = fopen(path, "a");
  if (file == NULL) return;
  fprintf(file, "%s\n", name);
  fclose(file);
}

static char probeToken[] = "probe-token";

/* One stub per line, read as a table. */
/* clang-format off */

int QCF_PreActivate(void) { note("QCF_PreActivate"); return 0; }
int QCF_Custom(const char *k, const char *v) { (void)k; (void)v; note("QCF_Custom"); return 0; }
int QCF_SetKeyFilePath(const char *p) { (void)p; note("QCF_SetKeyFilePath"); return 0; }
int QCF_SetLogHandler(QCF_LogHandler h) { (void)h; note("QCF_SetLogHandler"); return 0; }
int QCF_SetExceptionHandler(QCF_ExceptionHandler h) { (void)h; note("QCF_SetExceptionHandler"); return 0; }
int QCF_Init(QCF_ServerInfo *s, QCF_UserInfo *u, QCF_CspInfo *c) { (void)s; (void)u; (void)c; note("QCF_Init"); return 0; }
int QCF_Finish(void) { note("QCF_Finish"); return 0; }
int QCF_Auth(char **t, uint32_t *v) { note("QCF_Auth"); if (t) *t = probeToken; if (v) *v = 60; return 0; }
int QCF_Auth_pubkey_WithInfo(QCF_ServerInfo *s, QCF_UserInfo *u, char **t, uint32_t *v) {
  (void)s; (void)u; note("QCF_Auth_pubkey_WithInfo"); if (t) *t = probeToken; if (v) *v = 60; return 0;
}
int QCF_FillKey_WithPubkey(const char *a, uint32_t p, uint32_t t, const char *h, QCF_FillKeyItem *i, uint32_t *f) {
  (void)a; (void)p; (void)t; (void)h; (void)i; (void)f; note("QCF_FillKey_WithPubkey"); return 0;
}
int QCF_ReFillKey(const char *t, uint32_t a, uint32_t b) { (void)t; (void)a; (void)b; note("QCF_ReFillKey"); return 0; }
int QCF_GetSPMKeyInfo(QCF_SpmKeyQuery *q, QCF_SpmKeyInfo *i) { (void)q; (void)i; note("QCF_GetSPMKeyInfo"); return 0; }
int QCF_CreateGroup(const char *a, uint32_t b, int32_t *c, const char *d, char g[64]) {
  (void)a; (void)b; (void)c; (void)d; note("QCF_CreateGroup"); if (g) g[0] = 'p'; return 0;
}
int QCF_ApplyKeyWithGroupID(const char *a, const char *b, void **h) { (void)a; (void)b; note("QCF_ApplyKeyWithGroupID"); if (h) *h = probeToken; return 0; }
int QCF_ExportKey(void *h, int32_t *l, unsigned char k[256]) { (void)h; note("QCF_ExportKey"); if (l) *l = 1; if (k) k[0] = 0xAB; return 0; }
int QCF_ReportSPMWithSignPubkey(const char *a, const char *b, int32_t p) { (void)a; (void)b; (void)p; note("QCF_ReportSPMWithSignPubkey"); return 0; }
const char *QCF_ErrMessage(int code) { (void)code; note("QCF_ErrMessage"); return "probe error"; }
const char *QCF_GetSDKVersion(void) { note("QCF_GetSDKVersion"); return "probe"; }
