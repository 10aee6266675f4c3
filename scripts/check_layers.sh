#!/usr/bin/env bash
# Checks that includes run one way, down the layers, and that only the backend folders
# and the renderer include the system's window, GL, sound and Win32 headers:
#
#   app, examples -> show -> scene, sound -> image, anim -> platform -> core
#   tools, assets -> scene, sound
#
# (anim sits on image; sound does not see image or anim; the scene graph does not see
# sound.) Prints each include that breaks the order; exits 1 if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [core]="core"
    [platform]="core platform"
    [image]="core image"
    [anim]="core image anim"
    [sound]="core platform sound"
    [scene]="core platform image anim scene"
    [show]="core platform image anim sound scene show"
    [tools]="core platform image anim sound scene tools"
    [app]="core platform image anim sound scene show app"
)
system_headers='#include <(SDL|GL/|GLES[0-9]*/|EGL/|windows\.h|mmsystem\.h|mmreg\.h|dsound\.h|emscripten)'
# The renderer is the scene graph's only door to GL.
renderer_files='^scene/zrn_renderer(_offscreen|_gles2)?\.cpp$'

failures=0
for layer in "${!allowed[@]}"; do
    while IFS= read -r file; do
        while IFS= read -r target; do
            if ! [[ " ${allowed[$layer]} " == *" $target "* ]]; then
                echo "check_layers: $file includes $target/, above its layer ($layer)" >&2
                failures=$((failures + 1))
            fi
        done < <(grep -oE '^#include "[a-z]+/' "$file" | sed -E 's/#include "//; s/\///')
        # Backend folders (<layer>/<backend>/) may include the system's headers.
        if [[ "$file" != "$layer"/*/* && ! "$file" =~ $renderer_files ]] && grep -qE "$system_headers" "$file"; then
            echo "check_layers: $file includes a system window, GL or sound header outside a backend folder" >&2
            failures=$((failures + 1))
        fi
    done < <(find "$layer" -name '*.cpp' -o -name '*.h' | sort)
done

if ((failures > 0)); then
    echo "check_layers: $failures include(s) against the layer order" >&2
    exit 1
fi
echo "check_layers: includes run down the layers"
