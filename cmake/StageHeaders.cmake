# Copies the engine's installed headers, as they are, into a folder of the build
# (include/zarnoth/...), from which the API reference and the interface record are made;
# cmake/Install.cmake decides which headers these are. A file is written only when its
# text changes, so that what reads it is not redone for nothing; a header no longer in
# the list leaves the folder.
#   cmake -DSOURCE=<tree> -DDEST=<build>/include/zarnoth -DHEADERS=core/a.h|image/b.h -P
cmake_policy(VERSION 3.24)
string(REPLACE "|" ";" wanted "${HEADERS}")
foreach(h ${wanted})
  file(READ ${SOURCE}/${h} text)
  set(old "")
  if(EXISTS ${DEST}/${h})
    file(READ ${DEST}/${h} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${DEST}/${h} "${text}")
  endif()
endforeach()
file(GLOB_RECURSE staged RELATIVE ${DEST} ${DEST}/*.h)
foreach(h ${staged})
  if(NOT h IN_LIST wanted)
    file(REMOVE ${DEST}/${h})
  endif()
endforeach()
