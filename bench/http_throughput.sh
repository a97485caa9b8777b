#!/bin/sh
# Fetches one 1 GiB file from nginx on 127.0.0.1 twice, with net_check polled in a loop and with
# curl, both through nginx as a proxy, and prints the two throughputs. Not run by CTest.
# Usage: bench/http_throughput.sh [build-dir]   (default build; the bench program is built there)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target bench_http_fetch -j 4 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-http-bench.XXXXXX")
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/root"
echo "making a 1 GiB file of random bytes..."
head -c 1073741824 /dev/urandom > "$work/root/big.bin"
sum=$(md5sum < "$work/root/big.bin")

. bench/nginx.sh
bench_nginx_start "bench.test"

# Both fetches find the file in the page cache and start with no writes pending.
cat "$work/root/big.bin" > /dev/null
sync

CORVANE_BENCH_PORT=$port CORVANE_BENCH_HOST=bench.test CORVANE_BENCH_PATH=/big.bin CORVANE_BENCH_OUT="$work/net.bin" \
    "$build/bench/bench_http_fetch" --benchmark_format=json > "$work/net.json"
net_rate=$(python3 -c 'import json,sys; b=json.load(open(sys.argv[1]))["benchmarks"][0]; print("%.1f" % (b["bytes_per_second"] / 1048576)) if "bytes_per_second" in b else sys.exit(b.get("error_message", "failed"))' "$work/net.json")
[ "$(md5sum < "$work/net.bin")" = "$sum" ] || { echo "net_check: the file differs" >&2; exit 1; }
rm -f "$work/net.bin"
sync

curl_out=$(curl -s --max-time 600 --proxy "http://127.0.0.1:$port" -o "$work/curl.bin" -w '%{size_download} %{time_total}' http://bench.test/big.bin)
curl_rate=$(echo "$curl_out" | awk '{ printf "%.1f", $1 / $2 / 1048576 }')
[ "$(md5sum < "$work/curl.bin")" = "$sum" ] || { echo "curl: the file differs" >&2; exit 1; }
rm -f "$work/curl.bin"

echo "1 GiB from nginx on 127.0.0.1 through the proxy settings:"
printf '  net_check  %10s MiB/s\n' "$net_rate"
printf '  curl       %10s MiB/s\n' "$curl_rate"
