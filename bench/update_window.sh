#!/bin/sh
# The whole update through the window on about 500 MiB in 300 archives (scripts/make-release,
# kind allold: every file of the copy is an older version), served by nginx on 127.0.0.1 under
# the look-up host and two update servers through the proxy preferences, under Xvfb with Mesa.
# bench_update_window runs the program's own start-up and frame loop and reports, in one run, the
# longest frame during the scan and the install (target: none over 50 ms), the idle frame's CPU
# time on Welcome (target: under 1 ms) and the seconds from Next on Check Disk Space to Finish.
# Beside it the same archives are fetched by one curl process and extracted by unzip in sequence
# (target: the updater no slower). Both copies are checked with md5sum. Not run by CTest.
# Usage: bench/update_window.sh [build-dir] [files]   (default build, 300)
set -eu
cd "$(dirname "$0")/.."
src=$(pwd)
build=${1:-build}
files=${2:-300}
cmake -S . -B "$build" -DCORVANE_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target bench_update_window -j 3 >/dev/null
lookup_host=$(sed -n 's/^CORVANE_LOOKUP_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$lookup_host" ] || lookup_host=update.corvane-sim.com

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-window-bench.XXXXXX")
nginx_pid=
xvfb_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "making the release ($files files, about 500 MiB) and the old copy..."
/usr/bin/python3 scripts/make-release "$work/release" --kind allold --files "$files" --kb-min 1200 \
    --kb-max 2200 --server s1.corvane.test --server s2.corvane.test
mkdir -p "$work/root"
mv "$work/release/www/lookup/_lookup_10_" "$work/release/www/release/rel" "$work/root/"
cp -r "$work/release/copy" "$work/copy-curl"
echo "archives: $(du -sm "$work/root/rel" | cut -f1) MiB in $(find "$work/root/rel" -name '*.zip' | wc -l) files"

# shellcheck source=bench/nginx.sh
. "$src/bench/nginx.sh"
bench_nginx_start "$lookup_host s1.corvane.test s2.corvane.test"

mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/displayfd" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r display <"$work/displayfd"

export HOME="$work/home" XDG_DATA_HOME="$work/data" TMPDIR="$work/tmp" LANG=en_US.UTF-8
mkdir -p "$HOME" "$XDG_DATA_HOME" "$TMPDIR" "$work/prog"
printf '%s\n' "$work/release/copy/" > "$XDG_DATA_HOME/corvane_install_10.txt"
printf 'I\n10 version\n_proxy_host 127.0.0.1\n_proxy_port %s\n_proxy_port_int %s\n' "$port" "$port" \
    > "$XDG_DATA_HOME/Corvane Installer.prf"
cp "$build/bench/bench_update_window" "$work/prog/"

echo "== the updater through the window"
DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1 "$work/prog/bench_update_window"
(cd "$work/release/copy" && md5sum --quiet -c "$work/release/expected.md5") && echo "the copy equals the release"

echo "== curl fetching the archives, then unzip extracting them in sequence"
(cd "$work/root/rel/Corvane10" && find . -name '*.zip' ! -name directory.txt.zip | sed 's|^\./||') > "$work/list"
while read -r p; do
    printf 'url = "http://s1.corvane.test/rel/Corvane10/%s"\noutput = "%s/dl/%s"\n' "$p" "$work" "$p"
done < "$work/list" > "$work/curl.cfg"
start=$(date +%s.%N)
curl -s --create-dirs -x "127.0.0.1:$port" -K "$work/curl.cfg"
while read -r p; do
    unzip -q -o "$work/dl/$p" -d "$work/copy-curl/$(dirname "$p")"
done < "$work/list"
end=$(date +%s.%N)
(cd "$work/copy-curl" && md5sum --quiet -c "$work/release/expected.md5") && echo "the curl copy equals the release"
echo "curl and unzip: $(/usr/bin/python3 -c "print(round($end - $start, 2))") s"
