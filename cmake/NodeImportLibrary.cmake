# Import library for node.exe, which a Windows add-on links against for
# Node-API and for the few libuv functions it uses (the host exports both).
#
# NODE_LIBRARY names a ready one (the node.lib of a Node.js distribution).
# Without it the library is generated at configure time from .def files:
# those of the npm package node-api-headers (NODE_API_DEF_DIR) plus
# cmake/node_uv.def, with dlltool (MinGW) or lib.exe (MSVC).
#
# Sets VARN_NODE_IMPORT_LIBRARY to the library's path.

set(NODE_LIBRARY "" CACHE FILEPATH "Import library of node.exe (node.lib); empty generates one from .def files")
set(NODE_API_DEF_DIR "${CMAKE_SOURCE_DIR}/node_modules/node-api-headers/def" CACHE PATH
  "Directory with js_native_api.def and node_api.def (npm package node-api-headers)")

function(varn_generate_node_import_library out_var)
  set(def_files
    ${NODE_API_DEF_DIR}/js_native_api.def
    ${NODE_API_DEF_DIR}/node_api.def
    ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/node_uv.def)

  # One .def with the union of their exports (node_api.def repeats most of
  # js_native_api.def in some releases).
  set(exports "")
  foreach(def_file IN LISTS def_files)
    if(NOT EXISTS ${def_file})
      message(FATAL_ERROR "${def_file} is missing: run \"npm install\" (node-api-headers is a dev dependency) or set NODE_LIBRARY")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
    file(STRINGS ${def_file} lines)
    set(in_exports FALSE)
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line STREQUAL "" OR line MATCHES "^;")
        continue()
      elseif(line STREQUAL "EXPORTS")
        set(in_exports TRUE)
      elseif(in_exports)
        list(APPEND exports "${line}")
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES exports)
  list(SORT exports)
  list(JOIN exports "\n" export_lines)
  set(def_path ${CMAKE_BINARY_DIR}/node_import/node.def)
  file(CONFIGURE OUTPUT ${def_path} CONTENT "NAME node.exe\nEXPORTS\n${export_lines}\n" @ONLY)

  if(MSVC)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(machine X64)
    else()
      set(machine X86)
    endif()
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(ARM64|arm64|aarch64)$")
      set(machine ARM64)
    endif()
    set(library ${CMAKE_BINARY_DIR}/node_import/node.lib)
    set(command ${CMAKE_AR} /nologo /def:${def_path} /out:${library} /machine:${machine})
  else()
    if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8 OR NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
      message(FATAL_ERROR "Generating node.exe's import library with dlltool is set up for x86_64 only; set NODE_LIBRARY")
    endif()
    if(NOT CMAKE_DLLTOOL)
      find_program(CMAKE_DLLTOOL NAMES dlltool REQUIRED)
    endif()
    set(library ${CMAKE_BINARY_DIR}/node_import/libnode.dll.a)
    set(command ${CMAKE_DLLTOOL} -m i386:x86-64 -d ${def_path} -l ${library})
  endif()

  execute_process(COMMAND ${command} RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Generating ${library} failed: ${error}")
  endif()
  set(${out_var} ${library} PARENT_SCOPE)
endfunction()

if(NODE_LIBRARY)
  set(VARN_NODE_IMPORT_LIBRARY ${NODE_LIBRARY})
else()
  varn_generate_node_import_library(VARN_NODE_IMPORT_LIBRARY)
endif()
