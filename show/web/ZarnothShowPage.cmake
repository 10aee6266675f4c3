# zarnoth_show_page(TARGET name SOURCES files... ARCHIVE file [LIBRARIES libs...]
#                   [OUTPUT_DIRECTORY dir]): a show's web page (Emscripten builds).
#
# The sources define ZRNShowPageDescription (show/web/zrn_showpage.h) and an empty
# main; the runtime adds the page's entry points. The folder (default
# pages/<name> in the build) gets the page, ready to serve once the show's archive is
# put beside it: index.html (naming ARCHIVE, which the page fetches), zarnoth_page.js,
# the program zarnoth.js and zarnoth.wasm (single-threaded, WebGL 1, memory that
# grows with the scenes, a file system for the archive) and the sound's worklet
# module kvl_ring_player.js.
function(zarnoth_show_page)
  cmake_parse_arguments(arg "" "TARGET;ARCHIVE;OUTPUT_DIRECTORY" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT arg_TARGET OR NOT arg_SOURCES OR NOT arg_ARCHIVE)
    message(FATAL_ERROR "zarnoth_show_page needs TARGET, SOURCES and ARCHIVE")
  endif()
  set(web ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  set(dir ${arg_OUTPUT_DIRECTORY})
  if(NOT dir)
    set(dir ${CMAKE_BINARY_DIR}/pages/${arg_TARGET})
  endif()
  add_executable(${arg_TARGET} ${arg_SOURCES} ${web}/zrn_showpage.cpp)
  target_link_libraries(${arg_TARGET} PRIVATE ${arg_LIBRARIES} zarnoth_show)
  # A show written against the installed package includes "zarnoth/core/..." : in the
  # tree that is the source folder itself.
  set(tree ${CMAKE_BINARY_DIR}/tree-include)
  if(NOT EXISTS ${tree}/zarnoth)
    file(MAKE_DIRECTORY ${tree})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR} ${tree}/zarnoth SYMBOLIC)
  endif()
  target_include_directories(${arg_TARGET} PRIVATE ${tree})
  set_target_properties(${arg_TARGET} PROPERTIES OUTPUT_NAME zarnoth RUNTIME_OUTPUT_DIRECTORY ${dir})
  target_link_options(${arg_TARGET} PRIVATE
    -sENVIRONMENT=web
    -sALLOW_MEMORY_GROWTH=1
    -sINITIAL_MEMORY=67108864
    -sMIN_WEBGL_VERSION=1
    -sMAX_WEBGL_VERSION=1
    -sFORCE_FILESYSTEM=1
    -sEXIT_RUNTIME=0
    "-sEXPORTED_FUNCTIONS=_main,_zarnoth_play,_zarnoth_page,_zarnoth_show_info,_kvl_sound_web_pull,_malloc,_free"
    "-sEXPORTED_RUNTIME_METHODS=FS,ccall,lengthBytesUTF8,stringToUTF8,UTF8ToString,setValue")
  # The sound output's JavaScript: relink when it changes.
  set_property(TARGET ${arg_TARGET} APPEND PROPERTY LINK_DEPENDS ${KVL_SOUND_WEB_JS})
  set(ZARNOTH_SHOW_ARCHIVE ${arg_ARCHIVE})
  configure_file(${web}/index.html ${dir}/index.html @ONLY)
  add_custom_command(TARGET ${arg_TARGET} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/sound/web/kvl_ring_player.js
            ${web}/zarnoth_page.js ${dir}/)
  set_property(TARGET ${arg_TARGET} APPEND PROPERTY LINK_DEPENDS ${web}/zarnoth_page.js)
endfunction()
