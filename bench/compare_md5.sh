#!/usr/bin/env bash
# Times a whole `vorlin --force` process fixing a cue sheet over one large,
# realistic MPC stream against `md5sum` of the same file, alternating the two
# for several rounds with the page cache warm, and prints the median of each,
# the median ratio and the throughput: for a version 7 and a version 6
# stream, each with the threads the tool takes by default and with one
# (VORLIN_THREADS=1), then for an album of 12 version 7 files of 8 MB
# each, one sheet over all of them against `md5sum` of the 12
# files in one call. Run from the repository:
#
#   bash bench/compare_md5.sh [MEGABYTES] [ROUNDS]
#
# It builds the "bench" preset (the tool and the stream writer) first; set
# VORLIN to time another build of the tool instead.
set -euo pipefail
cd "$(dirname "$0")/.."
megabytes=${1:-40}
rounds=${2:-11}

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
tool=${VORLIN:-$PWD/build/bench/vorlin}
maker=$PWD/build/bench/bench/make_mpc_stream
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# time_runs NAME SHEET FILES...: alternates the tool on SHEET with md5sum of FILES.
time_runs() {
    local name=$1 sheet=$2
    shift 2
    local bytes
    bytes=$(cat "$@" | wc -c)
    cat "$@" > /dev/null
    md5sum "$@" > /dev/null
    : > "$work/tool.times"
    : > "$work/md5.times"
    : > "$work/ratios"
    for ((round = 0; round < rounds; ++round)); do
        cp "$work/$sheet" "$work/album.cue"
        t0=$(now)
        (cd "$work" && "$tool" --force album.cue > "$work/out.txt")
        t1=$(now)
        md5sum "$@" > /dev/null
        t2=$(now)
        grep -q '^done\.$' "$work/out.txt" || { echo "vorlin failed:"; cat "$work/out.txt"; exit 1; }
        echo $((t1 - t0)) >> "$work/tool.times"
        echo $((t2 - t1)) >> "$work/md5.times"
        awk -v a=$((t1 - t0)) -v b=$((t2 - t1)) 'BEGIN {print a / b}' >> "$work/ratios"
    done
    tool_ms=$(median < "$work/tool.times" | awk '{printf "%.1f", $1 / 1e6}')
    md5_ms=$(median < "$work/md5.times" | awk '{printf "%.1f", $1 / 1e6}')
    ratio=$(median < "$work/ratios" | awk '{printf "%.2f", $1}')
    awk -v n="$name" -v mb="$bytes" -v t="$tool_ms" -v m="$md5_ms" -v r="$ratio" 'BEGIN {
        printf "%-16s %6.1f MB: vorlin %7.1f ms (%6.1f MB/s)   md5sum %7.1f ms (%6.1f MB/s)   ratio %s\n",
               n, mb / 1e6, t, mb / 1e6 / (t / 1e3), m, mb / 1e6 / (m / 1e3), r }'
}

for version in 7 6; do
    name=$([ "$version" = 7 ] && echo "SV7" || echo "SV4-6")
    "$maker" "$work/track.mpc" "$version" "$megabytes" > /dev/null
    printf 'FILE "track.mpc" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' > "$work/single.cue"
    time_runs "$name" single.cue "$work/track.mpc"
    VORLIN_THREADS=1 time_runs "$name, 1 thread" single.cue "$work/track.mpc"
done

files=()
: > "$work/album12.cue"
for ((i = 1; i <= 12; ++i)); do
    name=$(printf '%02d' "$i")
    "$maker" "$work/$name.mpc" 7 8 > /dev/null
    printf 'FILE "%s.mpc" WAVE\n  TRACK %s AUDIO\n    INDEX 01 00:00:00\n' "$name" "$name" >> "$work/album12.cue"
    files+=("$work/$name.mpc")
done
time_runs "album of 12" album12.cue "${files[@]}"
