# Outside libraries the engine links. Each is a Debian package that the set-up script
# (scripts/setup.sh) installs.
find_package(Threads REQUIRED)

set(ZARNOTH_KVL_DEPS Threads::Threads)

# Platform layer (platform/, library kvlplatform): window, display mode and message box.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
set(ZARNOTH_PLATFORM_DEPS PkgConfig::SDL2 Threads::Threads)
