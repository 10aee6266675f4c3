# Outside libraries the engine links. Each is a Debian package that the set-up script
# (scripts/setup.sh) installs.
find_package(Threads REQUIRED)

set(ZARNOTH_KVL_DEPS Threads::Threads)

# libmpg123: an independent MPEG audio decoder, used only by the tests and the
# benchmark as a reference (never linked into the engine).
find_package(PkgConfig REQUIRED)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
