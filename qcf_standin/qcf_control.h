// Test control interface of the stand-in libqcf.
//
// Only the stand-in exports these functions; the add-on never calls them. The
// test-only add-on qcf_control.node (control_addon.cc) binds them to
// JavaScript so that tests can see exactly what reached the SDK and can script
// what the SDK answers.
//
// The stand-in behaves as a small key SDK would, and records every call.
// Calls must come in order (QCF_PreActivate, QCF_Init, a login, key
// operations, QCF_Finish); its key store lives in the key file named by
// QCF_SetKeyFilePath and is shared by every process using that file; filling
// writes soft key files; it refuses what a key SDK refuses, each refusal with
// its own code and QCF_ErrMessage text; it logs each call through the log
// handler as the "logLevel" setting says and raises the exception handler for
// faults of its own (a damaged key file, say).
//
// Scripts override its answers: a scripted code answers in the simulator's
// place (the call then does nothing else, so that a test can inject a
// failure); scripted outputs (tokens, bytes, numbers, null handles) are
// written over what the simulator wrote and stand for success unless a code
// is scripted too; scripted handler calls are made inside the call.
#ifndef VARN_QCF_STANDIN_QCF_CONTROL_H
#define VARN_QCF_STANDIN_QCF_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#include "qcf.h"

#ifdef __cplusplus
extern "C" {
#endif

// Kinds of a recorded call argument.
enum {
  QCFCTL_ARG_NULL = 0,    // a null pointer
  QCFCTL_ARG_TEXT = 1,    // a NUL-terminated text: bytes without the NUL
  QCFCTL_ARG_NUMBER = 2,  // an integer, or the value behind a number pointer
  QCFCTL_ARG_BYTES = 3,   // the bytes of a record as they were on entry
  QCFCTL_ARG_HANDLE = 4   // an opaque pointer (handler, key handle): 0 or 1
};

// Flags of qcfctl_reset.
enum {
  QCFCTL_RESET_DROP_HANDLERS = 1  // uninstall the log and exception handlers
};

// Forgets recorded calls and scripts and the session (stage, settings, key
// file path, login, key handles), turns recording back on and puts the call
// delay back to QCF_STANDIN_DELAY_MS's value (0 without it); the key files
// themselves stay. Handlers stay installed unless `flags` holds
// QCFCTL_RESET_DROP_HANDLERS.
QCF_API void qcfctl_reset(int flags);
// Forgets the recorded calls alone; the session and scripts stay.
QCF_API void qcfctl_clear_calls(void);

// Turns the recording of calls off (0) or back on (non-zero; the state at
// load and after a reset). Benchmarks switch it off so that a long run
// neither grows the record nor pays for keeping it.
QCF_API void qcfctl_set_recording(int enabled);

// A slow SDK: from now on each call that would talk to the key server or
// change the session waits at least `milliseconds` (at most 60000; larger
// values are cut to it; 0: no wait) after it is recorded and its script's
// handler calls are made, before it does its work. Those calls are
// QCF_PreActivate, QCF_Init, QCF_Auth, QCF_Auth_pubkey_WithInfo,
// QCF_FillKey_WithPubkey, QCF_ReFillKey, QCF_GetSPMKeyInfo, QCF_CreateGroup,
// QCF_ApplyKeyWithGroupID, QCF_ExportKey, QCF_ReportSPMWithSignPubkey and
// QCF_Finish, whether scripted or not; the setters and
// text look-ups answer at once. The wait holds no lock, so calls on other
// threads go on meanwhile and concurrent delayed calls wait side by side.
// At load the delay is the environment variable QCF_STANDIN_DELAY_MS (read
// at the first call; decimal digits only, anything else means 0).
QCF_API void qcfctl_set_delay(uint32_t milliseconds);

// Recorded calls, oldest first. Every QCF_ function records itself on entry,
// QCF_ErrMessage and QCF_GetSDKVersion included.
QCF_API size_t qcfctl_call_count(void);
QCF_API const char *qcfctl_call_name(size_t call);
QCF_API size_t qcfctl_call_argc(size_t call);
// Returns the kind; `data`/`size` describe texts and records, `number` holds
// numbers. Pointers stay valid until the next reset.
QCF_API int qcfctl_call_arg(size_t call, size_t arg, const unsigned char **data,
                            size_t *size, double *number);
// Id of the thread that made the call, comparable with qcfctl_thread_id().
QCF_API uint64_t qcfctl_call_thread(size_t call);
QCF_API uint64_t qcfctl_thread_id(void);

// Scripts for the next `times` calls of the function `name` (a QCF_ name);
// times < 0 means every later call. Later scripts queue behind earlier ones.
// A script starts with qcfctl_script_begin and ends with qcfctl_script_end;
// the setters in between fill it.
QCF_API void qcfctl_script_begin(const char *name, int times);
// 1 when `name` is the name of one of the library's QCF_ functions.
QCF_API int qcfctl_is_function(const char *name);
// The name of the library's function number `index` (from 0), or null past
// the last one.
QCF_API const char *qcfctl_function_name(size_t index);
QCF_API void qcfctl_script_code(int code);
// Output texts and bytes: the token of the logins (null for a null token),
// the group id of QCF_CreateGroup and the key bytes of QCF_ExportKey (copied
// as given, no NUL added), the record of QCF_GetSPMKeyInfo, the text of
// QCF_ErrMessage (null for a null text).
QCF_API void qcfctl_script_bytes(const void *data, size_t size, int isNull);
// Output numbers: validity of a login, the length of QCF_ExportKey.
QCF_API void qcfctl_script_number(int64_t value);
// A null key handle from QCF_ApplyKeyWithGroupID.
QCF_API void qcfctl_script_null_handle(void);
// Handler calls made while the scripted call runs: kind 0 = log line,
// 1 = exception (with `value`); on the calling thread, or on a thread of the
// stand-in's own that the call waits for (`ownThread` non-zero).
QCF_API void qcfctl_script_emit(int kind, int value, const char *message,
                                int ownThread);
QCF_API void qcfctl_script_end(void);

// Calls the installed handlers now, from `threads` threads of the stand-in's
// own, `count` times each; returns at once (`wait` zero) or when all are done.
QCF_API void qcfctl_emit_async(int kind, int value, const char *message,
                               int threads, int count, int wait);
// Waits until every thread started by qcfctl_emit_async has finished.
QCF_API void qcfctl_join_threads(void);

// The text QCF_ErrMessage gives for `code` when no script replaces it,
// without recording a call. Valid until the process ends.
QCF_API const char *qcfctl_error_text(int code);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // VARN_QCF_STANDIN_QCF_CONTROL_H
