# The engine as an installed library (component "dev"): its headers under
# include/zarnoth/ as they are in the tree, its static libraries, a CMake package
# (find_package(Zarnoth)) and pkg-config files. Included by cmake/Packaging.cmake; Linux builds only.
#
# Classes register themselves with the class registry from static constructors, which
# a linker drops with their object file when nothing names it. Every library therefore
# reaches a user's program whole (--whole-archive), in the CMake package and in the
# pkg-config files alike.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZARNOTH_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zarnoth)

# The installed libraries, one entry each: "library|package name|component|header
# folders|also": the folders whose headers install with it (comma-separated, may be
# empty), and, optionally, package targets its own brings besides the libraries it
# links, so that it links alone. Everything below (the archives, the Zarnoth::<package
# name> targets, each component's export set, the headers, the pkg-config files) is
# made from this table: a layer library more is an entry more, as the show runtime's
# is. A component is one of the package's (media, render, gles2, show;
# cmake/package/ZarnothConfig.cmake.in finds the outside libraries each needs). Libraries this build does not have (zrngles2 without OpenGL ES 2) are passed
# over. The MPEG decoder (sound/mpeg) installs no header: KVLSoundSourceMP3 holds it
# out of sight.
set(ZARNOTH_PACKAGE_LIBRARIES
  "kvlcore|kvlcore|media|core"
  "kvlplatform|kvlplatform|media|platform"
  "kvlplatform_headless|kvlplatform_headless|media|"
  "kvlimage|kvlimage|media|image"
  "kvlanim|kvlanim|media|anim"
  "kvlsound|kvlsound|media|sound"
  "kvlplatform_${ZARNOTH_BACKEND}|kvlplatform_${ZARNOTH_BACKEND}|render|platform/${ZARNOTH_BACKEND}"
  "kvlsound_${ZARNOTH_BACKEND}|kvlsound_${ZARNOTH_BACKEND}|render|sound/${ZARNOTH_BACKEND}"
  "zrn|zrnscene|render|scene,scene/readers,scene/internal"
  "zrnrender|zrnrender|render|scene/${ZARNOTH_BACKEND}"
  "zrngles2|zrngles2|gles2||zrn"
  "zarnoth_show|show|show|show|zrn")
# Headers of those folders that are not installed: the renderer's texture level maker,
# the EGL pbuffer helper, and the show runtime's workings (its picture sinks, the video
# module's loader and interface, --jobs, the progress line).
# scene/internal/ is installed because public renderer headers include it; the guide
# names it as the engine's workings, not its interface.
set(ZARNOTH_PRIVATE_HEADERS scene/zrn_texturelevels.h scene/${ZARNOTH_BACKEND}/zrn_egl_pbuffer.h
  show/zrn_progressline.h show/zrn_showjobs.h show/zrn_showsinks.h show/zrn_showsoundtail.h
  show/zrn_showvideo_encoder.h show/zrn_showvideo_module.h)

