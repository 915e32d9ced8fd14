#!/usr/bin/env bash
# Installs what is missing, builds, runs each fuzz target briefly on its seed corpus, then
# the whole test suite through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
# No session bus from the caller may leak in: tests that need one start their own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent"
unset DISPLAY WAYLAND_DISPLAY
scripts/fuzz.sh 10
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
ctest --test-dir build --output-on-failure -j 2 | tee "$log" || status=$?
# Desktops whose packages are missing skip their test (scripts/deps.sh --all-desktops).
skipped="$(sed -n 's/.* desktop_\([a-z]*\) \.*\*\*\*Skipped.*/\1/p' "$log" | tr '\n' ' ')"
if [ -n "$skipped" ]; then
  echo "Desktops skipped, not installed: ${skipped% } (scripts/deps.sh --all-desktops installs them)"
else
  echo "Every desktop ran."
fi
exit $status
