# Install rules and the Debian package, for Linux and other POSIX systems:
# the programs, their man pages and, with the windowed program, its menu
# entry, icons and software catalogue entry, where desktops look for them.

find_program(ZELBO_GZIP gzip REQUIRED)

# The packaged tree must not depend on the umask of whoever packs it.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS czelbo32 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(zelbo_man_pages czelbo32)
if(TARGET zelbo32)
  install(TARGETS zelbo32 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND zelbo_man_pages zelbo32)
endif()

# A stripped install (cpack, cmake --install --strip) also drops the
# compilers' banners (.comment), as Debian strips its packages' programs.
string(CONFIGURE [[
if(CMAKE_INSTALL_DO_STRIP)
  foreach(program czelbo32 zelbo32)
    set(file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_BINDIR@/${program}")
    if(EXISTS "${file}")
      execute_process(COMMAND "@CMAKE_OBJCOPY@" --remove-section=.comment "${file}"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endforeach()
endif()
]] strip_banners @ONLY)
install(CODE "${strip_banners}")

# Man pages, compressed as distributions ship them; -n leaves the name and
# time out of the archive, so the same page always gives the same bytes.
set(zelbo_compressed_pages)
foreach(page IN LISTS zelbo_man_pages)
  set(page_source ${CMAKE_CURRENT_BINARY_DIR}/${page}.1)
  configure_file(${page}.1.in ${page_source} @ONLY)
  add_custom_command(OUTPUT ${page_source}.gz
    COMMAND ${ZELBO_GZIP} -9nf -k ${page_source}
    DEPENDS ${page_source}
    COMMENT "Compressing the man page ${page}(1)")
  list(APPEND zelbo_compressed_pages ${page_source}.gz)
endforeach()
add_custom_target(zelbo_man_pages ALL DEPENDS ${zelbo_compressed_pages})
install(FILES ${zelbo_compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET zelbo32)
  # The menu entry and the catalogue entry carry the application's id as
  # their names; the icon theme lookup finds the icon by the same name.
  set(desktop_file ${CMAKE_CURRENT_BINARY_DIR}/${ZELBO_APP_ID}.desktop)
  set(metainfo_file ${CMAKE_CURRENT_BINARY_DIR}/${ZELBO_APP_ID}.metainfo.xml)
  configure_file(zelbo.desktop.in ${desktop_file} @ONLY)
  configure_file(zelbo.metainfo.xml.in ${metainfo_file} @ONLY)
  install(FILES ${desktop_file} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${metainfo_file} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  set(icons ${PROJECT_SOURCE_DIR}/resources/icons)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${icons}/zelbo-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME ${ZELBO_APP_ID}.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/resources/zelbo.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${ZELBO_APP_ID}.svg)
endif()

# Debian keeps a package's licence as /usr/share/doc/PACKAGE/copyright and
# its history beside it, compressed. The history's newest entry must be
# this release.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zelbo RENAME copyright)
file(STRINGS changelog.in newest_release LIMIT_COUNT 1)
if(NOT newest_release MATCHES "^zelbo \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog.in begins with \"${newest_release}\": "
                      "give version ${PROJECT_VERSION} its entry at the top")
endif()
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog)
configure_file(changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${ZELBO_GZIP} -9nf -k ${changelog}
  DEPENDS ${changelog}
  COMMENT "Compressing the changelog")
add_custom_target(zelbo_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zelbo)

# What lintian reports and Debian accepts here, each with its reason.
install(FILES lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME zelbo)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link against, as dpkg-shlibdeps finds them
# (the C++ runtime, and Qt 6 for the windowed program).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Zelbo cuts one large file into numbered parts (NAME.001, NAME.002, ...) of a\n"
  "chosen size or number: plain byte ranges without any header, so that they\n"
  "fit on removable media or pass channels with size limits. Beside the parts\n"
  "it writes two reassembly scripts, a DOS batch file and a POSIX shell\n"
  "script, which join the parts again with nothing but the system's own\n"
  "commands.\n"
  "\n"
  "czelbo32 is the command-line program; zelbo32 does the same in a small\n"
  "window with a forecast of part count and transfer times, a progress bar,\n"
  "cancel, and a retry when the medium is full.")
