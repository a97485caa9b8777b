#!/bin/sh
# Runs one fuzz target (png, bmp, dds, font, server_list, install_registry or sysinfo).
#   run.sh replay BIN FINDS_DIR                    feeds it every kept find once
#   run.sh fuzz BIN KIND SECONDS FINDS_DIR WORK    fuzzes for SECONDS from pictures made by convert
#                                                  or, for font, server_list and install_registry,
#                                                  a few texts; for sysinfo, this machine's texts
# A crash input is written into WORK; keep it under FINDS_DIR so that the replay runs it for good.
set -eu
mode=$1
bin=$2
if [ "$mode" = replay ]; then
    set -- "$3"/*
    [ -e "$1" ] || exit 0
    exec "$bin" "$@"
fi
kind=$3 secs=$4 finds=$5 work=$6
rm -rf "$work"
mkdir -p "$work/corpus" "$work/seeds"
s=$work/seeds
plasma="-size 13x7 -seed 1 plasma: -depth 8"
alpha="( -size 13x7 gradient: ) -compose CopyOpacity -composite"
case $kind in
font)
    # Four parameter bytes (style, alignment, wrap width, language and colour), then the text.
    printf '\000\000\000\064Hello, world: the quick brown fox.' >"$s/english"
    printf '\001\001\005\200\320\237\321\200\320\270\320\262\320\265\321\202, \320\274\320\270\321\200' >"$s/russian"
    printf '\002\002\004\000 D\303\251j\303\240 vu\tGr\303\266\303\237e\r\nCR\rLF\n\303\234ber Stra\303\237e' >"$s/accents"
    printf '\004\001\003\000Supercalifragilisticexpialidocious and more' >"$s/cut"
    printf '\000\000\001\000\342\202\254 \360\235\204\236 \200\277 \377\376 \303' >"$s/broken"
    ;;
png)
    convert $plasma $alpha PNG32:"$s/rgba.png"
    convert $plasma PNG24:"$s/rgb.png"
    convert $plasma -colorspace gray -define png:color-type=0 "$s/grey.png"
    convert $plasma -colorspace gray -depth 2 -define png:bit-depth=2 -define png:color-type=0 "$s/grey2.png"
    convert $plasma -colorspace gray $alpha -define png:color-type=4 "$s/greya.png"
    convert $plasma -colors 20 PNG8:"$s/pal.png"
    convert $plasma -fill black -draw "rectangle 2,2 5,5" -transparent black -colors 20 PNG8:"$s/palt.png"
    convert -size 13x7 -seed 1 plasma: $alpha PNG64:"$s/rgba16.png"
    convert $plasma -interlace PNG PNG24:"$s/inter.png"
    convert $plasma -define png:exclude-chunk=gAMA,cHRM,sRGB,bKGD -set comment NORMAL_SEPARATE_ALPHA PNG24:"$s/comment.png"
    ;;
bmp)
    convert $plasma -type TrueColor BMP3:"$s/odd.bmp"
    convert -size 12x7 -seed 1 plasma: -depth 8 -type TrueColor BMP3:"$s/even.bmp"
    convert $plasma -colors 200 BMP3:"$s/pal.bmp"
    convert $plasma -alpha set BMP:"$s/argb.bmp"
    ;;
dds)
    convert -size 16x8 -seed 1 plasma: -depth 8 -alpha set -define dds:compression=dxt1 "$s/dxt1.dds"
    convert -size 16x8 -seed 1 plasma: -depth 8 -alpha set -define dds:compression=dxt5 "$s/dxt5.dds"
    convert -size 16x8 -seed 1 plasma: -depth 8 -alpha set -define dds:compression=none "$s/bgra.dds"
    convert -size 12x6 -seed 1 plasma: -depth 8 -alpha off -define dds:compression=none -define dds:mipmaps=0 "$s/bgr.dds"
    ;;
server_list)
    printf 'BETA Corvane10b\r\nFINAL Corvane10\r\nINS_VERSION 30002 http://a.test/x\r\n' > "$s/head.txt"
    printf 'SERVER a.test\n/r/\nA\n  SERVER\tb.test  \n\n/s/\n\nB\nENDOFLIST\nSERVER c\n/c/\nc\n' > "$s/servers.txt"
    printf 'INS_VERSION -+99999999999999999999 file:///x y\nSERVERS\nSERVER x/\nrel\n\0n' > "$s/hostile.txt"
    ;;
install_registry)
    printf '/home/a/Corvane 10/\r\n/home/b/Corvane\n\nrelative/c/\n/no/end' > "$s/lines.txt"
    printf '/a\0/b\r/c\n\r\n\0\n/' > "$s/cuts.txt"
    ;;
sysinfo)
    head -c 65536 /proc/cpuinfo > "$s/cpuinfo" || true
    uname -r > "$s/release"
    printf 'processor : 0\ncpu family : 6\nmodel name : x\ncpu MHz : 2299.5\n\nprocessor\t: 1\n' > "$s/small"
    ;;
esac
exec "$bin" -max_total_time="$secs" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$s" "$finds"
