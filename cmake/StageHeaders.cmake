# Copies the engine's headers into the folder they install from (include/zarnoth/...),
# with the tree's includes ("core/kvl_stream.h") rewritten to the installed names
# ("zarnoth/core/kvl_stream.h"), so that a user's include path holds only the prefix's
# include/ and every engine header is reached through zarnoth/. A file is written only
# when its text changes, so that what includes it is not rebuilt for nothing.
#   cmake -DSOURCE=<tree> -DDEST=<build>/include/zarnoth -DDIRS=core|image|... -DSKIP=a|b -P
cmake_policy(VERSION 3.24)
string(REPLACE "|" ";" dirs "${DIRS}")
string(REPLACE "|" ";" skip "${SKIP}")
set(layers "core|platform|image|anim|sound|scene")
set(wanted)
foreach(dir ${dirs})
  file(GLOB headers RELATIVE ${SOURCE} ${SOURCE}/${dir}/*.h)
  foreach(h ${headers})
    if(NOT h IN_LIST skip)
      list(APPEND wanted ${h})
      file(READ ${SOURCE}/${h} text)
      string(REGEX REPLACE "#include \"(${layers})/" "#include \"zarnoth/\\1/" text "${text}")
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
