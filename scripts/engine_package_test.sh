#!/usr/bin/env bash
# The engine as another project sees it: the four example projects (examples/) built
# and run against the installed engine alone, from a copy outside the tree.
#   scripts/engine_package_test.sh prefix   `cmake --install build --component dev` into
#                                           a fresh prefix; every installed header
#                                           compiles on its own; the examples build
#                                           with CMAKE_PREFIX_PATH and once through
#                                           pkg-config, and run
#   scripts/engine_package_test.sh deb      the development package (built by
#                                           scripts/deb_test.sh into build/packages):
#                                           lintian, dpkg -i, the examples found under
#                                           /usr with no hint, dpkg -r (as root)
# The runs: picture_to_png on a BMP, PCX, TGA and JPEG picture gives the same PNG as
# `kvl image`; play_mp3 plays a generated MP3 on SDL's disk driver and its progress
# line reaches the end; turn_model renders 4 pictures of a real MD2 model offscreen,
# each showing the model, each turned from the last; scene_by_hand draws a model of the
# demo's archive (build/bin/quorvel.pak) from its members, and its picture must show a
# textured model; a wrong member name must fail naming the member. In the prefix, the
# installed headers are exactly those of docs/public_interface.txt, and programs of
# the pkg-config file zarnoth-media link no SDL or GL; each target the guide offers
# (Zarnoth::media, kvl, zrn, show, zrngles2) links alone: a program per target that
# uses one of its symbols, built against the prefix with only it linked, and run. The API reference (build/reference)
# must have been built (with zero Doxygen warnings, or the build fails) when Doxygen is
# there; under CI=true it must be there.
# Needs build/ configured and built (scripts/setup.sh). Exits non-zero on the first failure.
set -euo pipefail

mode="${1:-}"
cd "$(dirname "$0")/.."
root="$PWD"
fail() {
    echo "engine_package_test.sh: $*" >&2
    exit 1
}
[[ "$mode" == prefix || "$mode" == deb ]] || { echo "usage: $0 prefix|deb" >&2; exit 2; }
jobs="$(nproc 2>/dev/null || echo 2)"
model=/usr/share/assimp/models/MD2/sydney.md2
skin=/usr/share/assimp/models/MD2/sydney.bmp
[[ -f "$model" && -f "$skin" ]] || fail "no MD2 test model (package assimp-testmodels)"
archive="$root/build/bin/quorvel.pak"
[[ -f "$archive" ]] || fail "no $archive (build the demo's archive first)"

