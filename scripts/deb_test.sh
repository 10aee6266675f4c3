#!/usr/bin/env bash
# The program's Debian package end to end, on this machine (as root, as CI runs): builds it with
# CPack from the build in build/, checks it with lintian (no errors), installs it with
# dpkg, runs the installed programs from another folder (the demo must find its
# archive in the package's data folder and render the reference picture; both print
# the version), renders both manual pages, then removes the package and checks that
# nothing of it is left. The development package made beside it is tested by
# scripts/engine_package_test.sh deb.
#   scripts/deb_test.sh        needs build/ configured and built (scripts/setup.sh)
# Exits non-zero on the first failure. A zarnoth package installed before is removed
# first and not put back.
set -euo pipefail

cd "$(dirname "$0")/.."
root="$PWD"
if [[ "$(id -u)" != 0 ]]; then
    echo "deb_test.sh installs a package: run it as root" >&2
    exit 1
fi

fail() {
    echo "deb_test.sh: $*" >&2
    exit 1
}

version="$(sed -n 's/^project(zarnoth VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)"
[[ -n "$version" ]] || fail "no version in CMakeLists.txt"

# The packages install under /usr, and the program must look for its data there: the
# build they come from is configured with that prefix (it is the builder's otherwise).
prefix="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' build/CMakeCache.txt)"
if [[ "$prefix" != /usr ]]; then
    echo "configuring build/ with the prefix /usr (was ${prefix:-unset}) for the packages"
    cmake -S . -B build -DCMAKE_INSTALL_PREFIX=/usr >build/package.log 2>&1 || { cat build/package.log; fail "configure failed"; }
fi
rm -rf build/packages
cmake --build build --target package >build/package.log 2>&1 || { cat build/package.log; fail "cpack failed"; }
mapfile -t debs < <(ls build/packages/zarnoth_*.deb 2>/dev/null)
((${#debs[@]} == 1)) || fail "expected one package in build/packages, found ${#debs[@]}"
deb="$root/${debs[0]}"
echo "package: $(basename "$deb")"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Section\):/  \1:/p'
dpkg-deb --contents "$deb" | awk '{print "  " $6}'

# lintian: warnings are shown, errors fail.
lintian_out="$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)"
if [[ -n "$lintian_out" ]]; then
    printf '%s\n' "$lintian_out" | sed 's/^/  lintian: /'
fi
if grep -q '^E: ' <<<"$lintian_out"; then
    fail "lintian reports errors"
fi

work="$(mktemp -d)"
cleanup() {
    rm -rf "$work"
    if dpkg-query -W -f='${Status}' zarnoth 2>/dev/null | grep -q 'install ok installed'; then
        dpkg -r zarnoth >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

if dpkg-query -W -f='${Status}' zarnoth 2>/dev/null | grep -q installed; then
    dpkg -P zarnoth >/dev/null
fi
dpkg -i "$deb" >"$work/dpkg-i.log" 2>&1 || { cat "$work/dpkg-i.log"; fail "dpkg -i failed"; }

# The installed programs, from a folder that holds no archive.
[[ "$(command -v zarnoth)" == /usr/bin/zarnoth ]] || fail "zarnoth is not on PATH as /usr/bin/zarnoth"
[[ "$(cd "$work" && zarnoth --version)" == "zarnoth $version" ]] || fail "zarnoth --version does not say $version"
[[ "$(cd "$work" && kvl --version)" == "kvl $version" ]] || fail "kvl --version does not say $version"
(cd "$work" && zarnoth --shot 100 -o shot.png) || fail "the installed zarnoth --shot 100 failed"
convert-im6.q16 "$work/shot.png" -resize 160x120 -strip "$work/small.png"
distance="$(compare-im6.q16 -metric RMSE "$work/small.png" tests/app/reference/shot_100_fps60.png null: 2>&1 |
    sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')"
[[ -n "$distance" ]] || fail "could not compare the installed program's picture"
awk -v d="$distance" 'BEGIN { exit !(d <= 0.03) }' || fail "the installed program's picture is off (RMSE $distance)"
echo "installed zarnoth --shot 100: the reference picture (RMSE $distance)"
# The installed program finds its video module: the module itself judges the codec.
refusal="$(cd "$work" && zarnoth --video show.mkv --codec vp9 2>&1)" && fail "zarnoth --video took an unknown codec"
[[ "$refusal" == *"unknown codec 'vp9'"* ]] || fail "the installed zarnoth did not load its video module: $refusal"
echo "installed zarnoth --video: the video module answers ($refusal)"

# The manual pages render (without warnings from the formatter).
for page in zarnoth kvl; do
    LC_ALL=C MANWIDTH=80 man "$page" >"$work/$page.txt" 2>"$work/$page.err" || fail "man $page failed"
    [[ ! -s "$work/$page.err" ]] || { cat "$work/$page.err"; fail "man $page warns"; }
    grep -q -- '--version' "$work/$page.txt" || fail "man $page lacks --version"
done
grep -q -- '--video' "$work/zarnoth.txt" || fail "man zarnoth lacks --video"
echo "man zarnoth, man kvl: $(wc -l <"$work/zarnoth.txt") and $(wc -l <"$work/kvl.txt") lines"

# Removal leaves none of the package's files behind.
mapfile -t files < <(dpkg-query -L zarnoth | grep -v '^/\.$')
dpkg -r zarnoth >"$work/dpkg-r.log" 2>&1 || { cat "$work/dpkg-r.log"; fail "dpkg -r failed"; }
if dpkg-query -W -f='${Status}' zarnoth 2>/dev/null | grep -q 'ok installed'; then
    fail "zarnoth is still installed"
fi
left=0
for f in "${files[@]}"; do
    # Folders the system shares (/usr/share/man ...) stay; the package's own go.
    if [[ -f "$f" || "$f" == /usr/share/zarnoth || "$f" == /usr/share/doc/zarnoth ]] && [[ -e "$f" ]]; then
        echo "left behind: $f" >&2
        left=1
    fi
done
((left == 0)) || fail "dpkg -r left files behind"
command -v zarnoth >/dev/null && fail "zarnoth is still on PATH"
echo "Debian package tests passed."
