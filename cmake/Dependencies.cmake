# Outside libraries the engine links. Each is a Debian package that the set-up script
# (scripts/setup.sh) installs.
find_package(Threads REQUIRED)

set(ZARNOTH_KVL_DEPS Threads::Threads)