work="$(mktemp -d)"
installed_deb=""
cleanup() {
    rm -rf "$work"
    if [[ -n "$installed_deb" ]] && dpkg-query -W -f='${Status}' zarnoth-dev 2>/dev/null | grep -q 'ok installed'; then
        dpkg -r zarnoth-dev >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

# Inputs: one picture in the four formats, one second of a tone as MP3.
convert-im6.q16 -size 61x37 gradient:'#c04010-#1060d0' -draw 'circle 30,18 30,4' \
    -type truecolor "BMP3:$work/p.bmp"
for ext in pcx tga jpg; do
    convert-im6.q16 "$work/p.bmp" "$work/p.$ext"
done
perl -e 'print pack("s<*", map { int(8000 * sin($_ * 440 * 6.2831853 / 44100)) } 0 .. 44099)' >"$work/tone.raw"
lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m "$work/tone.raw" "$work/tone.mp3" 2>"$work/lame.log" ||
    { cat "$work/lame.log"; fail "lame failed"; }

# run_examples DIR [cmake options...]: copies the example projects from DIR, builds
# each one in $work/projects and runs it.
run_examples() {
    local from="$1" projects="$work/projects"
    shift
    rm -rf "$projects"
    cp -r "$from" "$projects"
    for name in picture_to_png play_mp3 turn_model scene_by_hand; do
        cmake -S "$projects/$name" -B "$projects/build-$name" -G Ninja "$@" >"$projects/$name.log" 2>&1 ||
            { cat "$projects/$name.log"; fail "$name does not configure"; }
        cmake --build "$projects/build-$name" -j "$jobs" >>"$projects/$name.log" 2>&1 ||
            { cat "$projects/$name.log"; fail "$name does not build"; }
    done
    # Nothing of the example builds points into the source or build tree.
    if grep -rlI --exclude=CMakeCache.txt -e "$root" "$projects" >/dev/null; then
        grep -rlI --exclude=CMakeCache.txt -e "$root" "$projects" | head -n 5 >&2
        fail "an example build refers to $root"
    fi
    # picture_to_png uses the media component alone: found with SDL2, OpenGL and pkg-config hidden
    # from CMake, and linked to no display, sound device or GL library.
    cmake -S "$projects/picture_to_png" -B "$projects/build-media" -G Ninja "$@" -DCMAKE_DISABLE_FIND_PACKAGE_SDL2=ON \
        -DCMAKE_DISABLE_FIND_PACKAGE_OpenGL=ON -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON >"$projects/media.log" 2>&1 ||
        { cat "$projects/media.log"; fail "the media component asks for SDL2 or OpenGL"; }
    local linked
    linked="$(ldd "$projects/build-picture_to_png/picture_to_png" | awk '{print $1}')"
    if grep -E '^lib(SDL2|GL|GLX|EGL|GLU|GLESv2|OpenGL|X11|asound|pulse)[-.]' <<<"$linked"; then
        fail "picture_to_png (Zarnoth::media) links a display, sound or GL library"
    fi
    echo "  picture_to_png (Zarnoth::media): $(wc -l <<<"$linked") shared libraries, none of SDL, GL, EGL, X11 or sound"
    check_pictures "$projects/build-picture_to_png/picture_to_png"

    local line
    line="$(cd "$projects" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$projects/heard.raw" \
        "$projects/build-play_mp3/play_mp3" "$work/tone.mp3" | tr '\r' '\n' | tail -n 1)" || fail "play_mp3 failed"
    [[ "$line" =~ ^\ *([0-9.]+)\ /\ ([0-9.]+)\ s$ ]] && [[ "${BASH_REMATCH[1]}" == "${BASH_REMATCH[2]}" ]] &&
        awk -v t="${BASH_REMATCH[2]}" 'BEGIN { exit !(t >= 1.0 && t < 1.2) }' ||
        fail "play_mp3's progress line ends '$line', not at the end of the 1 s tone"
    [[ -s "$projects/heard.raw" ]] && [[ -n "$(tr -d '\0' <"$projects/heard.raw" | head -c 1)" ]] ||
        fail "play_mp3 sent nothing but silence to the disk driver"
    echo "  play_mp3: progress line '$line', $(stat -c %s "$projects/heard.raw") bytes to the disk driver"

    (cd "$projects" && "$projects/build-turn_model/turn_model" "$model" "$skin" --frames 4 >"$projects/turn.log") ||
        { cat "$projects/turn.log"; fail "turn_model --frames 4 failed"; }
    local i spread distance
    for i in 0 1 2 3; do
        [[ -f "$projects/turn_$i.png" ]] || fail "turn_model wrote no turn_$i.png"
        # The clear colour alone has no spread at all.
        spread="$(convert-im6.q16 "$projects/turn_$i.png" -colorspace gray -format '%[fx:standard_deviation]' info:)"
        awk -v s="$spread" 'BEGIN { exit !(s > 0.01) }' || fail "turn_$i.png shows no model (spread $spread)"
    done
    for i in 1 2 3; do
        distance="$(compare-im6.q16 -metric RMSE "$projects/turn_$((i - 1)).png" "$projects/turn_$i.png" null: 2>&1 |
            sed -n 's/.*(\([0-9.e-]*\)).*/\1/p' || true)"
        awk -v d="$distance" 'BEGIN { exit !(d > 0.005) }' || fail "turn_$i.png is not turned from turn_$((i - 1)).png"
    done
    echo "  turn_model --frames 4: four pictures of the model, each turned (last step RMSE $distance)"

    # scene_by_hand: a model and its skin from the demo's archive, one picture offscreen.
    # Against the clear colour alone, the model covers part of the picture, and its skin
    # gives it many colours (an untextured model shades one colour).
    (cd "$projects" && "$projects/build-scene_by_hand/scene_by_hand" "$archive" 'md2\ddz\m.md2' 'md2\ddz\ddz.pcx' \
        "$projects/by_hand.png" >"$projects/by_hand.log" 2>&1) || { cat "$projects/by_hand.log"; fail "scene_by_hand failed"; }
    local covered colours
    covered="$(convert-im6.q16 "$projects/by_hand.png" -fill black -opaque 'rgb(38,38,51)' -fill white +opaque black \
        -colorspace gray -format '%[fx:mean]' info:)"
    colours="$(identify-im6.q16 -format '%k' "$projects/by_hand.png")"
    awk -v c="$covered" -v k="$colours" 'BEGIN { exit !(c > 0.02 && k > 64) }' ||
        fail "scene_by_hand's picture shows no textured model ($covered of it drawn, $colours colours)"
    # A wrong member name is an error that names it.
    if (cd "$projects" && "$projects/build-scene_by_hand/scene_by_hand" "$archive" 'md2/ddz/m.md2' 'x.pcx' x.png \
        >"$projects/wrong.log" 2>&1); then
        fail "scene_by_hand took a member that is not in the archive"
    fi
    grep -qF "no member 'md2/ddz/m.md2'" "$projects/wrong.log" || { cat "$projects/wrong.log"; fail "the wrong member is not named"; }
    echo "  scene_by_hand: the model drawn over $covered of the picture in $colours colours; a wrong member named"
}

