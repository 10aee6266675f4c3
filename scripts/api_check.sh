#!/usr/bin/env bash
# The engine's public interface on record: docs/public_interface.txt holds every
# installed header's declarations (comments dropped, blank lines and runs of blanks
# squeezed), so that a change to what users compile against shows in review and is
# made on purpose.
#   scripts/api_check.sh          the installed headers of build/ (build/include/zarnoth,
#                                 staged by the build) against the record; fails with
#                                 the difference when they part
#   scripts/api_check.sh update   writes the record anew from build/ (commit it with the
#                                 change that makes it differ)
# Needs build/ configured and built (scripts/setup.sh). The record is of the SDL backend's
# headers (the Linux build's).
set -euo pipefail
mode="${1:-check}"
cd "$(dirname "$0")/.."
record=docs/public_interface.txt
staged=build/include/zarnoth
[[ "$mode" == check || "$mode" == update ]] || { echo "usage: $0 [update]" >&2; exit 2; }
[[ -d "$staged" ]] || { echo "api_check.sh: no $staged (build first)" >&2; exit 1; }

dump() {
    local h
    while IFS= read -r h; do
        echo "== zarnoth/$h"
        # -fpreprocessed: comments go, nothing is expanded or included.
        g++ -fpreprocessed -dD -E -P -x c++ "$staged/$h" 2>/dev/null |
            grep -v '^#pragma once' | sed -E 's/[[:space:]]+/ /g; s/^ //; s/ $//' | grep -v '^$' || true
    done < <(cd "$staged" && find . -name '*.h' | sed 's|^\./||' | LC_ALL=C sort)
}

if [[ "$mode" == update ]]; then
    dump >"$record"
    echo "api_check.sh: wrote $record ($(grep -c '^== ' "$record") headers)"
    exit 0
fi
[[ -f "$record" ]] || { echo "api_check.sh: no $record: run scripts/api_check.sh update" >&2; exit 1; }
if ! diff -u --label "$record (recorded)" --label "installed headers (built)" "$record" <(dump); then
    echo "api_check.sh: the public interface differs from $record; if the change is meant," \
        "run scripts/api_check.sh update and commit the record with it" >&2
    exit 1
fi
echo "api_check.sh: the installed headers match $record ($(grep -c '^== ' "$record") headers)"
