#!/usr/bin/env bash
# Checks that every outside program the tests and scripts call comes from a Debian
# package that scripts/packages*.txt lists (or that such a package pulls in, or that
# every Debian system has: priority required or important). A program missing from the
# lists would be installed on the machine where the tests were written and missing on a
# fresh one, where its tests fail under CI=true.
#
# The names are gathered from the tests' sources (one-word string literals, the first
# word of the commands the tests run, every HaveProgram name) and from the words of the
# scripts; a word counts as a program when it is an executable on PATH. Names that the tests ask for explicitly (HaveProgram, or a command's first
# word) must be on PATH at all. Limits: a program whose name is assembled at run time
# is not seen.
set -euo pipefail
cd "$(dirname "$0")/.."

# Called on purpose from outside the lists: sudo only when the user is not root (a
# machine without it runs the scripts as root); apt-get's own helpers.
allowed_unlisted=(sudo)
# Words that the gathering takes for programs but that name something else here.
not_programs=(file) # the stream tests' case name

listed=()
mapfile -t listed < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e 's/:.*//' scripts/packages*.txt | grep -v '^$' | sort -u)

# Everything the listed packages pull in (installed ones only: the check runs after
# set-up has installed the lists).
declare -A closure=()
while read -r pkg; do
    closure["${pkg%%:*}"]=1
done < <(apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts \
    --no-breaks --no-replaces --no-enhances "${listed[@]}" 2>/dev/null | grep -v '^ ' | sed 's/[<>]//g')

# Names the tests require by name: HaveProgram("x"), and the first word of Run("x ...")
# unless it is a shell builtin or a variable assignment.
sources=(--include='*.cpp' --include='*.h' -r tests)
mapfile -t required < <({
    grep -hoE 'HaveProgram\("[^"]+"\)' "${sources[@]}" | sed -E 's/^HaveProgram\("//; s/"\)$//'
    grep -hoE 'Run\((std::string\()?"[A-Za-z][A-Za-z0-9_.+-]*[ "]' "${sources[@]}" | sed -E 's/^Run\((std::string\()?"//; s/[ "]$//'
} | sort -u)
# Words that may name programs: the tests' one-word string literals and the first word
# of those that go on with an option ("lame --quiet ..."), and every word of the
# scripts outside comments and quoted texts.
mapfile -t candidates < <({
    printf '%s\n' "${required[@]}"
    grep -hoE '"[A-Za-z][A-Za-z0-9_.+-]*("| -)' "${sources[@]}" | sed -E 's/^"//; s/("| -)$//'
    cat scripts/*.sh .ci/run | sed -E -e 's/(^|[[:space:]])#.*//' -e 's/"[^"$]*"//g' -e "s/'[^']*'//g" |
        tr -c 'A-Za-z0-9_.+-' '\n'
} | grep -E '^[A-Za-z][A-Za-z0-9_.+-]*$' | sort -u)

failures=0
for name in "${required[@]}"; do
    if [[ "$(type -t "$name" 2>/dev/null)" == builtin ]]; then
        continue
    fi
    if ! type -P "$name" >/dev/null; then
        echo "check_tools: the tests call '$name', which no installed package provides" >&2
        failures=$((failures + 1))
    fi
done

# The candidates that are programs of the system, and their packages (one dpkg query
# for all: with merged /usr, dpkg may know a program under /bin only).
declare -A program_path=()
queries=()
for name in "${candidates[@]}"; do
    [[ "$(type -t "$name" 2>/dev/null)" == "file" ]] || continue
    printf '%s\n' "${not_programs[@]}" | grep -qx "$name" && continue
    path="$(type -P "$name")"
    case "$path" in /usr/* | /bin/* | /sbin/*) ;; *) continue ;; esac
    program_path[$name]="$path"
    queries+=("$(readlink -f "$path")" "$path" "/bin/$name" "/sbin/$name" "/usr/bin/$name" "/usr/sbin/$name")
done
declare -A owner=()
while IFS= read -r line; do
    pkgs="${line%%: /*}"
    owner["${line#*: }"]="${pkgs%%,*}"
done < <(dpkg -S "${queries[@]}" 2>/dev/null | grep -v '^diversion' || true)

checked=0
for name in "${!program_path[@]}"; do
    path="${program_path[$name]}"
    pkg=""
    for p in "$(readlink -f "$path")" "$path" "/bin/$name" "/sbin/$name" "/usr/bin/$name" "/usr/sbin/$name"; do
        if [[ -n "${owner[$p]:-}" ]]; then
            pkg="${owner[$p]%%:*}"
            break
        fi
    done
    checked=$((checked + 1))
    if [[ -z "$pkg" ]]; then
        echo "check_tools: '$name' ($path) belongs to no Debian package" >&2
        failures=$((failures + 1))
        continue
    fi
    if [[ -n "${closure[$pkg]:-}" ]] || printf '%s\n' "${allowed_unlisted[@]}" | grep -qx "$name"; then
        continue
    fi
    priority="$(dpkg-query -W -f='${Priority}' "$pkg" 2>/dev/null || true)"
    if [[ "$priority" == required || "$priority" == important ]]; then
        continue
    fi
    echo "check_tools: '$name' comes from package $pkg, which scripts/packages*.txt does not list" >&2
    failures=$((failures + 1))
done

if ((failures > 0)); then
    echo "check_tools: $failures problem(s)" >&2
    exit 1
fi
echo "check_tools: $checked programs called by the tests and scripts, all from listed packages"
