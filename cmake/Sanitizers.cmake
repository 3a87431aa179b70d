# VARN_SANITIZE instruments every target of the tree (the add-on, the
# stand-in, the control add-on and the C++ tests) with the named sanitizers:
# "address,undefined" or "thread". Node itself is not instrumented, so the
# JavaScript side runs with the sanitizer runtime preloaded
# (scripts/test-sanitize.js does that).
set(VARN_SANITIZE "" CACHE STRING
  "Sanitizers for every target: address,undefined or thread; empty for none")

if(VARN_SANITIZE)
  if(MSVC)
    if(NOT VARN_SANITIZE STREQUAL "address")
      message(FATAL_ERROR "With MSVC VARN_SANITIZE can only be \"address\"")
    endif()
    add_compile_options(/fsanitize=address /Zi)
  else()
    # Frame pointers keep the fast unwinder's allocation stacks complete;
    # no recovery so that the first report ends the process.
    add_compile_options(-fsanitize=${VARN_SANITIZE} -fno-sanitize-recover=all
      -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=${VARN_SANITIZE})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # GCC's flow analysis gives false positives on instrumented code (in
      # <regex> and <functional>, for instance); the plain build keeps it.
      add_compile_options(-Wno-maybe-uninitialized)
    endif()
  endif()
  message(STATUS "Sanitizers: ${VARN_SANITIZE}")
endif()