set(ZARNOTH_INSTALLED_LIBS)
set(ZARNOTH_HEADERS)
foreach(entry ${ZARNOTH_PACKAGE_LIBRARIES})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 lib)
  if(NOT TARGET ${lib})
    continue()
  endif()
  list(GET fields 1 ZARNOTH_PACKAGE_NAME_${lib})
  list(GET fields 2 ZARNOTH_COMPONENT_${lib})
  list(GET fields 3 dirs)
  set(ZARNOTH_ALSO_${lib})
  list(LENGTH fields count)
  if(count GREATER 4)
    list(GET fields 4 also)
    string(REPLACE "," ";" also "${also}")
    list(TRANSFORM also PREPEND Zarnoth::)
    set(ZARNOTH_ALSO_${lib} ${also})
  endif()
  list(APPEND ZARNOTH_INSTALLED_LIBS ${lib})
  string(REPLACE "," ";" dirs "${dirs}")
  foreach(dir ${dirs})
    file(GLOB found CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/${dir}/*.h)
    list(REMOVE_ITEM found ${ZARNOTH_PRIVATE_HEADERS})
    if(NOT found)
      message(FATAL_ERROR "cmake/Install.cmake: no headers to install in ${dir} (library ${lib})")
    endif()
    list(APPEND ZARNOTH_HEADERS ${found})
    # As they are in the tree, under include/zarnoth/<folder>/.
    list(TRANSFORM found PREPEND ${CMAKE_SOURCE_DIR}/)
    install(FILES ${found} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zarnoth/${dir} COMPONENT dev)
  endforeach()
endforeach()

# The same headers staged in the build (include/zarnoth), for the API reference and the
# interface record (scripts/api_check.sh).
set(ZARNOTH_STAGED_INCLUDE ${CMAKE_BINARY_DIR}/include)
set(tree_headers ${ZARNOTH_HEADERS})
list(TRANSFORM tree_headers PREPEND ${CMAKE_SOURCE_DIR}/)
string(REPLACE ";" "|" headers_arg "${ZARNOTH_HEADERS}")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/include.stamp
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DDEST=${ZARNOTH_STAGED_INCLUDE}/zarnoth
    "-DHEADERS=${headers_arg}" -P ${CMAKE_SOURCE_DIR}/cmake/StageHeaders.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/include.stamp
  DEPENDS ${tree_headers} ${CMAKE_SOURCE_DIR}/cmake/StageHeaders.cmake
  COMMENT "Staging the installed headers (include/zarnoth)"
  VERBATIM)
add_custom_target(zarnoth_headers ALL DEPENDS ${CMAKE_BINARY_DIR}/include.stamp)

# The libraries, exported (install(EXPORT)) in one set per component, each with the
# outside libraries it needs: "media" (the multimedia layers with the headless platform
# pieces: JPEG, PNG, threads), "render" (the backend's window and sound devices, the
# scene graph and the OpenGL renderer: also SDL2, OpenGL, GLU, EGL), "gles2" (the
# shader renderer: also OpenGL ES 2).
#
# Each library is an interface target Zarnoth::<package name> that links its archive
# (exported as Zarnoth::<library>_archive) whole, and the engine libraries it uses by
# their package names, so that every archive reaches the link line with the
# whole-archive feature and never plainly. These are parts: a program links one of the
# gatherings Zarnoth::media, Zarnoth::kvl, Zarnoth::zrn (or Zarnoth::zrngles2), which
# bring every part a link needs.

# zarnoth_package_target(component name links...): an exported interface target Zarnoth::name.
function(zarnoth_package_target component name)
  add_library(zarnoth_package_${name} INTERFACE)
  set_target_properties(zarnoth_package_${name} PROPERTIES EXPORT_NAME ${name})
  target_compile_features(zarnoth_package_${name} INTERFACE cxx_std_20)
  # include/ for the program's "zarnoth/core/kvl_stream.h", include/zarnoth for the
  # headers' own includes ("core/kvl_string.h"), which are the tree's.
  target_include_directories(zarnoth_package_${name} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/zarnoth>)
  foreach(item ${ARGN})
    target_link_libraries(zarnoth_package_${name} INTERFACE "$<INSTALL_INTERFACE:${item}>")
  endforeach()
  install(TARGETS zarnoth_package_${name} EXPORT Zarnoth-${component} COMPONENT dev)
endfunction()

set(ZARNOTH_COMPONENTS)
foreach(lib ${ZARNOTH_INSTALLED_LIBS})
  set(component ${ZARNOTH_COMPONENT_${lib}})
  list(APPEND ZARNOTH_COMPONENTS ${component})
  set_target_properties(${lib} PROPERTIES EXPORT_NAME ${lib}_archive)
  install(TARGETS ${lib} EXPORT Zarnoth-${component} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
  get_property(links GLOBAL PROPERTY ZARNOTH_LINK_${lib})
  set(uses ${ZARNOTH_ALSO_${lib}})
  foreach(item ${links})
    if(item IN_LIST ZARNOTH_INSTALLED_LIBS)
      list(APPEND uses Zarnoth::${ZARNOTH_PACKAGE_NAME_${item}})
    endif()
  endforeach()
  zarnoth_package_target(${component} ${ZARNOTH_PACKAGE_NAME_${lib}}
    "$<LINK_LIBRARY:WHOLE_ARCHIVE,Zarnoth::${lib}_archive>" ${uses})
endforeach()
list(REMOVE_DUPLICATES ZARNOTH_COMPONENTS)
# Not together with Zarnoth::kvl or zrn: the headless pieces stand in for the backend's.
zarnoth_package_target(media media Zarnoth::kvlanim Zarnoth::kvlsound Zarnoth::kvlplatform_headless)
zarnoth_package_target(render kvl Zarnoth::kvlanim Zarnoth::kvlsound_${ZARNOTH_BACKEND}
  Zarnoth::kvlplatform_${ZARNOTH_BACKEND})
zarnoth_package_target(render zrn Zarnoth::zrnrender Zarnoth::kvl)
foreach(component ${ZARNOTH_COMPONENTS})
  install(EXPORT Zarnoth-${component} NAMESPACE Zarnoth:: DESTINATION ${ZARNOTH_CMAKE_DIR}
    FILE Zarnoth-${component}.cmake COMPONENT dev)
endforeach()

if(TARGET zrngles2)
  set(ZARNOTH_HAVE_GLES2 TRUE)
else()
  set(ZARNOTH_HAVE_GLES2 FALSE)
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/package/ZarnothConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/ZarnothConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/ZarnothConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/ZarnothConfig.cmake
  ${CMAKE_BINARY_DIR}/package/ZarnothConfigVersion.cmake
  DESTINATION ${ZARNOTH_CMAKE_DIR} COMPONENT dev)

# pkg-config: zarnoth-media (the media component's libraries: no display, sound device
# or GL), zarnoth-kvl (the multimedia layers on the backend's window and sound devices)
# and zarnoth (the media and render components on the backend). The archives sit
# between --whole-archive and --no-whole-archive for the same reason.
set(ZARNOTH_PC_MEDIA_LIBS)
set(ZARNOTH_PC_KVL_LIBS)
set(ZARNOTH_PC_ZRN_LIBS)
foreach(lib ${ZARNOTH_INSTALLED_LIBS})
  set(component ${ZARNOTH_COMPONENT_${lib}})
  if(component STREQUAL "media")
    string(APPEND ZARNOTH_PC_MEDIA_LIBS " -l${lib}")
  endif()
  if(lib STREQUAL "kvlplatform_headless" OR NOT component MATCHES "^(media|render)$")
    continue()
  endif()
  string(APPEND ZARNOTH_PC_ZRN_LIBS " -l${lib}")
  if(lib MATCHES "^kvl")
    string(APPEND ZARNOTH_PC_KVL_LIBS " -l${lib}")
  endif()
endforeach()
# The prefix is found from the file's own place, as the CMake package finds it.
file(RELATIVE_PATH ZARNOTH_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
foreach(pc zarnoth-media zarnoth-kvl zarnoth)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/package/${pc}.pc.in ${CMAKE_BINARY_DIR}/package/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

# The examples and the licence ship with the development files, ready to be copied.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zarnoth-dev/examples
  COMPONENT dev)
