#!/bin/sh
# Runs the text fuzz target.
#   run.sh replay BIN FINDS_DIR                 feeds it every kept find once
#   run.sh fuzz BIN SECONDS FINDS_DIR WORK      fuzzes for SECONDS from a few texts
# An input is four parameter bytes (style, alignment, wrap width, language and colour) and a text.
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
s=$work/seeds
printf '\000\000\000\064Hello, world: the quick brown fox.' >"$s/english"
printf '\001\001\005\200\320\237\321\200\320\270\320\262\320\265\321\202, \320\274\320\270\321\200' >"$s/russian"
printf '\002\002\004\000 D\303\251j\303\240 vu\tGr\303\266\303\237e\r\nCR\rLF\n\303\234ber Stra\303\237e' >"$s/accents"
printf '\004\001\003\000Supercalifragilisticexpialidocious and more' >"$s/cut"
printf '\000\000\001\000\342\202\254 \360\235\204\236 \200\277 \377\376 \303' >"$s/broken"
exec "$bin" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$s" "$finds"
