# The protections that Debian's dpkg-buildflags gives a package with
# hardening=+all, for every build of GCC or clang: a stack protector,
# checked string and memory functions (_FORTIFY_SOURCE=2, which needs an
# optimised build), position-independent programs, and relocations made
# read-only and bound at start (RELRO, BIND_NOW); also what its later
# versions add where the compiler has it: stack clash protection and
# control-flow protection (CET on x86). On Windows the same stack protector
# and the image flags that the loader honours: a base address chosen anew
# at every start, from the full 64-bit range, and no execution of data
# pages.
#
# Flags a packager gives (CXXFLAGS, LDFLAGS) are left alone: a protection
# they already choose, or switch off, is not added a second time.
option(ZELBO_HARDEN "Build with the protections distributions give their packages" ON)
if(NOT ZELBO_HARDEN OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

string(TOUPPER "${CMAKE_BUILD_TYPE}" zelbo_build_type)
set(zelbo_given_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${zelbo_build_type}}")
set(zelbo_given_link_flags "${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${zelbo_build_type}}")

if(NOT zelbo_given_flags MATCHES "-f(no-)?stack-protector")
  add_compile_options(-fstack-protector-strong)
  # mingw's compiler driver links the protector's library only when told.
  add_link_options(-fstack-protector-strong)
endif()

# The sanitizers check every access themselves and do not see through the
# checked functions.
if(NOT ZELBO_SANITIZE AND NOT zelbo_given_flags MATCHES "_FORTIFY_SOURCE")
  if(zelbo_given_flags MATCHES "(^| )-O([1-3sgz]|fast)?( |$)")
    add_compile_definitions(_FORTIFY_SOURCE=2)
  else()
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  endif()
endif()

if(WIN32)
  add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
  return()
endif()

include(CheckCXXCompilerFlag)
foreach(protection stack-clash-protection cf-protection)
  string(MAKE_C_IDENTIFIER "zelbo_has_${protection}" known)
  check_cxx_compiler_flag(-f${protection} ${known})
  if(${known} AND NOT zelbo_given_flags MATCHES "-f(no-)?${protection}")
    add_compile_options(-f${protection})
  endif()
endforeach()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
foreach(flag relro now)
  if(NOT zelbo_given_link_flags MATCHES "-z,?${flag}")
    add_link_options(-Wl,-z,${flag})
  endif()
endforeach()
