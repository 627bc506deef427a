#!/usr/bin/env bash
# Sets up a Debian 12 machine for the player, builds it, then either runs the
# player or runs every test:
#   tools/setup.sh run [player options...]   install, build, run the player
#   tools/setup.sh test                      install, build, run all tests
set -euo pipefail

mode=${1:-}
shift || true
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${ZOZ_BUILD_DIR:-$root/build}
fuzz_dir=${ZOZ_FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${ZOZ_JOBS:-$(nproc)}

build_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-webengine-dev qt6-5compat-dev qt6-tools-dev qt6-l10n-tools libxkbcommon-dev libqt6svg6
  libasound2-dev zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
  libtwolame-dev espeak-ng sox
)
test_packages=(
  clang libclang-rt-14-dev xvfb xauth chromium twolame sox ffmpeg faad
)
# Node.js drives the browser tests. A machine may already have its own build of
# it (one that bundles npm and conflicts with Debian's npm): use that one.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  test_packages+=(nodejs npm)
fi

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
  cmake -S "$root" -B "$build_dir" -G Ninja "$@"
  cmake --build "$build_dir" -j "$jobs"
}

run_fuzzers() {
  CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz_dir" -G Ninja -DZOZ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$fuzz_dir" -j "$jobs"
  "$root/tools/run-fuzzers" "$fuzz_dir" "${ZOZ_FUZZ_SECONDS:-20}"
}

case "$mode" in
  run)
    install_packages "${build_packages[@]}"
    build -DZOZ_BUILD_TESTS=OFF -DZOZ_BUILD_BENCH=OFF
    demo="$build_dir/resources/demo"
    if [ -z "${RTKDAB_SOURCE:-}" ] && [ -d "$demo" ]; then
      export RTKDAB_SOURCE="$demo"
    fi
    exec "$build_dir/src/zoz" "$@"
    ;;
  test)
    install_packages "${build_packages[@]}" "${test_packages[@]}"
    # The browser tests drive the system's Chromium through playwright-core;
    # npm never downloads a browser here.
    (cd "$root/tests/browser" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund)
    build -DZOZ_BUILD_TESTS=ON -DZOZ_BUILD_BENCH=ON
    (cd "$build_dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 600)
    run_fuzzers
    ;;
  *)
    echo "usage: $0 run [player options...] | test" >&2
    exit 2
    ;;
esac
