#!/usr/bin/env bash
# Times the tool against the fastest common program that reads the same
# files, for every kind of album, and the tool's start-up against /bin/true:
#
#   FLAC album     `vorlin -n` on a sheet over 12 FLAC files of 8 MB
#                  against `metaflac --show-total-samples` of the 12 in one call
#   1000 FLAC      one sheet over 1,000 small FLAC files, against metaflac of
#                  the 1,000 in one call
#   WAV album      a sheet over 12 WAV files against `soxi -s` of the 12
#   start-up       `vorlin --version` against `/bin/true`
#   MPC            sheets over 12 version 7 files of 0.3 MB, 12 of 8 MB, and
#                  one stream of 40 MB, against `md5sum` of the same files in
#                  one call; each also with VORLIN_THREADS=1
#
# Every process is spawned the same way by bench/spawn_compare (standard
# output to /dev/null), the commands taking turns for ROUNDS rounds with the
# page cache warm; it prints the peer's median, the tool's, and the median
# of the per-round ratios (below 1.0: the tool is faster). Run from the
# repository:
#
#   bash bench/compare_peers.sh [ROUNDS]
#
# It builds the "bench" preset first (the tool, the stream writer, the
# spawner). VORLIN=path times another build of the tool; BASELINE=path adds
# a column for a second build, timed in the same rounds; CASES="flac wav"
# times only some of the cases (flac, flac1000, wav, startup, mpc). It
# installs the Debian packages it needs when missing (flac and sox, for the
# encoders and the peers metaflac and soxi; libbenchmark-dev for the bench
# preset), see tools/need-packages.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-11}
cases=${CASES:-flac flac1000 wav startup mpc}

bash tools/need-packages.sh flac sox libbenchmark-dev
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
tool=${VORLIN:-$PWD/build/bench/vorlin}
baseline=${BASELINE:-}
spawn=$PWD/build/bench/bench/spawn_compare
maker=$PWD/build/bench/bench/make_mpc_stream
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# sheet NAMES...: a per-track sheet over the named files, each track after
# the first with a pregap of one second at the start of its own file.
sheet() {
    local n=0 name
    for name in "$@"; do
        n=$((n + 1))
        printf 'FILE "%s" WAVE\n  TRACK %02d AUDIO\n' "$name" "$n"
        if ((n > 1)); then printf '    INDEX 00 00:00:00\n    INDEX 01 00:01:00\n'
        else printf '    INDEX 01 00:00:00\n'; fi
    done
}

