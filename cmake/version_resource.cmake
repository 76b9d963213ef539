# A Windows version resource for a target, filled from the project version,
# so that a file's Properties > Details in Windows say what it is. windres
# runs as a step of its own: the compilers' options (-msse2, the warnings)
# mean nothing to it. Elsewhere this does nothing.
function(vrim_version_resource target filetype filename description)
  if(NOT WIN32)
    return()
  endif()
  set(VRIM_RC_FILETYPE ${filetype})
  set(VRIM_RC_FILENAME ${filename})
  set(VRIM_RC_NAME ${target})
  set(VRIM_RC_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.o)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/version.rc.in ${rc} @ONLY)
  add_custom_command(OUTPUT ${object}
    COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${rc} -o ${object}
    DEPENDS ${rc}
    COMMENT "Version resource of ${filename}"
    VERBATIM)
  set_source_files_properties(${object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${object})
endfunction()
