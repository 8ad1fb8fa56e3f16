#!/usr/bin/env bash
# Builds the runner and plays the bundled example game.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --build-dir build
echo "play: the example game is not part of this build yet; build/runner is built."
