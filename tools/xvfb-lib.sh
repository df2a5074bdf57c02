# Shared by tools/headless.sh and tools/screenshot.sh (sourced, not run).
# Starts a private Xvfb on a free display and stops it again.

XVFB_PID=
XVFB_DISPLAY=

# free_display: prints the first display number from 99 up with no server and no lock file.
free_display() {
    local n=99
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    echo "$n"
}

# start_xvfb WxHxD: starts Xvfb and waits until it accepts clients; sets XVFB_PID, XVFB_DISPLAY
# and exports DISPLAY. Returns non-zero when the server does not come up within 10 seconds.
start_xvfb() {
    local screen=$1 n tries
    command -v Xvfb >/dev/null || { echo "Xvfb is not installed (apt-get install xvfb)" >&2; return 1; }
    n=$(free_display)
    # In a session of its own, so a Ctrl+C meant for the kiosk does not pull the screen away
    # under it; stop_xvfb ends it.
    setsid Xvfb ":$n" -screen 0 "$screen" -nolisten tcp -noreset >/dev/null 2>&1 &
    XVFB_PID=$!
    XVFB_DISPLAY=":$n"
    for tries in $(seq 100); do
        if [ -e "/tmp/.X11-unix/X$n" ]; then
            export DISPLAY="$XVFB_DISPLAY"
            unset WAYLAND_DISPLAY
            return 0
        fi
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    stop_xvfb
    return 1
}

# private_runtime_dir: gives the kiosk an XDG runtime folder when the session has none, so Qt
# does not complain about it; stop_xvfb removes it again.
PRIVATE_RUNTIME_DIR=
private_runtime_dir() {
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        PRIVATE_RUNTIME_DIR=$(mktemp -d)
        chmod 700 "$PRIVATE_RUNTIME_DIR"
        export XDG_RUNTIME_DIR="$PRIVATE_RUNTIME_DIR"
    fi
}

stop_xvfb() {
    if [ -n "$PRIVATE_RUNTIME_DIR" ]; then
        rm -rf "$PRIVATE_RUNTIME_DIR"
        PRIVATE_RUNTIME_DIR=
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
}

# stop_pid PID: ends a process we started, firmly if it does not go within 3 seconds.
stop_pid() {
    local pid=$1 i
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || return 0
    for i in $(seq 30); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}
