#!/bin/sh
# Runs the system-report fuzz target.
#   run.sh replay BIN FINDS_DIR                  feeds it every kept find once
#   run.sh fuzz BIN SECONDS FINDS_DIR WORK       fuzzes for SECONDS from this machine's texts
# A crash input is written into WORK; keep it under FINDS_DIR so that the replay runs it for good.
set -eu
mode=$1
bin=$2
if [ "$mode" = replay ]; then
    set -- "$3"/*
    [ -e "$1" ] || exit 0
    exec "$bin" "$@"
fi
secs=$3 finds=$4 work=$5
rm -rf "$work"
mkdir -p "$work/corpus" "$work/seeds"
head -c 65536 /proc/cpuinfo > "$work/seeds/cpuinfo" || true
uname -r > "$work/seeds/release"
printf 'processor : 0\ncpu family : 6\nmodel name : x\ncpu MHz : 2299.5\n\nprocessor\t: 1\n' > "$work/seeds/small"
exec "$bin" -max_total_time="$secs" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$work/seeds" "$finds"
