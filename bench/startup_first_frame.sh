#!/bin/sh
# Measures the updater's launch to its first frame on screen (median of 20 runs) on Xvfb with
# Mesa's software OpenGL, and prints glxinfo -B of the same display beside it. Not run by CTest.
# Usage: bench/startup_first_frame.sh [build-dir] [runs]   (default build, 20)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-20}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target corvane-updater first_frame -j 4 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-startup-bench.XXXXXX")
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display number and writes it once it takes connections.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/displayfd" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r display <"$work/displayfd"
export DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1
export HOME="$work/home" XDG_DATA_HOME="$work/data" TMPDIR="$work/tmp" LANG=en_US.UTF-8
mkdir -p "$HOME" "$XDG_DATA_HOME" "$TMPDIR" "$work/prog"
cp "$build/corvane-updater" "$work/prog/"

echo "== glxinfo -B on $DISPLAY"
glxinfo -B
echo "== corvane-updater: launch to first frame on screen, $runs runs"
"$build/bench/first_frame" "$runs" "$work/prog/corvane-updater"
