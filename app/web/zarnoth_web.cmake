# The demo's web page: the runtime's page (show/web/) playing the demo's show, in
# bin/ next to the Linux build's layout; scripts/web.sh adds quorvel.pak.
zarnoth_show_page(TARGET zarnoth SOURCES ${CMAKE_CURRENT_LIST_DIR}/zarnoth_web.cpp LIBRARIES zarnoth_app
  ARCHIVE quorvel.pak OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
