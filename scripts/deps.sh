# Shared by the scripts that build ZARNOTH 3D for another target (scripts/windows.sh,
# scripts/web.sh): step timing, installing a package list, apt-get source, and building
# zlib, libpng and libjpeg-turbo from Debian's source packages into a prefix.
# scripts/setup.sh takes only the package list installer (it sets need_update=0).
# Sourced, not run. For the library builds the caller sets root (the source tree), deps
# (the folder for the sources, builds and logs), prefix (where the libraries go), jobs, and defines
#   dep_cmake NAME SOURCE [CMAKE ARGS...]   configures $deps/build-NAME for the target
# and the arrays jpeg_args and png_args (the target's options for libjpeg-turbo, libpng).

sudo=()
if [[ "$(id -u)" != 0 ]]; then
    sudo=(sudo)
fi

step_started=0
step_name=""
# Times in milliseconds from bash's clock, so that no outside tool is needed.
now_ms() {
    local t="${EPOCHREALTIME/[.,]/}"
    echo $((t / 1000))
}
step() {
    step_done
    step_name="$1"
    step_started="$(now_ms)"
    echo "== $step_name"
}
step_done() {
    if [[ -n "$step_name" ]]; then
        local ms=$(($(now_ms) - step_started))
        printf '== %s: %d.%d s\n' "$step_name" $((ms / 1000)) $((ms % 1000 / 100))
        step_name=""
    fi
}

apt_updated=0
apt_update() {
    if ((apt_updated == 0)); then
        "${sudo[@]}" apt-get update -q
        apt_updated=1
    fi
}

# apt-get source needs a deb-src entry for the mirror this machine already uses; sets
# need_update when one was added.
ensure_deb_src() {
    if ! grep -rqsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        local uri suite
        uri="$(apt_main_uri)"
        suite="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
        echo "Adding a deb-src entry for $uri $suite main"
        printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$uri" "$suite" | "${sudo[@]}" tee /etc/apt/sources.list.d/zarnoth-deb-src.sources >/dev/null
        need_update=1
    fi
}

# The URI of the machine's deb entry for the main archive (deb822 or one-line format).
apt_main_uri() {
    local uri
    uri="$(awk '/^Types:/ {deb = ($0 ~ /[[:space:]]deb([[:space:]]|$)/)} deb && /^URIs:/ {print $2; exit}' \
        /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -v security | head -n 1 || true)"
    if [[ -z "$uri" ]]; then
        uri="$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) {print $i; exit}}' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | head -n 1 || true)"
    fi
    echo "${uri:-http://deb.debian.org/debian}"
}

# Installs what is missing from the package list $1 (one per line, '#' comments).
install_package_list() {
    local wanted=() missing=() pkg
    mapfile -t wanted < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$1" | grep -v '^$')
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if ((need_update)); then
        apt_update
    fi
    if ((${#missing[@]} == 0)); then
        return
    fi
    echo "Installing: ${missing[*]}"
    apt_update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Unpacks Debian's source package $1 (patches applied) under $deps/src and prints its
# folder. The source is fetched only when it is not there yet.
fetch_source() {
    local pkg="$1" dir
    mkdir -p "$deps/src/$pkg"
    dir="$(find "$deps/src/$pkg" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
    if [[ -z "$dir" ]]; then
        (cd "$deps/src/$pkg" && apt-get source -q "$pkg" >/dev/null 2>"$deps/src/$pkg.log") || {
            # A deb-src entry added just now needs fresh package lists.
            apt_update
            (cd "$deps/src/$pkg" && apt-get source -q "$pkg" >/dev/null)
        }
        dir="$(find "$deps/src/$pkg" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
    fi
    echo "$dir"
}

build_zlib() {
    local src lib
    src="$(fetch_source zlib)"
    dep_cmake zlib "$src"
    cmake --build "$deps/build-zlib" -j "$jobs" --target zlibstatic >"$deps/zlib-build.log"
    # The static library is libzlibstatic.a for MinGW, libz.a elsewhere.
    lib="$(find "$deps/build-zlib" -maxdepth 1 -name 'lib*.a' | head -n 1)"
    install -D -m 644 "$lib" "$prefix/lib/libz.a"
    install -D -m 644 -t "$prefix/include" "$src/zlib.h" "$deps/build-zlib/zconf.h"
}

build_libpng() {
    local src
    src="$(fetch_source libpng1.6)"
    dep_cmake libpng "$src" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_ROOT="$prefix" -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
        "${png_args[@]}"
    cmake --build "$deps/build-libpng" -j "$jobs" --target png_static >"$deps/libpng-build.log"
    install -D -m 644 "$deps/build-libpng/libpng16.a" "$prefix/lib/libpng16.a"
    install -D -m 644 -t "$prefix/include" "$src/png.h" "$src/pngconf.h" "$deps/build-libpng/pnglibconf.h"
}

build_libjpeg() {
    local src
    src="$(fetch_source libjpeg-turbo)"
    dep_cmake libjpeg "$src" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF "${jpeg_args[@]}"
    cmake --build "$deps/build-libjpeg" -j "$jobs" --target jpeg-static >"$deps/libjpeg-build.log"
    install -D -m 644 "$deps/build-libjpeg/libjpeg.a" "$prefix/lib/libjpeg.a"
    install -D -m 644 -t "$prefix/include" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" \
        "$deps/build-libjpeg/jconfig.h"
}

# Each library is built once; a stamp file in the prefix marks it done. $1 names the
# target in the step lines.
build_deps() {
    local lib
    mkdir -p "$prefix/stamps"
    for lib in zlib libpng libjpeg; do
        if [[ -f "$prefix/stamps/$lib" ]]; then
            echo "$lib: already built"
            continue
        fi
        step "build $lib for $1"
        "build_$lib"
        touch "$prefix/stamps/$lib"
    done
    step_done
}