# check_pictures PROGRAM: PROGRAM's PNG of each format equals `kvl image`'s.
check_pictures() {
    local program="$1" ext
    for ext in bmp pcx tga jpg; do
        "$program" "$work/p.$ext" "$work/projects/p_$ext.png" >/dev/null || fail "$program failed on p.$ext"
        build/bin/kvl image "$work/p.$ext" -o "$work/kvl_$ext.png" >/dev/null
        cmp -s "$work/projects/p_$ext.png" "$work/kvl_$ext.png" || fail "$(basename "$program") and kvl image differ on p.$ext"
    done
    echo "  $(basename "$program"): BMP, PCX, TGA and JPEG give the PNG of kvl image"
}

# check_targets_alone PREFIX: each target the guide offers (docs/getting_started.md)
# links alone. One throwaway project, one folder per target, each asking only for the
# target's component and linking only the target, with a program that uses a symbol of
# the target's top library: an MP3 decoded (media), the backend's sound output made
# (kvl), a grid mesh made (zrn), the shader renderer drawing offscreen (zrngles2), a
# show's description checked (show). One configure, one build, then each program runs.
check_targets_alone() {
    local prefix="$1" dir="$work/alone"
    local targets=(media:media kvl:render zrn:render show:show)
    if grep -q '^set(Zarnoth_HAS_GLES2 TRUE)' "$(find "$prefix" -name ZarnothConfig.cmake)"; then
        targets+=(zrngles2:gles2)
    elif [[ "${CI:-}" == true ]]; then
        fail "the installed package has no Zarnoth::zrngles2 (the build found no OpenGL ES 2)"
    else
        echo "  Zarnoth::zrngles2: not in this build (no OpenGL ES 2), not checked"
    fi
    mkdir -p "$dir"
    cp "$work/decode.cpp" "$dir/media.cpp"
    cat >"$dir/kvl.cpp" <<'CPP'
#include <cstdio>
#include "zarnoth/sound/kvl_sounddevice.h"
int main() {
    std::unique_ptr<KVLSoundOutput> output = KVLCreateSoundOutput(-1);
    std::puts(output ? "the backend's sound output made" : "no sound output");
    return output ? 0 : 1;
}
CPP
    cat >"$dir/zrn.cpp" <<'CPP'
#include <cstdio>
#include "zarnoth/scene/zrn_mesh.h"
int main() {
    std::unique_ptr<ZRNMesh> grid = ZRNMesh::MakeGrid(1.0f, 1.0f, 2);
    if (!grid || grid->GetFaceCount() < 1) return 1;
    std::printf("a grid of %d faces\n", grid->GetFaceCount());
}
CPP
    cat >"$dir/zrngles2.cpp" <<'CPP'
#include <cstdio>
#include "zarnoth/scene/zrn_renderer_gles2_offscreen.h"
int main() {
    ZRNRendererGLES2Offscreen renderer(32, 24);
    if (!renderer.Initialise()) { std::fprintf(stderr, "%s\n", renderer.GetError().c_str()); return 1; }
    std::unique_ptr<KVLImage> picture = renderer.ReadPixels();
    if (!picture) return 1;
    std::printf("the shader renderer read back %dx%d\n", picture->width, picture->height);
}
CPP
    cat >"$dir/show.cpp" <<'CPP'
#include <cstdio>
#include "zarnoth/show/zrn_show.h"
#include "zarnoth/show/zrn_showscene.h"
int main() {
    ZRNShowDescription show;
    show.title = "alone";
    show.program = "alone";
    show.music = []() -> const KVLStream* { return nullptr; };
    show.chapters = {{"only", 10, [](const ZRNShowSceneContext&) { return std::unique_ptr<ZRNShowScene>(); }}};
    const std::string problem = show.Check();
    if (!problem.empty()) { std::fprintf(stderr, "%s\n", problem.c_str()); return 1; }
    std::printf("%s\n", show.GetPageInfo().c_str());
}
CPP
    printf 'cmake_minimum_required(VERSION 3.24)\nproject(alone LANGUAGES CXX)\n' >"$dir/CMakeLists.txt"
    local entry name component
    for entry in "${targets[@]}"; do
        name="${entry%%:*}" component="${entry#*:}"
        mkdir -p "$dir/$name"
        printf 'find_package(Zarnoth 1.0 CONFIG REQUIRED COMPONENTS %s)\nadd_executable(alone_%s ../%s.cpp)\n%s\n' \
            "$component" "$name" "$name" "target_link_libraries(alone_$name PRIVATE Zarnoth::$name)" >"$dir/$name/CMakeLists.txt"
        echo "add_subdirectory($name)" >>"$dir/CMakeLists.txt"
    done
    if ! cmake -S "$dir" -B "$dir/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$dir/configure.log" 2>&1; then
        cat "$dir/configure.log"
        name="$(grep -o "$dir/[a-z0-9]*/CMakeLists.txt" "$dir/configure.log" | head -n 1 | sed "s|$dir/||; s|/.*||")"
        fail "Zarnoth::${name:-?}: its component's package does not configure alone"
    fi
    cmake --build "$dir/build" -j "$jobs" -- -k 0 >"$dir/build.log" 2>&1 || true
    local line
    for entry in "${targets[@]}"; do
        name="${entry%%:*}"
        if [[ ! -x "$dir/build/$name/alone_$name" ]]; then
            { cmake --build "$dir/build" --target "alone_$name" 2>&1 || true; } | tail -n 30
            fail "Zarnoth::$name: a program of it alone does not build"
        fi
        line="$(cd "$dir" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null "$dir/build/$name/alone_$name" "$work/tone.mp3" 2>&1)" ||
            { echo "$line"; fail "Zarnoth::$name: its program, linked with it alone, fails"; }
        echo "  Zarnoth::$name alone: $line"
    done
}

