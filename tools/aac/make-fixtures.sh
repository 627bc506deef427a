#!/usr/bin/env bash
# Makes the AAC transport test fixtures with an independent encoder: a short sine
# encoded by ffmpeg's AAC encoder into ADTS and LOAS, at 32 and 48 kHz, in mono,
# stereo and 5.1. The tests parse their headers to the configuration.
#   tools/aac/make-fixtures.sh [output folder]
# Needs: ffmpeg (the Debian package).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/tests/libs/codec/aac/fixtures}
mkdir -p "$out"
for rate in 32000 48000; do
  for layout in mono stereo 5.1; do
    for format in adts latm; do
      ext=$([ "$format" = adts ] && echo aac || echo loas)
      ffmpeg -hide_banner -loglevel error -y \
        -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=0.1" \
        -af "aformat=channel_layouts=$layout" -c:a aac -b:a 64k -f "$format" \
        "$out/ff-$((rate / 1000))k-$layout.$ext"
    done
  done
done
