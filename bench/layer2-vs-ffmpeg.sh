#!/usr/bin/env bash
# Times our Layer II decoder against ffmpeg's mp2 decoder on the same streams and
# prints the CPU ratio (ours / ffmpeg; at or below 1.00 is the target). Both report
# the user CPU of their decoding in ffmpeg's -benchmark form; the runs alternate
# and the medians are compared, so a drifting machine speed affects both alike.
#   bench/layer2-vs-ffmpeg.sh [build folder] [runs] [seconds of audio]
# The streams (48 kHz stereo 192 kbit/s and mono 96 kbit/s, with and without the
# header CRC) are made once with twolame into <build>/layer2-bench-streams.
# Needs: the codec_layer2_decode_file target built; sox, espeak-ng and twolame to
# make the streams; ffmpeg for the comparison (without it only our times print).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
seconds=${3:-300}
decoder=$build/bench/codec/codec_layer2_decode_file
streams=$build/layer2-bench-streams

if [ ! -x "$decoder" ]; then
  echo "build the decoder benchmark first: cmake --build $build --target codec_layer2_decode_file" >&2
  exit 1
fi

# name, channels, twolame options
cases=(
  "stereo-192-crc 2 -m s -b 192 -p"
  "stereo-192 2 -m s -b 192"
  "mono-96-crc 1 -m m -b 96 -p"
  "mono-96 1 -m m -b 96"
)

mkdir -p "$streams"
for c in "${cases[@]}"; do
  read -r name channels options <<<"$c"
  file=$streams/$name-$seconds.mp2
  [ -s "$file" ] && continue
  for tool in sox espeak-ng twolame; do
    command -v "$tool" >/dev/null || { echo "$tool is needed to make $file" >&2; exit 1; }
  done
  wav=$streams/programme-$channels-$seconds.wav
  [ -s "$wav" ] || "$root/tools/layer2/make-programme.sh" "$seconds" 48000 "$channels" "$wav"
  # shellcheck disable=SC2086 # the options are words
  twolame --quiet $options "$wav" "$file"
done
rm -f "$streams"/programme-*.wav

utime() { sed -n 's/^bench: utime=\([0-9.]*\)s.*/\1/p' | head -n 1; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

haveFfmpeg=0
command -v ffmpeg >/dev/null && haveFfmpeg=1
[ $haveFfmpeg = 1 ] || echo "ffmpeg is not installed: only our decoder is timed"

printf '%-16s %10s %10s %8s   (median user CPU of %d runs, %d s of audio)\n' stream ours ffmpeg ratio "$runs" "$seconds"
for c in "${cases[@]}"; do
  read -r name _ <<<"$c"
  file=$streams/$name-$seconds.mp2
  ours=() theirs=()
  for ((i = 0; i < runs; i++)); do
    ours+=("$("$decoder" "$file" | utime)")
    if [ $haveFfmpeg = 1 ]; then
      theirs+=("$(ffmpeg -hide_banner -nostdin -threads 1 -c:a mp2 -i "$file" -f null - -benchmark 2>&1 | utime)")
    fi
  done
  a=$(printf '%s\n' "${ours[@]}" | median)
  if [ $haveFfmpeg = 1 ]; then
    b=$(printf '%s\n' "${theirs[@]}" | median)
    printf '%-16s %9.3fs %9.3fs %8.2f\n' "$name" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN { print a / b }')"
  else
    printf '%-16s %9.3fs %10s %8s\n' "$name" "$a" - -
  fi
done