check_reference() {
    local html="$1"
    if [[ -f "$html/index.html" ]]; then
        grep -q -i "getting started" "$html/index.html" || fail "the reference's first page is not the getting-started page"
        ls "$html"/class*.html >/dev/null 2>&1 || fail "the reference documents no class"
        echo "  API reference: $(ls "$html"/class*.html | wc -l) class pages"
    elif [[ "${CI:-}" == true ]] || command -v doxygen >/dev/null; then
        fail "no API reference in $html"
    else
        echo "  API reference: not built (no doxygen)"
    fi
}

if [[ "$mode" == prefix ]]; then
    prefix="$work/prefix"
    cmake --install build --component dev --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install failed"; }
    [[ "$(ls "$prefix/include")" == zarnoth ]] || fail "the prefix's include/ holds $(ls "$prefix/include" | tr '\n' ' ')"
    # Every installed header compiles alone, on the package's include path only
    # (include/ and include/zarnoth, as the CMake package and pkg-config give it).
    mapfile -t headers < <(cd "$prefix/include" && find zarnoth -name '*.h' | sort)
    printf '%s\n' "${headers[@]}" | xargs -P "$jobs" -I{} sh -c \
        'printf "#include \"%s\"\n" "$1" | g++ -std=c++20 -fsyntax-only -I"$2" -I"$2/zarnoth" -x c++ - ||
         { echo "$1 does not compile on its own" >&2; exit 255; }' sh {} "$prefix/include" ||
        fail "an installed header does not compile on its own"
    echo "  ${#headers[@]} installed headers, each compiles on its own"
    # The installed headers are the recorded interface's, no more, no fewer; the MPEG
    # decoder and the renderer's helpers are not among them; a header of an internal/
    # folder is there only because a public one includes it.
    diff <(printf '%s\n' "${headers[@]}") <(sed -n 's/^== //p' docs/public_interface.txt | LC_ALL=C sort) ||
        fail "the installed headers are not those of docs/public_interface.txt"
    for internal in sound/mpeg/mpg_decoder.h sound/mpeg/mpg_internal.h scene/zrn_texturelevels.h \
        scene/sdl/zrn_egl_pbuffer.h; do
        [[ ! -e "$prefix/include/zarnoth/$internal" ]] || fail "the internal header $internal is installed"
    done
    reached="$(printf '#include "%s"\n' "${headers[@]}" | grep -v /internal/ |
        g++ -std=c++20 -MM -MT all -I"$prefix/include" -I"$prefix/include/zarnoth" -x c++ -)"
    for h in $(printf '%s\n' "${headers[@]}" | grep /internal/); do
        grep -qF "/include/$h" <<<"$reached" || fail "$h is installed but no public header includes it"
    done
    run_examples "$prefix/share/doc/zarnoth-dev/examples" -DCMAKE_PREFIX_PATH="$prefix"
    # pkg-config: one command line, no CMake. zarnoth-media asks for no SDL2 or GL, and
    # its programs (picture_to_png, an MP3 decoded to its end) link none.
    libdir="$(dirname "$(find "$prefix" -name zarnoth-media.pc)")"
    media_flags="$(PKG_CONFIG_PATH="$libdir" pkg-config --cflags --libs zarnoth-media)"
    PKG_CONFIG_PATH="$libdir" pkg-config --print-requires zarnoth-media | grep -E 'sdl|gl|egl' &&
        fail "zarnoth-media.pc asks for SDL2 or GL"
    cat >"$work/decode.cpp" <<'CPP'
