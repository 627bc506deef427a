#!/usr/bin/env bash
# Makes the AAC core test streams with an independent encoder (ffmpeg's AAC-LC
# encoder, ADTS): rates from 16 to 48 kHz, mono, stereo and 5.1, 32 to 256 kbit/s,
# with its mid/side, intensity, noise substitution and temporal noise shaping
# switched on where the signal calls for them (tones, noise, clicks). Noise
# substitution is off except in the PNS streams, so that the others can be compared
# sample by sample.
#   tools/aac/make-core-fixtures.sh [output folder]
# Needs: ffmpeg (the Debian package).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/tests/libs/codec/aac/fixtures}
mkdir -p "$out"
# A 440 Hz tone with clicks every 100 ms (short windows, TNS) and a noise bed (PNS).
tone='0.4*sin(2*PI*440*t)'
clicks='0.5*random(0)*lt(mod(t\,0.1)\,0.003)'
noise='0.05*random(1)'
make() { # name rate layout bitrate expression-per-channel options...
  local name=$1 rate=$2 layout=$3 bitrate=$4 expr=$5
  shift 5
  ffmpeg -hide_banner -loglevel error -y -f lavfi \
    -i "aevalsrc=exprs=$expr:sample_rate=$rate:duration=0.3:channel_layout=$layout" \
    -c:a aac -b:a "$bitrate" "$@" -f adts "$out/core-$name.aac"
}
make 16k-mono-32k-tns 16000 mono 32k "$tone+$clicks" -aac_tns 1 -aac_pns 0
make 22k-mono-48k-pns 22050 mono 48k "$tone+$noise*8" -aac_pns 1
make 24k-stereo-64k-pns 24000 stereo 64k "$tone+$noise*6|$tone+$noise*6" -aac_pns 1
make 32k-stereo-256k-tns 32000 stereo 256k "$tone+$clicks|0.3*sin(2*PI*660*t)+$clicks" -aac_tns 1 -aac_pns 0
make 44k-stereo-128k-ms 44100 stereo 128k "$tone+0.01*sin(2*PI*3000*t)|$tone-0.01*sin(2*PI*3000*t)" -aac_ms 1 -aac_pns 0
make 48k-stereo-64k-is 48000 stereo 64k "$tone+0.2*sin(2*PI*9000*t)+$noise|0.2*sin(2*PI*660*t)+0.1*sin(2*PI*9000*t)+$noise" -aac_is 1 -aac_ms 1 -aac_pns 0
make 48k-5.1-256k 48000 5.1 256k "$tone|0.3*sin(2*PI*550*t)|0.3*sin(2*PI*660*t)|0.3*sin(2*PI*60*t)|0.3*sin(2*PI*770*t)|0.3*sin(2*PI*880*t)" -aac_pns 0
# Four channels in a layout without a channel configuration (L R Ls Rs): the stream
# carries its layout in a program config element.
make 48k-quad-128k-pce 48000 quad 128k "0.3*sin(2*PI*440*t)|0.3*sin(2*PI*550*t)|0.3*sin(2*PI*660*t)|0.3*sin(2*PI*770*t)" -aac_pns 0
