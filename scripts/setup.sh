#!/usr/bin/env bash
# Installs the Debian packages the runner, its tests and its benchmarks need (only those
# missing), then configures and builds build/ (or the folder given with --build-dir).
#   scripts/setup.sh [--build-dir DIR] [--no-build] [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++ clang libclang-rt-14-dev cmake ninja-build pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev libopenal-dev libalut-dev libvorbis-dev libogg-dev libjson-c-dev
  libbox2d-dev libsdl2-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libcurl4-openssl-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core libimgui-dev
  libffi-dev lua5.4 tzdata
  xvfb xdotool x11-apps libx11-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

BUILD=build
BUILD_ONLY=1
ARGS=()
while (($#)); do
  case "$1" in
    --build-dir) BUILD="$2"; shift 2 ;;
    --no-build) BUILD_ONLY=0; shift ;;
    *) ARGS+=("$1"); shift ;;
  esac
done
((BUILD_ONLY)) || exit 0

JOBS=$(nproc)
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja "${ARGS[@]}" >/dev/null
fi
cmake --build "$BUILD" -j "$JOBS"
