#!/bin/sh
# Updates a copy of a few hundred files (about 500 MiB installed) from nginx on 127.0.0.1 with the
# install engine (one stream, then two streams from two server names), and does the same work
# with curl (one process fetching every archive over one connection) and unzip (one run per
# archive); prints the times. Every run starts from the same old copy and is checked with md5sum.
# Not run by CTest.
# Usage: bench/worklist_update.sh [build-dir]   (default build; the bench program is built there)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target bench_worklist -j 4 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-worklist-bench.XXXXXX")
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

echo "making the release (300 files, about 500 MiB) and the old copy..."
# Each file: blocks of 16 KiB of random bytes written four times, so it packs to about a quarter.
python3 - "$work" <<'PY'
import hashlib, os, random, sys
work = sys.argv[1]
rng = random.Random(1)
rel = os.path.join(work, "files")
old = os.path.join(work, "old")
lines = ["I", "1000 Corvane benchmark release", "INSTALLER"]
sums = []
for i in range(300):
    path = "Resources/set%02d/file%03d.dat" % (i % 12, i)
    size = rng.randrange(400 * 1024, 3 * 1024 * 1024)
    data = bytearray()
    while len(data) < size:
        block = os.urandom(16 * 1024)
        data += block * 4
    data = bytes(data[:size])
    old_data = ("old version of %s\n" % path).encode()
    for root, content in ((rel, data), (old, old_data)):
        os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
        with open(os.path.join(root, path), "wb") as f:
            f.write(content)
    md5 = hashlib.md5(data).hexdigest()
    lines.append("FILE 1 0 0 0 1 %s %s" % (hashlib.md5(old_data).hexdigest(), path))
    lines.append("FILE 1 0 0 @DL%d@ %d %s %s" % (i, (size + 1023) // 1024, md5, path))
    sums.append("%s  %s" % (md5, path))
with open(os.path.join(work, "directory.in"), "w") as f:
    f.write("\n".join(lines) + "\n")
with open(os.path.join(work, "md5sums"), "w") as f:
    f.write("\n".join(sums) + "\n")
with open(os.path.join(work, "paths"), "w") as f:
    f.write("\n".join(s.split("  ", 1)[1] for s in sums) + "\n")
PY

echo "zipping the archives..."
mkdir -p "$work/root/Corvane10"
while read -r p; do
    mkdir -p "$work/root/Corvane10/$(dirname "$p")"
    (cd "$work/files/$(dirname "$p")" && zip -q -X "$work/root/Corvane10/$p.zip" "$(basename "$p")")
done < "$work/paths"
# Download sizes in kilobytes from the archives made.
python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
paths = open(os.path.join(work, "paths")).read().split()
text = open(os.path.join(work, "directory.in")).read()
for i, p in enumerate(paths):
    kb = (os.path.getsize(os.path.join(work, "root/Corvane10", p + ".zip")) + 1023) // 1024
    text = text.replace("@DL%d@" % i, str(kb), 1)
open(os.path.join(work, "directory.txt"), "w").write(text)
PY
archive_mib=$(du -sm "$work/root/Corvane10" | cut -f1)
files_mib=$(du -sm "$work/files" | cut -f1)

. bench/nginx.sh
bench_nginx_start "bench.test mirror.test"

fresh_copy() {
    rm -rf "$work/install" "$work/temp"
    cp -a "$work/old" "$work/install"
    mkdir -p "$work/temp"
    cat "$work/root/Corvane10"/Resources/*/* > /dev/null # the archives in the page cache
    sync
}
check_copy() {
    (cd "$work/install" && md5sum --quiet -c "$work/md5sums") || { echo "$1: the copy differs" >&2; exit 1; }
}

engine_run() { # host list
    fresh_copy
    CORVANE_BENCH_PORT=$port CORVANE_BENCH_HOSTS=$1 CORVANE_BENCH_RELEASE=/Corvane10/ \
        CORVANE_BENCH_DIRECTORY="$work/directory.txt" CORVANE_BENCH_INSTALL="$work/install/" \
        CORVANE_BENCH_TEMP="$work/temp/" CORVANE_BENCH_LOG="$work/engine-log.txt" \
        "$build/bench/bench_worklist" --benchmark_format=json > "$work/engine.json"
    python3 -c 'import json,sys; b=json.load(open(sys.argv[1]))["benchmarks"][0]; print("%.2f" % (b["real_time"] / 1000)) if "error_message" not in b else sys.exit(b["error_message"])' "$work/engine.json"
    check_copy "engine ($1)"
}
one_stream=$(engine_run bench.test)
two_streams=$(engine_run bench.test,mirror.test)

# curl fetches every archive over one connection, then unzip replaces each file.
fresh_copy
while read -r p; do
    printf 'url = "http://bench.test/Corvane10/%s.zip"\noutput = "%s/dl/%s.zip"\n' "$p" "$work" "$p"
done < "$work/paths" > "$work/curl.cfg"
start=$(date +%s.%N)
curl -s -f --create-dirs --proxy "http://127.0.0.1:$port" -K "$work/curl.cfg"
while read -r p; do
    unzip -q -o "$work/dl/$p.zip" -d "$work/install/$(dirname "$p")"
done < "$work/paths"
end=$(date +%s.%N)
tools=$(echo "$start $end" | awk '{ printf "%.2f", $2 - $1 }')
check_copy "curl and unzip"

echo "Updating 300 files ($files_mib MiB installed, $archive_mib MiB of archives) from nginx on 127.0.0.1:"
printf '  install engine, 1 stream   %8s s\n' "$one_stream"
printf '  install engine, 2 streams  %8s s\n' "$two_streams"
printf '  curl + unzip               %8s s\n' "$tools"
