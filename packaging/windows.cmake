# The zip for Windows users: the programs, which need no installation, the
# licence and a short text, all in one folder named after the version.

install(TARGETS czelbo32 RUNTIME DESTINATION .)
set(ZELBO_WINDOWED_PROGRAM_TEXT "")
if(TARGET zelbo32)
  install(TARGETS zelbo32 RUNTIME DESTINATION .)
  set(section ${CMAKE_CURRENT_SOURCE_DIR}/README-Windows-Zelbo32.txt)
  file(READ ${section} ZELBO_WINDOWED_PROGRAM_TEXT)
  # configure_file's NEWLINE_STYLE ends the template's lines, not those
  # inside a substituted text.
  string(REPLACE "\n" "\r\n" ZELBO_WINDOWED_PROGRAM_TEXT "${ZELBO_WINDOWED_PROGRAM_TEXT}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${section})
endif()

# Texts with CR LF line ends, which every Windows editor shows as lines.
configure_file(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(README-Windows.txt.in README-Windows.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt ${CMAKE_CURRENT_BINARY_DIR}/README-Windows.txt
  DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME zelbo-${PROJECT_VERSION}-win64)
