#!/usr/bin/env bash
# A music library in one call: SHEETS cue sheets spread over FOLDERS album
# folders (two levels deep: artist/album), dry-run with `vorlin -r -n` and with
# `find -name '*.cue' -exec vorlin -n {} +`, alternating, ROUNDS times each
# after one warm-up run of both. Prints the median wall time and the peak
# memory of each (GNU time's maximum resident set size; for find, that of the
# largest of find and the vorlin processes it starts). Then, once, `find -exec
# vorlin -n {} \;`, a process per sheet. Every sheet names two
# WAV files of its own folder and has INDEX 00 lines, so every one needs
# fixing and is shown as a diff. Run from the repository:
#
#   bash bench/library_walk.sh [SHEETS] [FOLDERS] [ROUNDS]   (default: 10000 1000 5)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/need-packages.sh time python3 >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target vorlin >/dev/null
tool=${VORLIN:-$PWD/build/release/vorlin}
sheets=${1:-10000} folders=${2:-1000} rounds=${3:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Per album folder: 01.wav and 02.wav (headers only), the sheets over them,
# a cover, a rip log and a hidden file, as a ripper leaves them.
python3 - "$work/Music" "$sheets" "$folders" <<'PY'
import os, struct, sys
root, sheets, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def wav(frames):
    size = frames * 588 * 4
    return (b'RIFF' + struct.pack('<I', 36 + size) + b'WAVE' + b'fmt ' +
            struct.pack('<IHHIIHH', 16, 1, 2, 44100, 176400, 4, 16) + b'data' + struct.pack('<I', size))
first, second = wav(13500), wav(9000)
sheet = ('REM GENRE Rock\nPERFORMER "Artist"\nTITLE "Album"\n'
         'FILE "01.wav" WAVE\n  TRACK 01 AUDIO\n    TITLE "One"\n    INDEX 00 00:00:00\n'
         '    INDEX 01 00:01:00\nFILE "02.wav" WAVE\n  TRACK 02 AUDIO\n    TITLE "Two"\n'
         '    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n')
for f in range(folders):
    album = os.path.join(root, 'Artist %04d' % (f // 10), 'Album %02d' % (f % 10))
    os.makedirs(album)
    for name, data in (('01.wav', first), ('02.wav', second), ('cover.jpg', b'\xff\xd8'),
                       ('rip.log', b'log\n'), ('.directory', b'[Desktop Entry]\n')):
        with open(os.path.join(album, name), 'wb') as out:
            out.write(data)
    for s in range(f * sheets // folders, (f + 1) * sheets // folders):
        with open(os.path.join(album, 'disc %06d.cue' % s), 'w') as out:
            out.write(sheet)
PY

cd "$work"
walk=("$tool" -r -n Music)
per_find=(find Music -name '*.cue' -exec "$tool" -n {} +)
per_sheet=(find Music -name '*.cue' -exec "$tool" -n {} \;)
# Runs one of the commands above; appends "milliseconds kilobytes" to its file.
measure() {
    local -n command=$1
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$work/peak" "${command[@]}" > "$work/$1.out" 2> "$work/$1.err"
    end=$(date +%s%N)
    echo "$(((end - start) / 1000000)) $(tail -n 1 "$work/peak")" >> "$work/$1.times"
}
for command in walk per_find; do measure "$command"; : > "$work/$command.times"; done
for ((round = 0; round < rounds; round++)); do
    measure walk
    measure per_find
done

measure per_sheet

echo "$sheets sheets in $folders folders, $rounds rounds; vorlin's last line: $(cat "$work/walk.err")"
for command in walk per_find per_sheet; do
    shown=$(grep -c '^not written (dry run)\.$' "$work/$command.out" || true)
    sort -n "$work/$command.times" | awk -v c="$command" -v shown="$shown" '
        { ms[NR] = $1; if ($2 > kb) kb = $2 }
        END {
            label = c == "walk" ? "vorlin -r -n Music" : c == "per_find" ? \
                    "find ... -exec vorlin -n {} +" : "find ... -exec vorlin -n {} \\;"
            printf "%-32s median %8.0f ms (%.0f to %.0f), peak memory %6.1f MB, %d sheets shown\n",
                   label, ms[int((NR + 1) / 2)], ms[1], ms[NR], kb / 1024, shown
        }'
done