# compare LABEL DIR REPEAT PEER... --- [ENV=VALUE...]: the peer against
# `vorlin -n album.cue` in DIR (the tool's arguments replaced by those after
# a second `---`, when given). Each round runs every command REPEAT times.
printf '%-30s %10s %10s %7s' case "peer ms" "vorlin ms" ratio
[ -n "$baseline" ] && printf ' %10s %7s' "before ms" ratio
printf '\n'
compare() {
    local label=$1 dir=$2 repeat=$3
    shift 3
    local peer=() env=() args=(-n album.cue)
    while [ "$1" != --- ]; do peer+=("$1"); shift; done
    shift
    while (($#)) && [ "$1" != --- ]; do env+=("$1"); shift; done
    if (($#)); then shift; args=("$@"); fi
    local commands=(peer "${peer[@]}" ::: vorlin "${env[@]}" "$tool" "${args[@]}")
    [ -n "$baseline" ] && commands+=(::: before "${env[@]}" "$baseline" "${args[@]}")
    # The tool must succeed on the sheet before it is timed.
    (cd "$dir" && env "${env[@]}" "$tool" "${args[@]}" > "$work/out.txt") ||
        { echo "vorlin failed on $label:"; cat "$work/out.txt"; exit 1; }
    (cd "$dir" && "$spawn" "$rounds" "$repeat" "${commands[@]}") > "$work/times.txt"
    awk -F'\t' -v label="$label" '
        NR == 1 { peer = $2 }
        NR == 2 { tool = $2; ratio = $3 }
        NR == 3 { before = $2; beforeRatio = $3 }
        END {
            printf "%-30s %10.2f %10.2f %7.2f", label, peer, tool, ratio
            if (NR == 3) printf " %10.2f %7.2f", before, beforeRatio
            printf "\n"
        }' "$work/times.txt"
}

# FLAC album: 12 files of about 8 MB (white noise barely compresses).
case_flac() {
    mkdir "$work/flac"
    local names=() i name
    for ((i = 1; i <= 12; ++i)); do
        name=$(printf '%02d.flac' "$i")
        sox -n -r 44100 -c 2 -b 16 "$work/flac/t.wav" synth $((45 + i % 5)) whitenoise vol 0.5
        flac -s -0 -f -o "$work/flac/$name" "$work/flac/t.wav"
        names+=("$name")
    done
    rm "$work/flac/t.wav"
    sheet "${names[@]}" > "$work/flac/album.cue"
    compare "FLAC album, 12 x 8 MB" "$work/flac" 10 \
        metaflac --show-total-samples "${names[@]}" ---
}

# 1,000 FLAC files of 2 seconds under one sheet.
case_flac1000() {
    mkdir "$work/flac1000"
    sox -n -r 44100 -c 2 -b 16 "$work/flac1000/t.wav" synth 2 sine 440
    flac -s -f -o "$work/flac1000/t.flac" "$work/flac1000/t.wav"
    local names=() i name
    for ((i = 1; i <= 1000; ++i)); do
        name=$(printf '%04d.flac' "$i")
        cp "$work/flac1000/t.flac" "$work/flac1000/$name"
        names+=("$name")
    done
    rm "$work/flac1000/t.wav" "$work/flac1000/t.flac"
    sheet "${names[@]}" > "$work/flac1000/album.cue"
    compare "1000 FLAC files" "$work/flac1000" 2 \
        metaflac --show-total-samples "${names[@]}" ---
}

# WAV album: 12 files of about 30 seconds.
case_wav() {
    mkdir "$work/wav"
    local names=() i name
    for ((i = 1; i <= 12; ++i)); do
        name=$(printf '%02d.wav' "$i")
        sox -n -r 44100 -c 2 -b 16 "$work/wav/$name" synth $((28 + i % 5)) sine 440
        names+=("$name")
    done
    sheet "${names[@]}" > "$work/wav/album.cue"
    compare "WAV album, 12 files" "$work/wav" 10 soxi -s "${names[@]}" ---
}

case_startup() {
    compare "start-up (--version)" "$work" 40 /bin/true --- --- --version
}

# MPC: albums of 12 version 7 files of 0.3 and 8 MB, and one 40 MB stream.
mpc_album() {
    local label=$1 dir=$2 megabytes=$3 count=$4 repeat=$5
    mkdir "$dir"
    local names=() i name
    for ((i = 1; i <= count; ++i)); do
        name=$(printf '%02d.mpc' "$i")
        "$maker" "$dir/$name" 7 "$megabytes" > /dev/null
        names+=("$name")
    done
    if ((count == 1)); then
        printf 'FILE "01.mpc" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' > "$dir/album.cue"
    else
        sheet "${names[@]}" > "$dir/album.cue"
    fi
    # --force: a sheet over one file needs no fixing otherwise.
    compare "MPC $label" "$dir" "$repeat" md5sum "${names[@]}" --- --- -n --force album.cue
    compare "MPC $label, 1 thread" "$dir" "$repeat" md5sum "${names[@]}" --- \
        VORLIN_THREADS=1 --- -n --force album.cue
}
case_mpc() {
    mpc_album "12 x 0.3 MB" "$work/mpc_small" 0.3 12 10
    mpc_album "12 x 8 MB" "$work/mpc_album" 8 12 1
    mpc_album "40 MB" "$work/mpc_one" 40 1 1
}

for name in $cases; do "case_$name"; done
