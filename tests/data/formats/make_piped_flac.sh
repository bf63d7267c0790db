#!/usr/bin/env bash
# Regenerates the FLAC fixtures in piped/: the source of make_fixtures.sh
# (18141 sample frames, 44100 Hz, 16-bit stereo; 30 CD frames) encoded by the
# real flac encoder to a pipe, which cannot go back to write the total:
# STREAMINFO says 0 samples, and the stream is measured from its last frame.
#
#   piped-NNNN.flac      block sizes 192, 1152, 4096 (flac's default), 4608
#   piped-mono-24.flac   mono, 24-bit, 4096
#   piped-cut.flac       piped-4096.flac cut in its last frame: 4 frames of
#                        4096 stay whole, 16384 sample frames (27 CD frames)
#   piped-damaged.flac   piped-4096.flac with a byte of its last frame
#                        changed (its CRC-16 fails): 16384 too
#
#   bash tests/data/formats/make_piped_flac.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/../../../tools/need-packages.sh" flac sox python3

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

sox -D -r 44100 -c 2 -n -b 16 source.wav synth 13731s sine 440 vol 0.25 pad 4410s
[[ "$(soxi -s source.wav)" == 18141 ]]
sox -D source.wav -c 1 -b 24 mono24.wav

# Raw samples from a pipe: the encoder never learns the total.
raw() { flac --silent --no-padding --force-raw-format --endian=little --sign=signed \
  --sample-rate=44100 "$@" -c - 2>/dev/null | cat; }
for size in 192 1152 4096 4608; do
  sox source.wav -t raw - | raw --channels=2 --bps=16 --blocksize="$size" > "piped-$size.flac"
done
sox mono24.wav -t raw - | raw --channels=1 --bps=24 > piped-mono-24.flac
for f in piped-*.flac; do
  # The total is unknown, and the stream decodes to all of the source's samples.
  [[ "$(metaflac --show-total-samples "$f")" == 0 ]]
  flac --silent --test "$f" 2>&1 | grep -q 'tested 18141 samples' ||
    flac --test "$f" 2>&1 | grep -q 'tested 18141 samples'
done

# The last frame starts at the last frame header: FF F8, two bytes, its
# frame number 4.
python3 - <<'PY'
data = open("piped-4096.flac", "rb").read()
last = max(i for i in range(len(data) - 4) if data[i:i + 2] == b"\xff\xf8" and data[i + 4] == 4)
middle = last + (len(data) - last) // 2
open("piped-cut.flac", "wb").write(data[:middle])
damaged = bytearray(data)
damaged[middle] ^= 0x55
open("piped-damaged.flac", "wb").write(bytes(damaged))
PY

rm -rf "$here/piped" && mkdir "$here/piped" && cp piped-*.flac "$here/piped/"
ls -l "$here/piped"
