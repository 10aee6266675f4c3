# What `cmake --install` puts where, and the Debian package CPack makes of it
# (`cmake --build build --target package`): the demo, the kvl tool, the archive in
# the package's data folder, the manual pages, a desktop entry with its icon and the
# copyright file. The files written by hand live in packaging/.
include(GNUInstallDirs)

set(ZARNOTH_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS zarnoth kvl_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The video encoder module, which zarnoth loads for --video.
install(TARGETS zarnoth_video LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zarnoth)
# The archive: the program looks here (ZARNOTH_DATA_DIR) when none lies next to it.
install(FILES ${CMAKE_BINARY_DIR}/bin/quorvel.pak DESTINATION ${CMAKE_INSTALL_DATADIR}/zarnoth)

# Manual pages, compressed as Debian wants them (no name or time in the gzip header,
# so the package is the same on every build).
find_program(ZARNOTH_GZIP gzip REQUIRED)
set(ZARNOTH_MAN_PAGES)
foreach(page zarnoth.6 kvl.1)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${ZARNOTH_GZIP} -9 -n -c ${ZARNOTH_PACKAGING}/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
    DEPENDS ${ZARNOTH_PACKAGING}/${page}
    VERBATIM)
  list(APPEND ZARNOTH_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(zarnoth_man ALL DEPENDS ${ZARNOTH_MAN_PAGES})
install(FILES ${CMAKE_BINARY_DIR}/man/zarnoth.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_BINARY_DIR}/man/kvl.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${ZARNOTH_PACKAGING}/zarnoth.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZARNOTH_PACKAGING}/zarnoth.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ZARNOTH_PACKAGING}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${ZARNOTH_GZIP} -9 -n -c ${ZARNOTH_PACKAGING}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${ZARNOTH_PACKAGING}/changelog
  VERBATIM)
add_custom_target(zarnoth_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarnoth)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZARNOTH 3D developers <developers@zarnoth.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time 3D demo with its soundtrack")
# The extended description; CPack puts the summary above it as the synopsis and
# indents each line (an empty line becomes the paragraph mark).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "ZARNOTH 3D plays an 82-second show of rendered scenes (a tunnel, a room,
an oscilloscope, title and end cards) to its own music, full screen or in
a window. It can also record the show offscreen as pictures, a sound file
or a video file.

The package also holds kvl, a command-line tool for the engine's file
formats (archives, pictures, meshes, animations and sound).")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A demo plays by itself: not a game in Debian's sense (no /usr/games).
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# The dependencies come from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Only the rules above: the tests and benchmarks install nothing.
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
