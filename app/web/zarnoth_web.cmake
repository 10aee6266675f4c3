# The web program: zarnoth.js (Emscripten's loader) and zarnoth.wasm, for the page in
# this folder. Single-threaded (no cross-origin isolation needed), WebGL 1, memory
# that grows with the scenes, the file system for the archive the page fetches.
add_executable(zarnoth ${CMAKE_CURRENT_LIST_DIR}/zarnoth_web.cpp)
target_link_libraries(zarnoth PRIVATE zarnoth_app)
target_link_options(zarnoth PRIVATE
  -sENVIRONMENT=web
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=67108864
  -sMIN_WEBGL_VERSION=1
  -sMAX_WEBGL_VERSION=1
  -sFORCE_FILESYSTEM=1
  -sEXIT_RUNTIME=0
  "-sEXPORTED_FUNCTIONS=_main,_zarnoth_play,_zarnoth_page,_zarnoth_show_info,_kvl_sound_web_pull,_malloc,_free"
  "-sEXPORTED_RUNTIME_METHODS=FS,ccall,lengthBytesUTF8,stringToUTF8,UTF8ToString,setValue")
# The sound output's JavaScript: relink when it changes; its worklet module goes next
# to zarnoth.wasm, where the page's sound looks for it.
set_property(TARGET zarnoth APPEND PROPERTY LINK_DEPENDS ${KVL_SOUND_WEB_JS})
add_custom_command(TARGET zarnoth POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/sound/web/kvl_ring_player.js
          $<TARGET_FILE_DIR:zarnoth>/kvl_ring_player.js)
