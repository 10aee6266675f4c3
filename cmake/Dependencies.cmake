# Outside libraries the engine links. Each is a Debian package that the set-up script
# (scripts/setup.sh) installs.
find_package(Threads REQUIRED)

if(WIN32)
  # The Windows build (cmake/toolchain-mingw-i686.cmake): the platform layer and the
  # renderer use the system's Win32, WinMM, DirectSound and OpenGL 1.1/GLU libraries;
  # libjpeg-turbo, libpng and zlib come from the prefix that scripts/windows.sh builds
  # from Debian's source packages for the target. No libmpg123 reference decoder: the
  # tests that compare with it stay on Linux.
  find_package(JPEG REQUIRED)
  find_package(PNG REQUIRED)
  set(ZARNOTH_PLATFORM_DEPS user32 gdi32 winmm Threads::Threads)
  set(ZARNOTH_SOUND_DEPS winmm dsound dxguid ole32 user32)
  set(ZARNOTH_ZRN_DEPS opengl32 glu32 gdi32 user32)
  return()
endif()

if(EMSCRIPTEN)
  # The web build (scripts/web.sh): the page's canvas, WebGL and Web Audio come with
  # Emscripten; libjpeg-turbo, libpng and zlib from the prefix that scripts/web.sh
  # builds from Debian's source packages for wasm.
  if(NOT ZARNOTH_WEB_DEPS)
    message(FATAL_ERROR "ZARNOTH_WEB_DEPS: the prefix of the wasm libraries (scripts/web.sh build)")
  endif()
  foreach(lib ZLIB:z JPEG:jpeg PNG:png16)
    string(REPLACE ":" ";" parts ${lib})
    list(GET parts 0 name)
    list(GET parts 1 file)
    add_library(${name}::${name} STATIC IMPORTED)
    set_target_properties(${name}::${name} PROPERTIES IMPORTED_LOCATION ${ZARNOTH_WEB_DEPS}/lib/lib${file}.a
      INTERFACE_INCLUDE_DIRECTORIES ${ZARNOTH_WEB_DEPS}/include)
  endforeach()
  set_target_properties(PNG::PNG PROPERTIES INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  set(ZARNOTH_PLATFORM_DEPS)
  set(ZARNOTH_SOUND_DEPS)
  set(ZARNOTH_ZRN_DEPS)
  return()
endif()

# Platform layer (platform/, library kvlplatform): window, display mode and message box.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
set(ZARNOTH_PLATFORM_DEPS PkgConfig::SDL2 Threads::Threads)
set(ZARNOTH_SOUND_DEPS PkgConfig::SDL2)

# JPEG decoding (libjpeg-turbo's IJG-compatible API) and PNG files for the tools.
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)

# libmpg123: an independent MPEG audio decoder, used only by the tests and the
# benchmark as a reference (never linked into the engine), so only they need it.
if(ZARNOTH_TESTS OR ZARNOTH_BENCH)
  pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
endif()

# What an optional part needs, and what the build leaves out without it: said once at
# configure time (ZARNOTH_LEFT_OUT collects it for the summary at the end).
set(ZARNOTH_LEFT_OUT)
macro(zarnoth_leave_out what why)
  message(STATUS "Leaving out ${what}: ${why}")
  list(APPEND ZARNOTH_LEFT_OUT "${what}")
endmacro()

# Video files (show/zrn_showvideo.cpp): FFmpeg's encoders (libx264 and AAC, FFV1 and PCM),
# muxers and colour conversion, in a module of their own (zarnoth --video). Optional:
# without FFmpeg, --video says that this build has no video module.
option(ZARNOTH_WITH_VIDEO "Build the video module (needs FFmpeg's libraries)" ON)
set(ZARNOTH_VIDEO OFF)
if(ZARNOTH_WITH_VIDEO)
  pkg_check_modules(FFMPEG QUIET IMPORTED_TARGET libavcodec libavformat libavutil libswscale)
  if(FFMPEG_FOUND)
    set(ZARNOTH_VIDEO ON)
  else()
    zarnoth_leave_out("the video module (zarnoth --video) and its tests"
      "FFmpeg's libavcodec, libavformat, libavutil and libswscale were not found (packages libavcodec-dev libavformat-dev libswscale-dev)")
  endif()
else()
  zarnoth_leave_out("the video module (zarnoth --video) and its tests" "ZARNOTH_WITH_VIDEO is OFF")
endif()

# Renderer (scene/, library zrn): OpenGL 1.1 with GLU through the GL vendor-neutral
# dispatch, so that one set of gl* entry points serves both bindings: the SDL window's
# GLX context and the offscreen EGL context (Mesa's surfaceless platform, no display).
set(OpenGL_GL_PREFERENCE GLVND)
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL)
if(NOT TARGET OpenGL::GLU)
  message(FATAL_ERROR "GLU not found (Debian package libglu1-mesa-dev)")
endif()
set(ZARNOTH_ZRN_DEPS OpenGL::GL OpenGL::GLU OpenGL::EGL PkgConfig::SDL2)

# Shader renderer (scene/zrn_renderer_gles2.cpp, library zrngles2): OpenGL ES 2 through
# the same dispatch, with an EGL context on Mesa (package libgles-dev). Windows has no
# OpenGL ES and does not build it (ZARNOTH_GLES2_DEPS stays empty there).
# Optional: the program draws with the OpenGL 1.1 renderer; without OpenGL ES 2 the
# shader renderer, its tests and its reference pictures are left out.
option(ZARNOTH_WITH_GLES2 "Build the shader renderer (needs OpenGL ES 2)" ON)
set(ZARNOTH_GLES2_DEPS)
if(ZARNOTH_WITH_GLES2)
  pkg_check_modules(GLESV2 QUIET IMPORTED_TARGET glesv2)
  if(GLESV2_FOUND)
    set(ZARNOTH_GLES2_DEPS PkgConfig::GLESV2 OpenGL::EGL)
  else()
    zarnoth_leave_out("the shader renderer (library zrngles2) and its tests"
      "OpenGL ES 2 (glesv2) was not found (package libgles-dev)")
  endif()
else()
  zarnoth_leave_out("the shader renderer (library zrngles2) and its tests" "ZARNOTH_WITH_GLES2 is OFF")
endif()
