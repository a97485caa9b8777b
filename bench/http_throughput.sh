#!/bin/sh
# Fetches one 1 GiB file from nginx on 127.0.0.1 with net_check polled in a loop and with curl,
# both through nginx as a proxy, in turn for several rounds, and prints the median throughputs
# with the load before each run. Not run by CTest.
# Usage: bench/http_throughput.sh [build-dir] [rounds]   (default build, 3; the bench program is
# built there)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-3}
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

load() { cut -d' ' -f1 /proc/loadavg; }
: > "$work/rates"
round=0
while [ "$round" -lt "$rounds" ]; do
    round=$((round + 1))
    l=$(load)
    CORVANE_BENCH_PORT=$port CORVANE_BENCH_HOST=bench.test CORVANE_BENCH_PATH=/big.bin CORVANE_BENCH_OUT="$work/net.bin" \
        "$build/bench/bench_http_fetch" --benchmark_format=json > "$work/net.json"
    net_rate=$(/usr/bin/python3 -c 'import json,sys; b=json.load(open(sys.argv[1]))["benchmarks"][0]; print("%.1f" % (b["bytes_per_second"] / 1048576)) if "bytes_per_second" in b else sys.exit(b.get("error_message", "failed"))' "$work/net.json")
    [ "$(md5sum < "$work/net.bin")" = "$sum" ] || { echo "net_check: the file differs" >&2; exit 1; }
    rm -f "$work/net.bin"
    sync
    echo "net_check $net_rate $l" >> "$work/rates"

    l=$(load)
    curl_out=$(curl -s --max-time 600 --proxy "http://127.0.0.1:$port" -o "$work/curl.bin" -w '%{size_download} %{time_total}' http://bench.test/big.bin)
    curl_rate=$(echo "$curl_out" | awk '{ printf "%.1f", $1 / $2 / 1048576 }')
    [ "$(md5sum < "$work/curl.bin")" = "$sum" ] || { echo "curl: the file differs" >&2; exit 1; }
    rm -f "$work/curl.bin"
    sync
    echo "curl $curl_rate $l" >> "$work/rates"
done

echo "1 GiB from nginx on 127.0.0.1 through the proxy settings, $rounds runs each in turn, medians:"
/usr/bin/python3 - "$work/rates" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, rate, load = line.split()
    runs.setdefault(name, []).append((float(rate), load))
for name in ("net_check", "curl"):
    r = runs[name]
    print("  %-10s %8.1f MiB/s  (min %.1f, max %.1f; load %s)" % (name, statistics.median(x[0] for x in r),
          min(x[0] for x in r), max(x[0] for x in r), ", ".join(x[1] for x in r)))
PY
