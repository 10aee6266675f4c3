# What `cmake --install` puts where, and the two Debian packages CPack makes of it
# (`cmake --build build --target package`): the program's (component "program": the
# demo, the kvl tool, the archive in the package's data folder, the manual pages, a
# desktop entry with its icon) and the development package (component "dev": the
# engine's headers, libraries, CMake package, pkg-config files, examples and API
# reference; cmake/Install.cmake, cmake/Reference.cmake). Both carry the copyright file.
# The files written by hand live in packaging/.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME program)

set(ZARNOTH_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS zarnoth kvl_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The video encoder module, which zarnoth loads for --video.
if(TARGET zarnoth_video)
  install(TARGETS zarnoth_video LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zarnoth)
endif()
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
install(FILES ${ZARNOTH_PACKAGING}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zarnoth-dev
  COMPONENT dev)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${ZARNOTH_GZIP} -9 -n -c ${ZARNOTH_PACKAGING}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${ZARNOTH_PACKAGING}/changelog
  VERBATIM)
add_custom_target(zarnoth_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zarnoth-dev
  COMPONENT dev)

include(${CMAKE_SOURCE_DIR}/cmake/Install.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/Reference.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarnoth)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZARNOTH 3D developers <developers@zarnoth.example>")
# Each package's description: its first line is the synopsis; CPack indents the
# others (an empty line becomes the paragraph mark). No CPACK_PACKAGE_DESCRIPTION_SUMMARY:
# CPack would put that one synopsis above both packages' descriptions.
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "real-time 3D demo with its soundtrack
ZARNOTH 3D plays an 82-second show of rendered scenes (a tunnel, a room,
an oscilloscope, title and end cards) to its own music, full screen or in
a window. It can also record the show offscreen as pictures, a sound file
or a video file.

The package also holds kvl, a command-line tool for the engine's file
formats (archives, pictures, meshes, animations and sound).")
# The packages install under /usr whatever the build's own prefix; the program looks
# for its data under the prefix it was configured with, so the build that makes the
# packages is configured with /usr (scripts/deb_test.sh sees to it).
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "Debian packages: the program is configured for ${CMAKE_INSTALL_PREFIX}; "
    "configure with -DCMAKE_INSTALL_PREFIX=/usr before making the packages")
endif()
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program dev)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME zarnoth)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME zarnoth-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# Static libraries: the development files a user links against are the dependencies.
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
# Depends: what every user needs, the media component's (JPEG, PNG). Recommends: the
# render component's (SDL2, OpenGL, GLU, EGL), which find_package(Zarnoth) loads when no
# COMPONENTS are named, so apt brings them by default, while a program of the media
# component alone installs without them (apt --no-install-recommends). Suggests:
# OpenGL ES 2 for the gles2 component, which the package passes over when its files
# are missing and the program did not ask for it.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libjpeg62-turbo-dev | libjpeg-dev, libpng-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_RECOMMENDS "libsdl2-dev, libgl-dev, libglu1-mesa-dev, libegl-dev")
if(TARGET zrngles2)
  set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "libgles-dev")
endif()
set(CPACK_DEBIAN_DEV_DESCRIPTION "development files of the ZARNOTH 3D engine
The engine of the ZARNOTH 3D demo as static libraries for programs of
one's own: the core multimedia layers (streams and archives, pictures,
animations, MP3 sound, windows and timers) and the scene graph with its
mesh readers and OpenGL renderer, on the SDL2 backend.

The package holds the headers (under zarnoth/), the libraries, a CMake
package (find_package(Zarnoth)), pkg-config files, four example
projects and the API reference.")
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
