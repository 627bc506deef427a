#!/usr/bin/env bash
# Makes the AAC core test streams with an independent encoder (ffmpeg's AAC-LC
# encoder, ADTS): rates from 16 to 48 kHz, mono, stereo and 5.1, 32 to 256 kbit/s,
# with its mid/side, intensity, noise substitution and temporal noise shaping
# switched on where the signal calls for them (tones, noise, clicks). Noise
# substitution is off except in the PNS streams, so that the others can be compared
# sample by sample.
#   tools/aac/make-core-fixtures.sh [output folder]
#   tools/aac/make-core-fixtures.sh --source NAME   the stream's source signal as
#                                                   interleaved 32-bit float on stdout
# Needs: ffmpeg (the Debian package).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# A 440 Hz tone with clicks every 100 ms (short windows, TNS) and a noise bed (PNS).
tone='0.4*sin(2*PI*440*t)'
clicks='0.5*random(0)*lt(mod(t\,0.1)\,0.003)'
noise='0.05*random(1)'
# Each stream: name rate layout bitrate expression-per-channel encoder-options...
streams() {
  stream 16k-mono-32k-tns 16000 mono 32k "$tone+$clicks" -aac_tns 1 -aac_pns 0
  stream 22k-mono-48k-pns 22050 mono 48k "$tone+$noise*8" -aac_pns 1
  stream 24k-stereo-64k-pns 24000 stereo 64k "$tone+$noise*6|$tone+$noise*6" -aac_pns 1
  stream 32k-stereo-256k-tns 32000 stereo 256k "$tone+$clicks|0.3*sin(2*PI*660*t)+$clicks" -aac_tns 1 -aac_pns 0
  stream 44k-stereo-128k-ms 44100 stereo 128k "$tone+0.01*sin(2*PI*3000*t)|$tone-0.01*sin(2*PI*3000*t)" -aac_ms 1 -aac_pns 0
  stream 48k-stereo-64k-is 48000 stereo 64k "$tone+0.2*sin(2*PI*9000*t)+$noise|0.2*sin(2*PI*660*t)+0.1*sin(2*PI*9000*t)+$noise" -aac_is 1 -aac_ms 1 -aac_pns 0
  stream 48k-5.1-256k 48000 5.1 256k "$tone|0.3*sin(2*PI*550*t)|0.3*sin(2*PI*660*t)|0.3*sin(2*PI*60*t)|0.3*sin(2*PI*770*t)|0.3*sin(2*PI*880*t)" -aac_pns 0
  # Four channels in a layout without a channel configuration (L R Ls Rs): the stream
  # carries its layout in a program config element.
  stream 48k-quad-128k-pce 48000 quad 128k "0.3*sin(2*PI*440*t)|0.3*sin(2*PI*550*t)|0.3*sin(2*PI*660*t)|0.3*sin(2*PI*770*t)" -aac_pns 0
}
input() { # rate layout expression
  echo "aevalsrc=exprs=$3:sample_rate=$1:duration=0.3:channel_layout=$2"
}
if [ "${1:-}" = --source ]; then
  wanted=${2:?stream name}
  stream() {
    [ "$1" = "$wanted" ] || return 0
    ffmpeg -hide_banner -loglevel error -f lavfi -i "$(input "$2" "$3" "$5")" -f f32le -
    found=1
  }
  found=0
  streams
  [ "$found" = 1 ] || { echo "no stream $wanted" >&2; exit 1; }
  exit 0
fi
out=${1:-$root/tests/libs/codec/aac/fixtures}
mkdir -p "$out"
stream() {
  local name=$1 rate=$2 layout=$3 bitrate=$4 expr=$5
  shift 5
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$(input "$rate" "$layout" "$expr")" \
    -c:a aac -b:a "$bitrate" "$@" -f adts "$out/core-$name.aac"
}
streams
