// The operating system's file and process interfaces, for the files that
// work on files directly: windows.h without its min/max macros, or POSIX.
#ifndef VARN_QCF_STANDIN_SDK_PLATFORM_H
#define VARN_QCF_STANDIN_SDK_PLATFORM_H

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#endif  // VARN_QCF_STANDIN_SDK_PLATFORM_H
