# The API reference: Doxygen over the installed headers (the staged include/zarnoth)
# and docs/getting_started.md, built by the target "reference" (part of every build
# when Doxygen is there) into build/reference/html and shipped in the development
# package. Any Doxygen warning fails the build. The headers' own comments are the
# documentation: docs/doxygen_filter.sed shows Doxygen the // comments as /// ones.
option(ZARNOTH_REFERENCE "Build the API reference (needs Doxygen)" ON)
if(NOT ZARNOTH_REFERENCE)
  zarnoth_leave_out("the API reference" "ZARNOTH_REFERENCE is OFF")
  return()
endif()
find_program(ZARNOTH_DOXYGEN doxygen)
if(NOT ZARNOTH_DOXYGEN)
  zarnoth_leave_out("the API reference" "doxygen was not found (package doxygen)")
  return()
endif()
set(ZARNOTH_REFERENCE_DIR ${CMAKE_BINARY_DIR}/reference)
configure_file(${CMAKE_SOURCE_DIR}/docs/Doxyfile.in ${ZARNOTH_REFERENCE_DIR}/Doxyfile @ONLY)
add_custom_command(OUTPUT ${ZARNOTH_REFERENCE_DIR}/html/index.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZARNOTH_REFERENCE_DIR}/html
  COMMAND ${ZARNOTH_DOXYGEN} ${ZARNOTH_REFERENCE_DIR}/Doxyfile
  DEPENDS ${CMAKE_BINARY_DIR}/include.stamp ${ZARNOTH_REFERENCE_DIR}/Doxyfile
    ${CMAKE_SOURCE_DIR}/docs/getting_started.md ${CMAKE_SOURCE_DIR}/docs/doxygen_filter.sed
  WORKING_DIRECTORY ${ZARNOTH_REFERENCE_DIR}
  COMMENT "API reference (Doxygen, warnings fail)"
  VERBATIM)
add_custom_target(reference ALL DEPENDS ${ZARNOTH_REFERENCE_DIR}/html/index.html)
add_dependencies(reference zarnoth_headers)
install(DIRECTORY ${ZARNOTH_REFERENCE_DIR}/html/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zarnoth-dev/reference
  COMPONENT dev)
