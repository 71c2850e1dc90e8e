# Makes the zip for Windows users from the build in BUILD and fails unless
# it holds, in one folder named after VERSION, CZELBO32.exe, Zelbo32.exe
# when WINDOWED is true, the licence and the text for Windows users, both
# with CR LF line ends and the text naming the version, and unless the
# programs carry the protections that Windows honours (OBJDUMP reads them).
set(work ${BUILD}/zip-test)
file(REMOVE_RECURSE ${work})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD}/CPackConfig.cmake -G ZIP -B ${work}
  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed)
  message(FATAL_ERROR "cpack failed:\n${output}")
endif()

set(top zelbo-${VERSION}-win64)
set(zip ${work}/${top}.zip)
if(NOT EXISTS ${zip})
  message(FATAL_ERROR "cpack made no ${zip}:\n${output}")
endif()
file(MAKE_DIRECTORY ${work}/unpacked)
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${work}/unpacked)
file(GLOB_RECURSE found RELATIVE ${work}/unpacked ${work}/unpacked/*)
list(SORT found)

set(expected ${top}/CZELBO32.exe ${top}/LICENSE.txt ${top}/README-Windows.txt)
if(WINDOWED)
  list(APPEND expected ${top}/Zelbo32.exe)
endif()
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "the zip holds\n  ${found}\ninstead of\n  ${expected}")
endif()

# A base address chosen anew at every start, from the whole 64-bit range,
# and no code run from data pages; the stack protector shows in the build's
# unstripped programs.
foreach(program IN LISTS found)
  if(NOT program MATCHES "\\.exe$")
    continue()
  endif()
  execute_process(COMMAND ${OBJDUMP} -p ${work}/unpacked/${program} OUTPUT_VARIABLE headers)
  foreach(flag HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT)
    if(NOT headers MATCHES "\n[\t ]+${flag}\n")
      message(FATAL_ERROR "${program} is not marked ${flag}")
    endif()
  endforeach()
  get_filename_component(name ${program} NAME)
  execute_process(COMMAND ${OBJDUMP} -t ${BUILD}/bin/${name} OUTPUT_VARIABLE symbols)
  if(NOT symbols MATCHES " __stack_chk_fail\n")
    message(FATAL_ERROR "${BUILD}/bin/${name} has no stack protector")
  endif()
endforeach()

foreach(text LICENSE.txt README-Windows.txt)
  # As hex digits, each byte after a blank (a plain read drops the CRs).
  file(READ ${work}/unpacked/${top}/${text} bytes HEX)
  string(REGEX REPLACE "(..)" " \\1" bytes "${bytes}")
  string(REGEX MATCHALL " 0a" line_feeds "${bytes}")
  string(REGEX MATCHALL " 0d 0a" line_ends "${bytes}")
  list(LENGTH line_feeds line_feed_count)
  list(LENGTH line_ends line_end_count)
  if(NOT line_feed_count EQUAL line_end_count OR NOT bytes MATCHES " 0d 0a$")
    message(FATAL_ERROR "${text} has line ends other than CR LF")
  endif()
endforeach()
file(STRINGS ${work}/unpacked/${top}/README-Windows.txt first_line LIMIT_COUNT 1)
if(NOT first_line MATCHES "^Zelbo ${VERSION} for Windows")
  message(FATAL_ERROR "README-Windows.txt begins with \"${first_line}\", not the version ${VERSION}")
endif()
file(REMOVE_RECURSE ${work})
