# zelbo_add_version_resource(<target> DESCRIPTION <text> INTERNAL_NAME <name>
#                            ORIGINAL_FILENAME <name>)
# Gives a Windows program its version record (cmake/version.rc.in), with the
# project's version numbers. Does nothing on other platforms.
function(zelbo_add_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 ZELBO_RC "" "DESCRIPTION;INTERNAL_NAME;ORIGINAL_FILENAME" "")
  set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc_file} @ONLY)
  target_sources(${target} PRIVATE ${rc_file})
endfunction()
