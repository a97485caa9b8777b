#!/bin/sh
# Runs bench_movie (the movie recorder's cost per frame beside `ffmpeg -f x11grab`) on an Xvfb
# display of its own with Mesa's software OpenGL. The program runs from a temporary folder, where
# its movies go. Not run by CTest.
# Usage: bench/movie_record.sh [build-dir]   (default build; the bench program is built there)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target bench_movie -j 4 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-movie-bench.XXXXXX")
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display number and writes it to the pipe once it takes connections.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/displayfd" >/dev/null 2>&1 &
xvfb_pid=$!
read -r display <"$work/displayfd"

cp "$build/bench/bench_movie" "$work/"
cd "$work"
DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1 WAYLAND_DISPLAY= ./bench_movie
