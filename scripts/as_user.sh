#!/usr/bin/env bash
# Runs test groups of a build as a user other than root, with a home folder of its own and
# none of root's environment: as root no permission is ever refused, so a test that leans on
# that passes in CI and fails for a developer. Does nothing (and says so) when not run as root,
# when no user can be made, or when that user cannot reach the build (a checkout in /root).
#   scripts/as_user.sh BUILD_DIR GROUP...
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(realpath "$1")
shift
USER_NAME=zbtest
if [ "$(id -u)" != 0 ] || ! command -v runuser >/dev/null || ! command -v useradd >/dev/null; then
  echo "as another user: skipped (not root, or no useradd/runuser)"
  exit 0
fi
if ! id "$USER_NAME" >/dev/null 2>&1; then
  useradd -m -s /bin/sh "$USER_NAME" || { echo "as another user: skipped (useradd failed)"; exit 0; }
fi
HOME_DIR=$(getent passwd "$USER_NAME" | cut -d: -f6)
if ! runuser -u "$USER_NAME" -- test -x "$BUILD/tests/test_$1"; then
  echo "as another user: skipped ($USER_NAME cannot reach $BUILD)"
  exit 0
fi
# From the user's home, with only the variables a player's session would have.
ENV=(PATH=/usr/local/bin:/usr/bin:/bin HOME="$HOME_DIR" USER="$USER_NAME" LANG="${LANG:-C.UTF-8}"
     SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null)
for v in TZ LC_ALL ASAN_OPTIONS UBSAN_OPTIONS; do
  if [ -n "${!v:-}" ]; then ENV+=("$v=${!v}"); fi
done
failed=0
for group in "$@"; do
  log=$(mktemp)
  if ! (cd "$HOME_DIR" && runuser -u "$USER_NAME" -- env -i "${ENV[@]}" "$BUILD/tests/test_$group") >"$log" 2>&1; then
    echo "as $USER_NAME: tests/$group failed:"
    grep -E "Failure|FAILED|Which is|Expected|Actual" "$log" | head -40
    failed=1
  else
    echo "as $USER_NAME: tests/$group passed ($(grep -o 'PASSED[^0-9]*[0-9]* test' "$log" | grep -o '[0-9]*'))"
  fi
  rm -f "$log"
done
exit $failed
