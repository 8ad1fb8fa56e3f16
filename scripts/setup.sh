#!/usr/bin/env bash
# Installs the Debian packages the runner, its tests and its benchmarks need (only those
# missing), then configures and builds build/ (or the folder given with --build-dir).
#   scripts/setup.sh [--build-dir DIR] [--no-build] [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."

# The same names on Debian 12 and Ubuntu 22.04 and 24.04; the sanitizer runtime of the
# distribution's clang is chosen below.
PACKAGES=(
  g++ clang cmake ninja-build pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev libopenal-dev libalut-dev libvorbis-dev libogg-dev libjson-c-dev
  libbox2d-dev libsdl2-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libcurl4-openssl-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core libimgui-dev
  libffi-dev lua5.4 tzdata
  xvfb xdotool x11-apps libx11-dev
)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
UPDATED=0
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
install() {
  local missing=()
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  ((${#missing[@]})) || return 0
  echo "setup: installing ${missing[*]}"
  if ((!UPDATED)); then $SUDO apt-get update -qq; UPDATED=1; fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
install "${PACKAGES[@]}"

# AddressSanitizer's and UBSan's runtime for the installed clang: libclang-rt-N-dev where the
# distribution splits it out (Debian 12, Ubuntu 24.04), else in libclang-common-N-dev
# (Ubuntu 22.04), which clang already depends on.
CLANG_MAJOR=$(clang -dumpversion | cut -d. -f1)
RUNTIME=libclang-common-$CLANG_MAJOR-dev
if installed "libclang-rt-$CLANG_MAJOR-dev" || apt-cache show "libclang-rt-$CLANG_MAJOR-dev" >/dev/null 2>&1; then
  RUNTIME=libclang-rt-$CLANG_MAJOR-dev
fi
install "$RUNTIME"
if ((!UPDATED)); then echo "setup: every package needed is installed"; fi

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

JOBS=${JOBS:-$(nproc)}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja "${ARGS[@]}" >/dev/null
fi
cmake --build "$BUILD" -j "$JOBS"
