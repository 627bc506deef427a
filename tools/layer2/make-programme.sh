#!/usr/bin/env bash
# Writes a programme-like test signal as a 16-bit WAV file: a tone sweep against
# pink noise, speech, a chord, and a near full-scale square wave that the decoder
# has to clip, repeated to the requested length. Used for the long Layer II
# fixtures and for the decoder benchmark's streams.
#   tools/layer2/make-programme.sh <seconds> <sample rate> <channels 1|2> <output.wav>
# Needs: sox, espeak-ng.
set -euo pipefail
seconds=$1 rate=$2 channels=$3 out=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

part() { sox -n -r "$rate" -c "$channels" -b 16 "$tmp/$1.wav" synth "${@:2}"; }
if [ "$channels" = 1 ]; then
  part sweep 2 sine 40/16000 vol 0.4
  part noise 1 pinknoise tremolo 3 80 vol 0.5
  part chord 1.5 sine 262 sine 330 sine 392 remix 1 vol 0.3
  part square 0.5 square 110 vol 0.98
else
  # Different signals left and right, so that the two channels cannot share bits.
  part sweep 2 sine 40/16000 pinknoise vol 0.4
  part noise 1 pinknoise brownnoise tremolo 3 80 vol 0.5
  part chord 1.5 sine 262 sine 392 vol 0.3
  part square 0.5 square 110 square 165 vol 0.98
fi
espeak-ng -w "$tmp/speech-raw.wav" "Digital radio plays speech and music, day and night." 2>/dev/null
sox "$tmp/speech-raw.wav" -r "$rate" -c "$channels" -b 16 "$tmp/speech.wav" norm -2
sox "$tmp/square.wav" "$tmp/sweep.wav" "$tmp/speech.wav" "$tmp/noise.wav" "$tmp/chord.wav" "$tmp/block.wav"
block=$(soxi -D "$tmp/block.wav")
repeats=$(awk -v s="$seconds" -v b="$block" 'BEGIN { r = int(s / b); print r }')
sox "$tmp/block.wav" "$out" repeat "$repeats" trim 0 "$seconds"
