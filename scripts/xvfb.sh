# A private X server for the scripts that run the programs on a display; sourced.
#   start_xvfb DIR [SCREEN]   starts Xvfb on a free display it picks itself (SCREEN
#                             default 640x480x16, the show's mode), waits until it
#                             accepts clients, exports DISPLAY and sets xvfb_pid; its
#                             log is DIR/xvfb.log. Exits the script if it does not start.
#   stop_xvfb                 stops it again (safe when none was started).
xvfb_pid=""

start_xvfb() {
    local dir="$1" screen="${2:-640x480x16}"
    rm -f "$dir/xvfb-display"
    # Xvfb writes the display's number to fd 3 once it is ready for clients.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$dir/xvfb-display" 2>"$dir/xvfb.log" &
    xvfb_pid=$!
    local _
    for _ in $(seq 100); do
        [[ -s "$dir/xvfb-display" ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -s "$dir/xvfb-display" ]]; then
        echo "$(basename "$0"): Xvfb did not start:" >&2
        cat "$dir/xvfb.log" >&2
        exit 1
    fi
    export DISPLAY=":$(head -n 1 "$dir/xvfb-display")"
}

stop_xvfb() {
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    fi
}
