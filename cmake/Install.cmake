# The engine as an installed library (component "dev"): its headers under
# include/zarnoth/ as they are in the tree, its static libraries, a CMake package (find_package(Zarnoth)) and
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

# The libraries, exported (install(EXPORT)) in three sets, one per component of the
# package, each with the outside libraries it needs: "media" (the multimedia layers
# with the headless platform pieces: JPEG, PNG, threads), "render" (the backend's
# window and sound devices, the scene graph and the OpenGL renderer: also SDL2,
# OpenGL, GLU, EGL), "gles2" (the shader renderer: also OpenGL ES 2).
#
# A user links Zarnoth::<library> (Zarnoth::zrnscene is libzrn.a, the scene graph) or
# the gatherings Zarnoth::media, Zarnoth::kvl, Zarnoth::zrn: interface targets that
# link the archives (exported as Zarnoth::<library>_archive) whole, and the engine
# libraries each needs by their package names, so that every archive reaches the
# link line with the whole-archive feature and never plainly.
set(ZARNOTH_INSTALLED_LIBS ${ZARNOTH_ENGINE_LIBS} kvlplatform_headless)
if(TARGET zrngles2)
  list(APPEND ZARNOTH_INSTALLED_LIBS zrngles2)
endif()
set(ZARNOTH_MEDIA_LIBS kvlcore kvlplatform kvlplatform_headless kvlimage kvlanim kvlsound)

function(zarnoth_package_name lib out)
  if(lib STREQUAL "zrn")
    set(${out} zrnscene PARENT_SCOPE)
  else()
    set(${out} ${lib} PARENT_SCOPE)
  endif()
endfunction()

# zarnoth_package_target(set name links...): an exported interface target Zarnoth::name.
function(zarnoth_package_target set name)
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
  install(TARGETS zarnoth_package_${name} EXPORT ${set} COMPONENT dev)
endfunction()

foreach(lib ${ZARNOTH_INSTALLED_LIBS})
  if(lib IN_LIST ZARNOTH_MEDIA_LIBS)
    set(set ZarnothMedia)
  elseif(lib STREQUAL "zrngles2")
    set(set ZarnothGLES2)
  else()
    set(set ZarnothRender)
  endif()
  set_target_properties(${lib} PROPERTIES EXPORT_NAME ${lib}_archive)
  install(TARGETS ${lib} EXPORT ${set} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
  get_property(links GLOBAL PROPERTY ZARNOTH_LINK_${lib})
  set(uses)
  foreach(item ${links})
    if(item IN_LIST ZARNOTH_INSTALLED_LIBS)
      zarnoth_package_name(${item} item)
      list(APPEND uses Zarnoth::${item})
    endif()
  endforeach()
  zarnoth_package_name(${lib} name)
  zarnoth_package_target(${set} ${name} "$<LINK_LIBRARY:WHOLE_ARCHIVE,Zarnoth::${lib}_archive>" ${uses})
endforeach()
# Not together with Zarnoth::kvl or zrn: the headless pieces stand in for the backend's.
zarnoth_package_target(ZarnothMedia media Zarnoth::kvlanim Zarnoth::kvlsound Zarnoth::kvlplatform_headless)
zarnoth_package_target(ZarnothRender kvl Zarnoth::kvlanim Zarnoth::kvlsound_${ZARNOTH_BACKEND}
  Zarnoth::kvlplatform_${ZARNOTH_BACKEND})
zarnoth_package_target(ZarnothRender zrn Zarnoth::zrnrender Zarnoth::kvl)
set(ZARNOTH_EXPORT_SETS ZarnothMedia ZarnothRender)
if(TARGET zrngles2)
  list(APPEND ZARNOTH_EXPORT_SETS ZarnothGLES2)
endif()
foreach(set ${ZARNOTH_EXPORT_SETS})
  install(EXPORT ${set} NAMESPACE Zarnoth:: DESTINATION ${ZARNOTH_CMAKE_DIR} FILE ${set}.cmake COMPONENT dev)
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
