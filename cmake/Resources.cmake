# target_resources(<target> [RCDATA <NAME> <file>]... [STRINGS <file>]...)
#
# Compiles resource files into <target>'s module: RCDATA files byte for byte under NAME, STRINGS
# files (numbered strings, format in tools/resgen.cpp) as UTF-16 string tables. Relative paths
# are taken from the current source folder; a file made by add_custom_command in the same folder
# may be given by its output path, and the resources are rebuilt when it changes.
#
# An executable or shared library gets the generated source itself. A static library passes the
# generated objects on to whatever links it, so that they reach the final link even though
# nothing refers to them (an unreferenced archive member would be dropped by the linker).
# A shared library that carries resources is found through its handle from LoadLibraryA, the
# program through GetModuleHandleA(nullptr), both by the exported kvb_module_resources().

set(KVB_RESOURCE_INCLUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/../platform/include CACHE INTERNAL "")

# Reads the arguments of target_resources: <names> gets the RCDATA names, <files> their files,
# <strings> the STRINGS files, every path made absolute.
function(_resource_arguments target names files strings)
  set(nameList)
  set(fileList)
  set(stringList)
  list(LENGTH ARGN count)
  set(i 0)
  while(i LESS count)
    list(GET ARGN ${i} keyword)
    if(keyword STREQUAL "RCDATA")
      math(EXPR nameIndex "${i} + 1")
      math(EXPR fileIndex "${i} + 2")
      if(NOT fileIndex LESS count)
        message(FATAL_ERROR "target_resources(${target}): RCDATA needs a name and a file")
      endif()
      list(GET ARGN ${nameIndex} name)
      list(GET ARGN ${fileIndex} file)
      get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
      list(APPEND nameList "${name}")
      list(APPEND fileList "${file}")
      math(EXPR i "${i} + 3")
    elseif(keyword STREQUAL "STRINGS")
      math(EXPR fileIndex "${i} + 1")
      if(NOT fileIndex LESS count)
        message(FATAL_ERROR "target_resources(${target}): STRINGS needs a file")
      endif()
      list(GET ARGN ${fileIndex} file)
      get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
      list(APPEND stringList "${file}")
      math(EXPR i "${i} + 2")
    else()
      message(FATAL_ERROR "target_resources(${target}): unexpected '${keyword}'")
    endif()
  endwhile()
  if(NOT nameList AND NOT stringList)
    message(FATAL_ERROR "target_resources(${target}): no resources given")
  endif()
  set(${names} "${nameList}" PARENT_SCOPE)
  set(${files} "${fileList}" PARENT_SCOPE)
  set(${strings} "${stringList}" PARENT_SCOPE)
endfunction()

# One generated source per call, numbered per target.
function(_next_resource_serial target serial)
  get_property(number TARGET ${target} PROPERTY KVB_RESOURCE_SERIAL)
  if(NOT number)
    set(number 0)
  endif()
  math(EXPR number "${number} + 1")
  set_property(TARGET ${target} PROPERTY KVB_RESOURCE_SERIAL ${number})
  set(${serial} ${number} PARENT_SCOPE)
endfunction()

# Windows: the same resources become real resources of the module. One .rc script per call
# lists the RCDATA files; windres compiles it and FindResourceA finds them. STRINGS files become a
# STRINGTABLE of a second script (tools/stringlib/strings_to_rc.py), read with LoadStringA.
function(_target_resources_win32 target names files stringFiles)
  set(script "")
  foreach(name file IN ZIP_LISTS names files)
    string(TOUPPER "${name}" upper)
    string(APPEND script "${upper} RCDATA \"${file}\"\n")
  endforeach()
  _next_resource_serial(${target} serial)
  set(scripts)
  if(script)
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources_${serial}.rc")
    file(WRITE "${output}" "${script}")
    # windres reads the files; Ninja does not know that by itself.
    set_source_files_properties("${output}" PROPERTIES OBJECT_DEPENDS "${files}")
    list(APPEND scripts "${output}")
  endif()
  if(stringFiles)
    set(tool ${CMAKE_SOURCE_DIR}/tools/stringlib/strings_to_rc.py)
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_strings_${serial}.rc")
    add_custom_command(
      OUTPUT "${output}"
      COMMAND /usr/bin/python3 ${tool} "${output}" ${stringFiles}
      DEPENDS ${tool} ${stringFiles}
      COMMENT "Compiling string tables for ${target}"
      VERBATIM)
    list(APPEND scripts "${output}")
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    # An archive member nothing refers to would be dropped by the linker: the compiled
    # scripts reach the final link as objects.
    set(objects ${target}_resources_${serial})
    add_library(${objects} OBJECT ${scripts})
    set_property(TARGET ${target} APPEND PROPERTY
      INTERFACE_LINK_LIBRARIES "$<TARGET_OBJECTS:${objects}>")
    add_dependencies(${target} ${objects})
  else()
    target_sources(${target} PRIVATE ${scripts})
  endif()
endfunction()

function(target_resources target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "target_resources: ${target} is not a target")
  endif()
  _resource_arguments(${target} names files strings ${ARGN})
  if(WIN32)
    _target_resources_win32(${target} "${names}" "${files}" "${strings}")
    return()
  endif()
  set(args)
  foreach(name file IN ZIP_LISTS names files)
    list(APPEND args --rcdata "${name}" "${file}")
  endforeach()
  foreach(file IN LISTS strings)
    list(APPEND args --strings "${file}")
  endforeach()

  _next_resource_serial(${target} serial)
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources_${serial}.cpp")

  add_custom_command(
    OUTPUT "${output}"
    COMMAND resgen -o "${output}" ${args}
    DEPENDS resgen ${files} ${strings}
    COMMENT "Compiling resources into ${target}"
    VERBATIM)
  set_source_files_properties("${output}" PROPERTIES
    INCLUDE_DIRECTORIES "${KVB_RESOURCE_INCLUDE_DIR}")

  # The lookup function of a module's resources is how the platform finds them; a program
  # exports nothing by default, so it exports this one symbol.
  set(export "LINKER:--export-dynamic-symbol=kvb_module_resources")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    set(objects ${target}_resources_${serial})
    add_library(${objects} OBJECT "${output}")
    target_include_directories(${objects} PRIVATE "${KVB_RESOURCE_INCLUDE_DIR}")
    # Appended to the property rather than through target_link_libraries, so that the caller
    # may use either signature of target_link_libraries for its own target.
    set_property(TARGET ${target} APPEND PROPERTY
      INTERFACE_LINK_LIBRARIES "$<TARGET_OBJECTS:${objects}>")
    target_link_options(${target} INTERFACE "${export}")
    add_dependencies(${target} ${objects})
  elseif(type STREQUAL "EXECUTABLE")
    target_sources(${target} PRIVATE "${output}")
    target_link_options(${target} PRIVATE "${export}")
  elseif(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    target_sources(${target} PRIVATE "${output}")
  else()
    message(FATAL_ERROR "target_resources(${target}): resources need an executable or a library")
  endif()
endfunction()
