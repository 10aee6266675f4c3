# The engine as an installed library (component "dev"): its headers under
# include/zarnoth/, its static libraries, a CMake package (find_package(Zarnoth)) and
# pkg-config files. Included by cmake/Packaging.cmake; Linux builds only.
#
# Classes register themselves with the class registry from static constructors, which
# a linker drops with their object file when nothing names it. Every library therefore
# reaches a user's program whole (--whole-archive), in the CMake package and in the
# pkg-config files alike.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZARNOTH_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zarnoth)

# Headers of the layers and of the backend this build chose. Not installed: the MPEG
# decoder's tables and internals, the renderer's texture level maker and the EGL
# pbuffer helper, which no installed header includes (docs/getting_started.md lists
# the installed headers that are there only because a public one includes them).
set(ZARNOTH_HEADER_DIRS core platform platform/${ZARNOTH_BACKEND} image anim sound sound/mpeg
  sound/${ZARNOTH_BACKEND} scene scene/readers scene/${ZARNOTH_BACKEND})
set(ZARNOTH_PRIVATE_HEADERS sound/mpeg/mpg_internal.h sound/mpeg/mpg_tables.h scene/zrn_texturelevels.h
  scene/${ZARNOTH_BACKEND}/zrn_egl_pbuffer.h)
set(ZARNOTH_STAGED_INCLUDE ${CMAKE_BINARY_DIR}/include)
set(header_globs)
foreach(dir ${ZARNOTH_HEADER_DIRS})
  list(APPEND header_globs ${CMAKE_SOURCE_DIR}/${dir}/*.h)
endforeach()
file(GLOB ZARNOTH_TREE_HEADERS CONFIGURE_DEPENDS ${header_globs})
string(REPLACE ";" "|" dirs_arg "${ZARNOTH_HEADER_DIRS}")
string(REPLACE ";" "|" skip_arg "${ZARNOTH_PRIVATE_HEADERS}")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/include.stamp
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DDEST=${ZARNOTH_STAGED_INCLUDE}/zarnoth
    "-DDIRS=${dirs_arg}" "-DSKIP=${skip_arg}" -P ${CMAKE_SOURCE_DIR}/cmake/StageHeaders.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/include.stamp
  DEPENDS ${ZARNOTH_TREE_HEADERS} ${CMAKE_SOURCE_DIR}/cmake/StageHeaders.cmake
  COMMENT "Staging the installed headers (include/zarnoth)"
  VERBATIM)
add_custom_target(zarnoth_headers ALL DEPENDS ${CMAKE_BINARY_DIR}/include.stamp)
install(DIRECTORY ${ZARNOTH_STAGED_INCLUDE}/zarnoth DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT dev FILES_MATCHING PATTERN "*.h")

# The libraries, each with what it links: an engine library by its CMake package name,
# an outside one as the package finds it again. Zarnoth::zrnscene is libzrn.a (the scene
# graph); Zarnoth::zrn is the whole engine, Zarnoth::kvl the core multimedia layers.
set(ZARNOTH_INSTALLED_LIBS ${ZARNOTH_ENGINE_LIBS} kvlplatform_headless)
if(TARGET zrngles2)
  list(APPEND ZARNOTH_INSTALLED_LIBS zrngles2)
endif()
# The package's components, each with the outside libraries it needs: "media" (the
# multimedia layers with the headless platform pieces: JPEG, PNG, threads), "render"
# (the backend's window and sound devices, the scene graph and the OpenGL renderer:
# also SDL2, OpenGL, GLU, EGL), "gles2" (the shader renderer: also OpenGL ES 2).
set(ZARNOTH_MEDIA_LIBS kvlcore kvlplatform kvlplatform_headless kvlimage kvlanim kvlsound)
install(TARGETS ${ZARNOTH_INSTALLED_LIBS} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)

function(zarnoth_package_name lib out)
  if(lib STREQUAL "zrn")
    set(${out} Zarnoth::zrnscene PARENT_SCOPE)
  else()
    set(${out} Zarnoth::${lib} PARENT_SCOPE)
  endif()
endfunction()

set(outside_map "PkgConfig::SDL2=SDL2::SDL2" "PkgConfig::GLESV2=PkgConfig::Zarnoth_GLESV2")
set(ZARNOTH_CONFIG_MEDIA_TARGETS "")
set(ZARNOTH_CONFIG_RENDER_TARGETS "")
set(ZARNOTH_CONFIG_GLES2_TARGETS "")
foreach(lib ${ZARNOTH_INSTALLED_LIBS})
  zarnoth_package_name(${lib} name)
  get_property(links GLOBAL PROPERTY ZARNOTH_LINK_${lib})
  set(interface)
  foreach(item ${links})
    if(item IN_LIST ZARNOTH_INSTALLED_LIBS)
      zarnoth_package_name(${item} item)
    endif()
    foreach(pair ${outside_map})
      string(REPLACE "=" ";" pair ${pair})
      list(GET pair 0 from)
      list(GET pair 1 to)
      if(item STREQUAL from)
        set(item ${to})
      endif()
    endforeach()
    list(APPEND interface ${item})
  endforeach()
  list(REMOVE_DUPLICATES interface)
  string(JOIN ";" interface ${interface})
  if(lib IN_LIST ZARNOTH_MEDIA_LIBS)
    set(component MEDIA)
  elseif(lib STREQUAL "zrngles2")
    set(component GLES2)
  else()
    set(component RENDER)
  endif()
  string(APPEND ZARNOTH_CONFIG_${component}_TARGETS
    "add_library(${name} INTERFACE IMPORTED)\n"
    "set_target_properties(${name} PROPERTIES\n"
    "  INTERFACE_INCLUDE_DIRECTORIES \"\${_zarnoth_prefix}/${CMAKE_INSTALL_INCLUDEDIR}\"\n"
    "  INTERFACE_COMPILE_FEATURES cxx_std_20\n"
    "  INTERFACE_LINK_LIBRARIES \"$<LINK_LIBRARY:WHOLE_ARCHIVE,\${_zarnoth_prefix}/${CMAKE_INSTALL_LIBDIR}/lib${lib}.a>;${interface}\")\n")
endforeach()

# The relative path from the package's folder up to the prefix, so that the installed
# tree can move (another prefix, a copy) and still find itself.
file(RELATIVE_PATH ZARNOTH_CONFIG_TO_PREFIX /prefix/${ZARNOTH_CMAKE_DIR} /prefix)
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

# pkg-config: zarnoth-kvl (the core multimedia layers) and zarnoth (the whole engine).
# The archives sit between --whole-archive and --no-whole-archive for the same reason.
set(ZARNOTH_PC_KVL_LIBS)
set(ZARNOTH_PC_ZRN_LIBS)
foreach(lib ${ZARNOTH_ENGINE_LIBS})
  if(lib MATCHES "^kvl")
    string(APPEND ZARNOTH_PC_KVL_LIBS " -l${lib}")
  else()
    string(APPEND ZARNOTH_PC_ZRN_LIBS " -l${lib}")
  endif()
endforeach()
# The prefix is found from the file's own place, as the CMake package finds it.
file(RELATIVE_PATH ZARNOTH_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
foreach(pc zarnoth-kvl zarnoth)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/package/${pc}.pc.in ${CMAKE_BINARY_DIR}/package/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

# The examples and the licence ship with the development files, ready to be copied.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zarnoth-dev/examples
  COMPONENT dev)
