#!/usr/bin/env bash
# Regenerates the FLAC tracks of examples/flac_album: each a short tone
# followed by silence (44100 Hz, 16-bit stereo), of these lengths:
#
#   01 Morning.flac   529323 sample frames   900 CD frames (00:12:00)
#   02 Tide.flac      882147 sample frames  1500 CD frames (00:20:00)
#   03 Dunes.flac     352801 sample frames   600 CD frames (00:08:00)
#   04 Evening.flac   661501 sample frames  1125 CD frames (00:15:00)
#
#   bash examples/make_flac_album.sh
#
# installs flac and sox when missing (see tools/need-packages.sh). The cue
# sheet, album.cue, is written by hand.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/../tools/need-packages.sh" flac sox

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

track() { # number title frequency sample-frames
  local tone=13230 # 0.3 s
  sox -D -r 44100 -c 2 -n -b 16 "$work/$1.wav" synth "${tone}s" sine "$3" vol 0.25 pad 0 "$(($4 - tone))s"
  [[ "$(soxi -s "$work/$1.wav")" == "$4" ]]
  flac --silent --best --no-padding -T "TITLE=$2" -T "ARTIST=Example Ensemble" -T "TRACKNUMBER=$1" \
    -f -o "$here/flac_album/$1 $2.flac" "$work/$1.wav"
}
track 01 Morning 330 529323
track 02 Tide 392 882147
track 03 Dunes 440 352801
track 04 Evening 294 661501
ls -l "$here/flac_album"