#include <cstdio>
#include "zarnoth/core/kvl_filestream.h"
#include "zarnoth/sound/kvl_soundsource_mp3.h"
int main(int, char** argv) {
    KVLSoundSourceMP3 source{KVLFileStream(argv[1])};
    KVLString text;
    if (!source.Open(&text)) { std::fprintf(stderr, "%s\n", text.c_str()); return 1; }
    long frames = 0;
    while (!source.IsAtEnd() && source.NextBlock()) frames += source.GetBlockFrames();
    std::printf("%d %ld %d\n", source.GetSampleRate(), frames, source.GetLength());
}
CPP
    media_programs=(picture_pc decode_pc)
    # shellcheck disable=SC2086
    g++ -std=c++20 -o "$work/projects/picture_pc" "$work/projects/picture_to_png/picture_to_png.cpp" $media_flags ||
        fail "picture_to_png does not build with pkg-config"
    # shellcheck disable=SC2086
    g++ -std=c++20 -o "$work/projects/decode_pc" "$work/decode.cpp" $media_flags || fail "the MP3 decoder does not build with pkg-config"
    for p in "${media_programs[@]}"; do
        ! ldd "$work/projects/$p" | grep -E '^\s*lib(SDL2|GL|GLX|EGL|GLU|GLESv2|OpenGL|X11|asound|pulse)[-.]' ||
            fail "$p (zarnoth-media) links a display, sound or GL library"
    done
    check_pictures "$work/projects/picture_pc"
    read -r rate frames length < <("$work/projects/decode_pc" "$work/tone.mp3") || fail "decode_pc failed on tone.mp3"
    # One second of 44.1 kHz, plus the encoder's delay and padding (under three frames).
    ((rate == 44100 && frames >= 44100 && frames < 44100 + 3 * 1152 && frames == length)) ||
        fail "decode_pc: $rate Hz, $frames frames decoded, length $length (one second at 44.1 kHz expected)"
    echo "  zarnoth-media (pkg-config): picture_to_png and an MP3 decoder ($frames frames at $rate Hz) link no SDL or GL"
    # zarnoth.pc: the whole engine on one command line draws what the CMake build drew.
    # shellcheck disable=SC2046
    g++ -std=c++20 -o "$work/projects/by_hand_pc" "$work/projects/scene_by_hand/scene_by_hand.cpp" \
        $(PKG_CONFIG_PATH="$libdir" pkg-config --cflags --libs zarnoth) || fail "scene_by_hand does not build with zarnoth.pc"
    (cd "$work/projects" && ./by_hand_pc "$archive" 'md2\ddz\m.md2' 'md2\ddz\ddz.pcx' by_hand_pc.png >/dev/null 2>&1) ||
        fail "scene_by_hand (zarnoth.pc) failed"
    cmp -s "$work/projects/by_hand.png" "$work/projects/by_hand_pc.png" || fail "scene_by_hand draws otherwise through zarnoth.pc"
    echo "  zarnoth (pkg-config): scene_by_hand draws the same picture"
    check_targets_alone "$prefix"
    check_reference "$prefix/share/doc/zarnoth-dev/reference"
    echo "Engine package (prefix) tests passed."
    exit 0
