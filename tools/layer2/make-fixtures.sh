#!/usr/bin/env bash
# Makes the Layer II test fixtures with independent encoders: signals from sox
# (and espeak-ng for speech), encoded by twolame and by ffmpeg's mp2 encoder.
# The decoder tests compare what they decode from these streams with the signals,
# which is also the check on the decoder's transcribed tables.
#   tools/layer2/make-fixtures.sh [output folder]
# Needs: sox, twolame, ffmpeg, espeak-ng (Debian packages of the same names).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/tests/libs/codec/layer2/fixtures}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

seconds=0.6

# sine <rate> <channels> <freq left> [freq right] -> wav
sine() {
  local rate=$1 channels=$2 left=$3 right=${4:-$3} name=$5
  if [ "$channels" = 1 ]; then
    sox -n -r "$rate" -c 1 -b 16 "$tmp/$name.wav" synth "$seconds" sine "$left" vol 0.5
  else
    sox -n -r "$rate" -c 2 -b 16 "$tmp/$name.wav" synth "$seconds" sine "$left" sine "$right" vol 0.5
  fi
}

tl() { # twolame <input> <output> <options...>
  local in=$1 output=$2
  shift 2
  twolame --quiet "$@" "$tmp/$in.wav" "$out/$output"
}

ff() { # ffmpeg mp2 <input> <output> <bit rate>
  ffmpeg -hide_banner -loglevel error -y -i "$tmp/$1.wav" -c:a mp2 -b:a "$3" -f mp2 "$out/$2"
}

sine 48000 2 440 1000 s48
sine 48000 1 1000 1000 m48
sine 24000 2 440 1500 s24
sine 24000 1 700 700 m24
sine 44100 1 1000 1000 m44
sine 32000 1 1000 1000 m32

# MPEG-1 at 48 kHz: table a at most rates, c at the lowest.
tl s48 tl-48k-stereo-192-crc.mp2 -m s -b 192 -p
tl s48 tl-48k-dual-384-crc.mp2 -m d -b 384 -p
tl s48 tl-48k-stereo-64.mp2 -m s -b 64
tl m48 tl-48k-mono-32.mp2 -m m -b 32
tl m48 tl-48k-mono-192-crc.mp2 -m m -b 192 -p
# 44.1 kHz takes table b at high rates, 32 kHz table d at low ones.
tl m44 tl-44k-mono-160.mp2 -m m -b 160
tl m32 tl-32k-mono-48.mp2 -m m -b 48
# MPEG-2 low sampling frequencies.
tl s24 tl-24k-stereo-96-crc.mp2 -m s -b 96 -p
tl m24 tl-24k-mono-32.mp2 -m m -b 32
# A second, independent encoder.
ff s48 ff-48k-stereo-256.mp2 256k
ff m24 ff-24k-mono-96.mp2 96k

# Noise and speech: the sources are kept as raw 16-bit mono for the band energies.
sox -n -r 48000 -c 1 -b 16 "$tmp/noise.wav" synth "$seconds" pinknoise vol 0.3
# Joint stereo needs content that does not fit the bit rate: twolame codes tones as
# plain stereo even in joint mode.
sox -n -r 48000 -c 2 -b 16 "$tmp/noise2.wav" synth 0.4 pinknoise pinknoise vol 0.3
sox "$tmp/noise2.wav" -t raw -e signed -b 16 -L "$out/noise-48k-stereo.raw"
espeak-ng -w "$tmp/speech-raw.wav" "Digital radio plays speech and music." 2>/dev/null
sox "$tmp/speech-raw.wav" -r 48000 -c 1 -b 16 "$tmp/speech.wav" trim 0 0.8 norm -3
sox "$tmp/noise.wav" -t raw -e signed -b 16 -L "$out/noise-48k-mono.raw"
sox "$tmp/speech.wav" -t raw -e signed -b 16 -L "$out/speech-48k-mono.raw"
tl noise tl-48k-mono-noise-192.mp2 -m m -b 192
tl noise2 tl-48k-joint-192-noise.mp2 -m j -b 192
tl speech tl-48k-mono-speech-128.mp2 -m m -b 128

# DAB-shaped stream: header CRC and room at the end of each frame for the tail
# (X-PAD, scale-factor CRC, F-PAD) that the tests write themselves.
tl s48 tl-48k-stereo-128-dab.mp2 -m s -b 128 -p -R 96
tl s24 tl-24k-stereo-64-dab.mp2 -m s -b 64 -p -R 96
# At 48 kHz below 56 kbit/s per channel the tail is shorter: two check bytes.
tl s48 tl-48k-stereo-96-dab.mp2 -m s -b 96 -p -R 96

# Six seconds of programme-like signal for the checksum tests of the decoder's
# output. The tests hold the checksums of these very files: a remade file (other
# tool versions) needs its checksum taken anew from a decoder known to be right.
"$root/tools/layer2/make-programme.sh" 6 48000 2 "$tmp/programme2.wav"
"$root/tools/layer2/make-programme.sh" 6 48000 1 "$tmp/programme1.wav"
twolame --quiet -m j -b 192 -p "$tmp/programme2.wav" "$out/long-48k-joint-192-crc.mp2"
twolame --quiet -m m -b 96 -p "$tmp/programme1.wav" "$out/long-48k-mono-96-crc.mp2"
ff programme2 long-48k-stereo-192.mp2 192k
ff programme1 long-48k-mono-96.mp2 96k

ls -l "$out"
