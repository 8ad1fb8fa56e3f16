#!/usr/bin/env bash
# Builds the runner, packs the bundled example game (examples/demo) and plays it: in a window
# when there is a display, otherwise headless (SDL's offscreen driver).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --build-dir build
build/gamepack examples/demo/manifest.json build/demo.win
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
  export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
  export ALSOFT_DRIVERS=${ALSOFT_DRIVERS:-null}
fi
exec build/runner -game build/demo.win "$@"