fi

[[ "$(id -u)" == 0 ]] || fail "the deb mode installs a package: run it as root"
mapfile -t debs < <(ls build/packages/zarnoth-dev_*.deb 2>/dev/null)
((${#debs[@]} == 1)) || fail "expected one zarnoth-dev package in build/packages (scripts/deb_test.sh makes it)"
deb="$root/${debs[0]}"
echo "package: $(basename "$deb")"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Recommends\|Suggests\|Section\):/  \1:/p'
# A media-only user needs no SDL, GL or EGL files: those are recommended, not required.
dpkg-deb -f "$deb" Depends | grep -E 'sdl|gl|egl|gles' && fail "zarnoth-dev depends on SDL or GL development files"
lintian_out="$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)"
[[ -z "$lintian_out" ]] || printf '%s\n' "$lintian_out" | sed 's/^/  lintian: /'
grep -q '^E: ' <<<"$lintian_out" && fail "lintian reports errors"
if dpkg-query -W -f='${Status}' zarnoth-dev 2>/dev/null | grep -q installed; then
    dpkg -P zarnoth-dev >/dev/null
fi
installed_deb=yes
dpkg -i "$deb" >"$work/dpkg-i.log" 2>&1 || { cat "$work/dpkg-i.log"; fail "dpkg -i failed"; }
run_examples /usr/share/doc/zarnoth-dev/examples
check_reference /usr/share/doc/zarnoth-dev/reference
mapfile -t files < <(dpkg-query -L zarnoth-dev | grep -v '^/\.$')
dpkg -r zarnoth-dev >"$work/dpkg-r.log" 2>&1 || { cat "$work/dpkg-r.log"; fail "dpkg -r failed"; }
for f in "${files[@]}"; do
    if [[ -f "$f" || "$f" == */zarnoth || "$f" == */zarnoth-dev || "$f" == */cmake/Zarnoth ]] && [[ -e "$f" ]]; then
        fail "dpkg -r left $f behind"
    fi
done
echo "Engine package (deb) tests passed."
