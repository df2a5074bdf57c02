#!/usr/bin/env bash
# tools/screenshot.sh [--size WxHxD] [--settle S] RUNDIR OUT.png [ACTION...]
#
# Starts a private Xvfb screen (default 1024x768x24), runs RUNDIR/kiosk from RUNDIR, waits for
# its window, performs the actions in order, saves the whole screen as OUT.png, then ends the
# kiosk and the screen. Actions (each a word followed by its arguments):
#   click X Y          left click at X,Y (screen pixels)
#   rightclick X Y     right click at X,Y (opens the staff menu)
#   press X Y MS       hold the left button at X,Y for MS milliseconds (press-and-hold)
#   move X Y           move the pointer
#   key KEYS           xdotool key names, e.g. ctrl+Delete, Return, Escape, Down
#   type TEXT          type text into the focused control
#   sleep S            wait S seconds (fractions allowed)
#   shot FILE.png      an extra screenshot at this point
# Between actions the screen gets 0.3 s to repaint. Example:
#   tools/screenshot.sh build/kiosk docs/screenshots/menu.png rightclick 500 400 sleep 0.5
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb-lib.sh"

usage() {
    sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

screen=1024x768x24
settle=1.5
while [ $# -gt 0 ]; do
    case $1 in
        --size) screen=$2; shift 2 ;;
        --settle) settle=$2; shift 2 ;;
        -h|--help) usage ;;
        *) break ;;
    esac
done
[ $# -ge 2 ] || usage
rundir=$1
out=$2
shift 2

for tool in xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (apt-get install xdotool imagemagick)" >&2; exit 1; }
done
[ -x "$rundir/kiosk" ] || { echo "screenshot: no kiosk in $rundir (run 'make run' first)" >&2; exit 1; }
case $out in /*) ;; *) out="$PWD/$out" ;; esac
mkdir -p "$(dirname "$out")"

capture() {
    local file=$1
    case $file in /*) ;; *) file="$PWD/$file" ;; esac
    mkdir -p "$(dirname "$file")"
    import -window root "$file" || { echo "screenshot: capture to $file failed" >&2; exit 1; }
    echo "screenshot: $file"
}

need() {
    [ "$1" -ge "$2" ] || { echo "screenshot: action '$3' needs $(( $2 - 1 )) argument(s)" >&2; exit 2; }
}

# perform MODE ACTION...: MODE "check" only validates the list, "live" carries it out.
perform() {
    local mode=$1 action n
    shift
    while [ $# -gt 0 ]; do
        action=$1
        case $action in
            click|rightclick|move) n=3 ;;
            press) n=4 ;;
            key|type|sleep|shot) n=2 ;;
            *) echo "screenshot: unknown action '$action'" >&2; exit 2 ;;
        esac
        need $# $n "$action"
        if [ "$mode" = live ]; then
            case $action in
                click) xdotool mousemove --sync "$2" "$3" click 1 ;;
                rightclick) xdotool mousemove --sync "$2" "$3" click 3 ;;
                move) xdotool mousemove --sync "$2" "$3" ;;
                press)
                    xdotool mousemove --sync "$2" "$3" mousedown 1
                    sleep "$(awk "BEGIN { print $4 / 1000 }")"
                    xdotool mouseup 1 ;;
                key) xdotool key --clearmodifiers "$2" ;;
                type) xdotool type --delay 40 -- "$2" ;;
                sleep) sleep "$2" ;;
                shot) capture "$2" ;;
            esac
            sleep 0.3
            if ! kill -0 "$kiosk_pid" 2>/dev/null; then
                echo "screenshot: the kiosk ended after '$action'" >&2
                return 0
            fi
        fi
        shift $n
    done
}

perform check "$@"

kiosk_pid=
kiosk_log=$(mktemp)
cleanup() {
    stop_pid "$kiosk_pid"
    stop_xvfb
    rm -f "$kiosk_log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb "$screen" || exit 1
private_runtime_dir
(cd "$rundir" && QT_QPA_PLATFORM=xcb exec ./kiosk) >"$kiosk_log" 2>&1 &
kiosk_pid=$!

# The kiosk's window: a visible top-level window of its process.
window=
for i in $(seq 200); do
    window=$(xdotool search --onlyvisible --pid "$kiosk_pid" 2>/dev/null | head -1)
    [ -n "$window" ] && break
    if ! kill -0 "$kiosk_pid" 2>/dev/null; then
        echo "screenshot: the kiosk ended before showing a window; its output:" >&2
        cat "$kiosk_log" >&2
        exit 1
    fi
    sleep 0.1
done
[ -n "$window" ] || { echo "screenshot: no kiosk window within 20 s" >&2; exit 1; }
sleep "$settle"

perform live "$@"
capture "$out"
