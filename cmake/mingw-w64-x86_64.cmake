# Cross-compiles for 64-bit Windows with MinGW-w64 from Linux:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
#
# The -posix flavour of the compilers is required: its libstdc++ has
# std::thread and std::mutex (on winpthreads); the -win32 flavour lacks them.
# The GCC runtime (libgcc, libstdc++, winpthread) is linked statically, so the
# built DLLs and add-ons need nothing beside them but system DLLs and node.exe.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARN_MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${VARN_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VARN_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VARN_MINGW_TRIPLE}-windres)
find_program(CMAKE_DLLTOOL NAMES ${VARN_MINGW_TRIPLE}-dlltool REQUIRED)

# Headers and libraries come from the MinGW sysroot only; programs from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VARN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static makes the linker take libwinpthread.a instead of its DLL; the
# system DLLs are still linked through their import libraries.
set(VARN_MINGW_STATIC_RUNTIME "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${VARN_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${VARN_MINGW_STATIC_RUNTIME}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${VARN_MINGW_STATIC_RUNTIME}")
