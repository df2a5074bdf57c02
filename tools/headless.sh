#!/usr/bin/env bash
# tools/headless.sh RUNDIR [WxHxD]
# Runs RUNDIR/kiosk, from RUNDIR, on a private Xvfb screen (default 1024x768x24) until Ctrl+C
# or until the kiosk ends. Prints the display so one can look at it, e.g.
#   DISPLAY=:99 import -window root shot.png
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb-lib.sh"

rundir=${1:?usage: tools/headless.sh RUNDIR [WxHxD]}
screen=${2:-1024x768x24}
[ -x "$rundir/kiosk" ] || { echo "no kiosk in $rundir (run 'make run-headless')" >&2; exit 1; }

cleanup() {
    stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_xvfb "$screen" || exit 1
private_runtime_dir
echo "Kiosk running headless on DISPLAY=$XVFB_DISPLAY ($screen); Ctrl+C ends it."
# In the foreground, so Ctrl+C reaches the kiosk; the screen goes when it has ended.
(cd "$rundir" && QT_QPA_PLATFORM=xcb exec ./kiosk)
