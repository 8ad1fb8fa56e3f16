#!/usr/bin/env bash
# Installs the Debian packages the runner, its tests and its benchmarks need (only those
# missing), fetches the sources of Dear ImGui (Debian's source package, into third_party/imgui),
# then configures and builds build/ (or the folder given with --build-dir).
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
  libcurl4-openssl-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libffi-dev lua5.4 tzdata xz-utils
  xvfb xdotool x11-apps libx11-dev libxtst-dev openbox
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

# Dear ImGui is compiled with the runner (CMakeLists.txt), with 32-bit characters: the library
# of Debian's libimgui-dev is built with 16-bit ones, which turn every character beyond U+FFFF
# typed into a dialog into U+FFFD. Its sources are Debian's source package of the version the
# distribution ships, fetched once with apt through source entries made from the machine's own
# package sources (in a folder of their own: the machine's apt set-up is left as it is); apt
# checks them against the distribution's signed index.
IMGUI=third_party/imgui
fetch_imgui() {
  local version work
  version=$(apt-cache show --no-all-versions libimgui-dev 2>/dev/null |
    sed -n 's/^Source: imgui (\(.*\))$/\1/p; s/^Version: //p' | head -1)
  if [ -z "$version" ]; then
    if ((!UPDATED)); then $SUDO apt-get update -qq; UPDATED=1; fi
    version=$(apt-cache show --no-all-versions libimgui-dev |
      sed -n 's/^Source: imgui (\(.*\))$/\1/p; s/^Version: //p' | head -1)
  fi
  [ -n "$version" ] || { echo "setup: the distribution has no Dear ImGui (libimgui-dev)" >&2; return 1; }
  if [ -f "$IMGUI/imgui.cpp" ] && [ "$(cat "$IMGUI/.version" 2>/dev/null)" = "$version" ]; then return 0; fi
  echo "setup: fetching the sources of Dear ImGui $version"
  work=$(mktemp -d)
  mkdir -p "$work/parts" "$work/lists/partial" "$work/cache/archives/partial" "$work/src"
  : >"$work/sources.list"
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$work/sources.list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$work/parts/$(basename "$f")"
  done
  # apt downloads as its own user where it runs as root.
  if [ "$(id -u)" = 0 ] && id _apt >/dev/null 2>&1; then chown -R _apt "$work"; fi
  local apt=(apt-get -qq -o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o Debug::NoLocking=1)
  "${apt[@]}" update || true # a source without source packages is no matter: imgui's is looked for next
  if ! (cd "$work/src" && "${apt[@]}" source --download-only "imgui=$version" >/dev/null); then
    rm -rf "$work"
    echo "setup: the source package imgui $version could not be fetched" >&2
    return 1
  fi
  rm -rf "$IMGUI"
  mkdir -p "$IMGUI"
  tar -xf "$work"/src/imgui_*.orig.tar.* -C "$IMGUI" --strip-components=1
  echo "$version" >"$IMGUI/.version"
  rm -rf "$work"
}
fetch_imgui

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
