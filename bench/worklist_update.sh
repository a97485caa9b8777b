#!/bin/sh
# Updates a copy of 300 files (about 500 MiB installed, one file of 200 MiB among them) from nginx
# on 127.0.0.1 with the install engine (one stream; two streams from two server names), and does
# the same work with `xargs -P4` running curl and unzip per file, and with curl (one process
# fetching every archive over one connection) then unzip per archive. The four are run in turn,
# several rounds, and the medians printed, with the engine's longest frame (worklist calls for up
# to 0.02 s) and longest call. Every run starts from the same old copy and is checked with md5sum.
# Not run by CTest.
# Usage: bench/worklist_update.sh [build-dir] [rounds]   (default build, 3; the bench program is
# built there)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-3}
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
/usr/bin/python3 - "$work" <<'PY'
import hashlib, os, random, sys
work = sys.argv[1]
rng = random.Random(1)
rel = os.path.join(work, "files")
old = os.path.join(work, "old")
lines = ["I", "1000 Corvane benchmark release", "INSTALLER"]
sums = []
for i in range(300):
    path = "Resources/set%02d/file%03d.dat" % (i % 12, i)
    # The first file is the large one, so that the other files come while it is extracted.
    size = 200 * 1024 * 1024 if i == 0 else rng.randrange(256 * 1024, 1792 * 1024)
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
/usr/bin/python3 - "$work" <<'PY'
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
rm -rf "$work/files"

. bench/nginx.sh
bench_nginx_start "bench.test mirror.test"

fresh_copy() {
    rm -rf "$work/install" "$work/temp" "$work/dl"
    cp -a "$work/old" "$work/install"
    mkdir -p "$work/temp"
    cat "$work/root/Corvane10"/Resources/*/* > /dev/null # the archives in the page cache
    sync
}
check_copy() {
    (cd "$work/install" && md5sum --quiet -c "$work/md5sums") || { echo "$1: the copy differs" >&2; exit 1; }
}
now() { date +%s.%N; }
load() { cut -d' ' -f1 /proc/loadavg; }

engine_run() { # name, host list: appends "name seconds longest-frame longest-call frames load"
    fresh_copy
    l=$(load)
    out=$(CORVANE_BENCH_PORT=$port CORVANE_BENCH_HOSTS=$2 CORVANE_BENCH_RELEASE=/Corvane10/ \
        CORVANE_BENCH_DIRECTORY="$work/directory.txt" CORVANE_BENCH_INSTALL="$work/install/" \
        CORVANE_BENCH_TEMP="$work/temp/" CORVANE_BENCH_LOG="$work/engine-log.txt" \
        "$build/bench/bench_worklist") || { cat "$work/engine-log.txt" >&2; exit 1; }
    check_copy "engine ($2)"
    set -- "$1" $out
    echo "$1 $2 $3 $4 $5 $l" >> "$work/times"
}

# Four processes at a time, each fetching one archive with curl and unzipping it.
xargs_run() {
    fresh_copy
    l=$(load)
    start=$(now)
    xargs -P4 -n1 sh -c 'curl -s -f --proxy "http://127.0.0.1:$1" --create-dirs -o "$2/dl/$3.zip" \
        "http://bench.test/Corvane10/$3.zip" && unzip -q -o "$2/dl/$3.zip" -d "$2/install/${3%/*}"' sh "$port" "$work" \
        < "$work/paths"
    end=$(now)
    check_copy "xargs -P4 curl and unzip"
    echo "xargs $(echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }') - - - $l" >> "$work/times"
}

# curl fetches every archive over one connection, then unzip replaces each file.
sequence_run() {
    fresh_copy
    while read -r p; do
        printf 'url = "http://bench.test/Corvane10/%s.zip"\noutput = "%s/dl/%s.zip"\n' "$p" "$work" "$p"
    done < "$work/paths" > "$work/curl.cfg"
    l=$(load)
    start=$(now)
    curl -s -f --create-dirs --proxy "http://127.0.0.1:$port" -K "$work/curl.cfg"
    while read -r p; do
        unzip -q -o "$work/dl/$p.zip" -d "$work/install/$(dirname "$p")"
    done < "$work/paths"
    end=$(now)
    check_copy "curl and unzip"
    echo "sequence $(echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }') - - - $l" >> "$work/times"
}

: > "$work/times"
round=0
while [ "$round" -lt "$rounds" ]; do
    round=$((round + 1))
    echo "round $round of $rounds (load $(load))..."
    engine_run one bench.test
    engine_run two bench.test,mirror.test
    xargs_run
    sequence_run
done

echo "Updating 300 files ($files_mib MiB installed, one of 200 MiB; $archive_mib MiB of archives)" \
    "from nginx on 127.0.0.1,"
echo "$rounds runs each in turn, medians (load: the one-minute load average before each run, on $(nproc) processors):"
/usr/bin/python3 - "$work/times" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, secs, frame, call, frames, load = line.split()
    runs.setdefault(name, []).append((float(secs), frame, call, frames, float(load)))
labels = {"one": "install engine, 1 stream", "two": "install engine, 2 streams",
          "xargs": "xargs -P4 curl + unzip per file", "sequence": "curl, then unzip per file"}
med = {}
for name in ("one", "two", "xargs", "sequence"):
    r = runs.get(name, [])
    if not r:
        continue
    secs = [x[0] for x in r]
    med[name] = statistics.median(secs)
    text = "  %-34s %8.2f s  (min %.2f, max %.2f; load %s)" % (labels[name], med[name], min(secs), max(secs),
                                                              ", ".join("%.1f" % x[4] for x in r))
    if r[0][1] != "-":
        text += "\n  %-34s longest frame %s ms, longest call %s ms" % (
            "", max((x[1] for x in r), key=float), max((x[2] for x in r), key=float))
    print(text)
if "two" in med:
    for other in ("one", "xargs", "sequence"):
        if other in med:
            print("  2 streams are %.2fx as fast as %s" % (med[other] / med["two"], labels[other]))
PY
