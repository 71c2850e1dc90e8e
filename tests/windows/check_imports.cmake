# Fails unless PROGRAM imports only the DLLs in ALLOWED (every Windows has
# them; a user's machine has none of the compiler's), and none of the
# functions in LATE (newer than Windows 7: they must be looked up at run
# time, or the program does not start there).
#   cmake -DPROGRAM=x.exe -DOBJDUMP=objdump -DALLOWED=KERNEL32,msvcrt [-DLATE=f,g] -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" ALLOWED "${ALLOWED}")
string(REPLACE "," ";" LATE "${LATE}")
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()
string(TOUPPER "${ALLOWED}" allowed)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOUPPER "${dll}" dll)
  string(REGEX REPLACE "\\.DLL$" "" dll "${dll}")
  if(NOT dll IN_LIST allowed)
    message(FATAL_ERROR "${PROGRAM} needs ${dll}.DLL, which it may not import")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
foreach(function IN LISTS LATE)
  if(dump MATCHES "[\t ]${function}\n")
    message(FATAL_ERROR "${PROGRAM} imports ${function}, which Windows 7 lacks")
  endif()
endforeach()
