#!/usr/bin/env bash
# Rewrites cue sheets of growing size (one WAV track, one INDEX line per
# track) with `vorlin --force` and prints the time and peak memory of each
# run, to show that both grow linearly with the sheet. Dry runs (`-n`) of the
# same sheet are timed too: with LF line ends the diff is one hunk (the FILE
# line), with CR LF line ends every line changes and the diff holds the whole
# sheet twice. Run from the repository:
#
#   bash bench/large_sheet.sh [LINES...]      (default: 250000 500000 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
tool=${VORLIN:-$PWD/build/bench/vorlin}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ $# -gt 0 ] || set -- 250000 500000 1000000

# A header-only WAV standing for 99 minutes of CD audio.
python3 - "$work/01.wav" <<'PY'
import struct, sys
size = 99 * 60 * 44100 * 4
open(sys.argv[1], 'wb').write(b'RIFF' + struct.pack('<I', 36 + size) + b'WAVE' + b'fmt ' +
    struct.pack('<IHHIIHH', 16, 1, 2, 44100, 176400, 4, 16) + b'data' + struct.pack('<I', size))
PY

cd "$work"
for lines in "$@"; do
    awk -v n="$lines" 'BEGIN {
        print "FILE \"01.wav\" WAVE"
        for (i = 1; i < n; i += 2) {
            printf "  TRACK %02d AUDIO\n", i % 100
            printf "    INDEX 01 %02d:%02d:%02d\n", (i / 75 / 60) % 99, (i / 75) % 60, i % 75
        }
    }' > "$work/big.cue"
    sed 's/$/\r/' "$work/big.cue" > "$work/crlf.cue"
    for run in "-n big.cue" "-n crlf.cue" "big.cue"; do
        sheet=${run#-n }
        bytes=$(stat -c %s "$work/$sheet")
        /usr/bin/time -f "%e %M" -o "$work/time" "$tool" --force $run > "$work/out"
        read -r seconds kilobytes < "$work/time"
        awk -v r="$run" -v l="$lines" -v b="$bytes" -v s="$seconds" -v k="$kilobytes" \
            -v o="$(stat -c %s "$work/out")" 'BEGIN {
            printf "%-12s %8d lines, %6.1f MB: %6.2f s, peak memory %6.1f MB (%.2f x the sheet), output %6.1f MB\n",
                   r, l, b / 1e6, s, k / 1e3, k * 1e3 / b, o / 1e6 }'
    done
done
