# add_string_library(<target> <strings file>... [OUTPUT_NAME <name>])
#
# Builds a string library: a shared library that holds nothing but numbered strings, read with
# LoadLibraryA and LoadStringA (a word table for the multi-language component, for example).
# The strings files are in resgen's format (see tools/resgen.cpp), one "number = text" per line:
#
#   1000 = %TGetUpdateFile        a word table for the windows of class TGetUpdateFile
#   1001 = %Form%                 key
#   1002 = KVB-System             its text
#
# The library lands beside the programs as lib<name>.so (lib<name>.dll on Windows), so that
# LoadLibraryA("<NAME>") finds it in the program's folder.
include_guard(GLOBAL)

function(add_string_library target)
  cmake_parse_arguments(ARG "" "OUTPUT_NAME" "" ${ARGN})
  if(NOT ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_string_library(${target}): no strings file given")
  endif()
  add_library(${target} SHARED)
  if(ARG_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  set(args)
  foreach(file IN LISTS ARG_UNPARSED_ARGUMENTS)
    list(APPEND args STRINGS ${file})
  endforeach()
  target_resources(${target} ${args})
  # Windows: the library is a compiled resource script only, which CMake would not link by
  # itself.
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
endfunction()
