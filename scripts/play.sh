#!/usr/bin/env bash
# Builds the runner, packs the example game (examples/gemrun, "Gem Run") and plays it.
#   scripts/play.sh [--headless] [runner options...]
# With a display (DISPLAY or WAYLAND_DISPLAY set) the game opens in a window and you play it.
# Without one (or with --headless) it runs on SDL's offscreen driver for the steps of the
# recorded play examples/gemrun/playthrough.rec ("-playback"), writes the game's log to
# build/example-log.txt and leaves the picture of its last frame in
# build/example-last-frame.png.
set -euo pipefail
cd "$(dirname "$0")/.."

HEADLESS=0
if [ "${1:-}" = "--headless" ]; then
  HEADLESS=1
  shift
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then HEADLESS=1; fi

scripts/setup.sh --build-dir build
build/gamepack examples/gemrun/manifest.json build/gemrun.win

if ((!HEADLESS)); then
  exec build/runner -game build/gemrun.win "$@"
fi

export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export ALSOFT_DRIVERS=${ALSOFT_DRIVERS:-null}

# The game keeps the picture of its results in its save folder; a save folder inside build/
# keeps the headless run out of the user's own data folder.
RECORD=examples/gemrun/playthrough.rec
SAVE=$PWD/build/example-save
SHOT=build/example-last-frame.png
LOG=build/example-log.txt
rm -rf "$SAVE" "$SHOT" "$LOG"
# One record a step; a few steps more show the results still standing.
STEPS=$(($(stat -c %s "$RECORD") / 2939 + 20))
echo "play: no display; playing $RECORD headless for $STEPS steps (about $((STEPS / 60)) seconds)"
status=0
XDG_DATA_HOME=$SAVE ZIMBREL_MAX_FRAMES=$STEPS \
  build/runner -game build/gemrun.win -playback "$RECORD" -output "$LOG" "$@" >build/example-console.txt 2>&1 ||
  status=$?
# What the game said (its own lines come after the start-up's).
sed -n '/^StartGame()$/,$p' "$LOG" | grep -v -e '^StartGame()' -e '^Total memory used' \
  -e '^\*\**\.$' -e '^Entering main loop\.$' | sed 's/^/  game: /'
if [ "$status" != 0 ] || [ ! -f "$SAVE/GemRun/final_screen.png" ]; then
  echo "play: the game did not reach its results (exit code $status); see $LOG and build/example-console.txt" >&2
  exit 1
fi
cp "$SAVE/GemRun/final_screen.png" "$SHOT"
echo "play: screenshot of the last frame: $SHOT"
