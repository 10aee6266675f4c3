# Copies the engine's installed headers, as they are, into the folder they install
# from (include/zarnoth/...), leaving out the private ones; the API reference is made
# from that folder. Their includes name the layer folder ("core/kvl_stream.h"), as in
# the tree: the package puts include/zarnoth on the include path beside include/, where
# a program finds them as "zarnoth/core/kvl_stream.h". A file is written only when its
# text changes, so that what includes it is not rebuilt for nothing.
#   cmake -DSOURCE=<tree> -DDEST=<build>/include/zarnoth -DDIRS=core|image|... -DSKIP=a|b -P
cmake_policy(VERSION 3.24)
string(REPLACE "|" ";" dirs "${DIRS}")
string(REPLACE "|" ";" skip "${SKIP}")
set(wanted)
foreach(dir ${dirs})
  file(GLOB headers RELATIVE ${SOURCE} ${SOURCE}/${dir}/*.h)
  foreach(h ${headers})
    if(NOT h IN_LIST skip)
      list(APPEND wanted ${h})
      file(READ ${SOURCE}/${h} text)
      set(old "")
      if(EXISTS ${DEST}/${h})
        file(READ ${DEST}/${h} old)
      endif()
      if(NOT old STREQUAL text)
        file(WRITE ${DEST}/${h} "${text}")
      endif()
    endif()
  endforeach()
endforeach()
# Headers removed from the tree leave the staging folder too.
file(GLOB_RECURSE staged RELATIVE ${DEST} ${DEST}/*.h)
foreach(h ${staged})
  if(NOT h IN_LIST wanted)
    file(REMOVE ${DEST}/${h})
  endif()
endforeach()
