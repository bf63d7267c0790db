#!/usr/bin/env bash
# Regenerates the encoded fixtures in this folder from one PCM source of
# 18141 sample frames (0.1 s of silence, then a 440 Hz tone; 44100 Hz,
# 16-bit stereo), which measures 18141 * 75 / 44100 = 30 CD frames:
#
#   plain.flac     FLAC
#   id3.flac       the same with an ID3v2 tag in front
#   picture.flac   FLAC with a PICTURE block of 23 KB
#   lossless.wv    WavPack, lossless
#   hybrid.wv      WavPack, hybrid (lossy) mode
#   tone.aiff      AIFF
#
# and in encoders/, the same source (or a shorter one) through the real
# encoders in many settings, each name saying how it was made:
#
#   wv-*.wv        wavpack: modes -f, -h, -hh, -x, hybrid (with a correction
#                  file, left out), mono, 8/24/32-bit and float, 6 channels,
#                  48 kHz and custom rates (50000 and 7000 Hz), small blocks,
#                  and written to a pipe (no total: the blocks are walked);
#                  wv-dsd.wv, 0.1 s of 1-bit DSD (2822400 Hz) from a DSF file
#                  made here: refused, its counts are not of PCM samples
#   aiff-*.aiff    sox: 8/16/24/32-bit, mono, 8000 to 96000 Hz, AIFF-C
#
# test.ape and test.tta (3652 sample frames, 6 CD frames) are real files of
# formats no Debian encoder writes, not made here.
#
#   bash tests/data/formats/make_fixtures.sh
#
# installs flac, wavpack and sox when missing (see tools/need-packages.sh).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/../../../tools/need-packages.sh" flac wavpack sox python3

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# -D: no dither, so the tone stays exact and compresses well.
sox -D -r 44100 -c 2 -n -b 16 source.wav synth 13731s sine 440 vol 0.25 pad 4410s
[[ "$(soxi -s source.wav)" == 18141 ]]
sox source.wav -n spectrogram -x 160 -y 129 -o picture.png

flac --silent --best --no-padding -o plain.flac source.wav
flac --silent --best --no-padding --picture="3|image/png|||picture.png" -o picture.flac source.wav
# ID3v2.3 header (32 bytes of frames follow), a TIT2 frame "Tone", padding.
{
  printf 'ID3\x03\x00\x00\x00\x00\x00\x20'
  printf 'TIT2\x00\x00\x00\x05\x00\x00\x00Tone'
  head -c 17 /dev/zero
  cat plain.flac
} > id3.flac
wavpack -q -hh source.wav -o lossless.wv
wavpack -q -hh -b3 source.wav -o hybrid.wv
sox source.wav tone.aiff

cp plain.flac id3.flac picture.flac lossless.wv hybrid.wv tone.aiff "$here/"

mkdir -p encoders
# 0.05 s of tone (2205 sample frames at 44100 Hz), kept small for the many settings.
short() { sox -D -r "${2:-44100}" -c "${3:-2}" -n -b "${1:-16}" ${4:-} "short-$1-${2:-44100}-${3:-2}.wav" \
  synth 0.05 sine 440 vol 0.25; echo "short-$1-${2:-44100}-${3:-2}.wav"; }
wv() { local out=$1 in=$2; shift 2; wavpack -q "$@" "$in" -o "encoders/$out"; }
wv wv-fast.wv source.wav -f
wv wv-high.wv source.wav -h
wv wv-extra.wv "$(short 16)" -hh -x6
wv wv-hybrid-correction.wv "$(short 16)" -b3 -c
wv wv-mono.wv "$(short 16 44100 1)"
wv wv-8bit.wv "$(short 8)"
wv wv-24bit.wv "$(short 24)"
wv wv-32bit.wv "$(short 32)"
sox -D -n -r 44100 -c 2 -e floating-point -b 32 float.wav synth 0.05 sine 440 vol 0.25
wv wv-float.wv float.wav
wv wv-6ch.wv "$(short 16 44100 6)"
wv wv-48000.wv "$(short 16 48000)"
wv wv-custom-50000.wv "$(short 16 50000)"
wv wv-custom-7000.wv "$(short 16 7000)"
wv wv-blocks.wv source.wav --blocksize=2048
# No way back to the first block on a pipe: its total stays unknown.
sox source.wav -t raw - | wavpack -q -y --raw-pcm --blocksize=4096 - -o - > encoders/wv-piped.wv
sox "$(short 16 44100 1)" -t raw - | wavpack -q -y --raw-pcm=44100,16,1 - -o - \
  > encoders/wv-piped-mono.wv
# A DSF file (DSD chunk, fmt chunk, data: blocks of 4096 bytes a channel) of
# the idle pattern 0x69, 0.1 s of stereo at 2822400 Hz.
python3 - <<'PY'
import struct
rate, channels, block = 2822400, 2, 4096
samples = rate // 10
blocks = (samples // 8 + block - 1) // block
data = bytes([0x69]) * (block * channels * blocks)
fmt = b"fmt " + struct.pack("<QIIIIIIQII", 52, 1, 0, 2, channels, rate, 1, samples, block, 0)
chunk = b"data" + struct.pack("<Q", 12 + len(data)) + data
dsd = b"DSD " + struct.pack("<QQQ", 28, 28 + len(fmt) + len(chunk), 0)
open("dsd.dsf", "wb").write(dsd + fmt + chunk)
PY
wv wv-dsd.wv dsd.dsf
for format in 8 16 24 32; do sox "$(short "$format")" "encoders/aiff-${format}bit.aiff"; done
sox "$(short 16 44100 1)" encoders/aiff-mono.aiff
for rate in 8000 22050 48000 96000; do sox "$(short 16 "$rate")" "encoders/aiff-$rate.aiff"; done
sox "$(short 16)" encoders/aiff-c.aifc
mv encoders/aiff-c.aifc encoders/aiff-c.aiff

rm -f encoders/*.wvc # the correction file plays no part in the length
rm -rf "$here/encoders" && cp -r encoders "$here/"
ls -l "$here" "$here/encoders"
