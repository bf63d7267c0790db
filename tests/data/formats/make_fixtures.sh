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
# test.ape and test.tta (3652 sample frames, 6 CD frames) are real files of
# formats no Debian encoder writes, not made here.
#
#   bash tests/data/formats/make_fixtures.sh
#
# installs flac, wavpack and sox when missing (see tools/need-packages.sh).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/../../../tools/need-packages.sh" flac wavpack sox

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
ls -l "$here"
