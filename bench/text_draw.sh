#!/bin/sh
# Runs the text-drawing benchmark (OGL_draw_string beside Dear ImGui) in a window under its own
# Xvfb with Mesa's software OpenGL, both sides in turn for several rounds, and prints the median
# CPU time per frame of each with the machine's load. Not run by CTest.
# Usage: bench/text_draw.sh [build-dir [rounds]]   (default build, $CORVANE_BENCH_ROUNDS or 5)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-${CORVANE_BENCH_ROUNDS:-5}}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target bench_text -j 4 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-text-bench.XXXXXX")
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display and writes its number once it takes connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
tries=0
while [ ! -s "$work/display" ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }

cd "$work"
DISPLAY=":$(cat display)" LIBGL_ALWAYS_SOFTWARE=1 WAYLAND_DISPLAY= "$OLDPWD/$build/bench/bench_text" \
    --benchmark_repetitions="$rounds" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true
