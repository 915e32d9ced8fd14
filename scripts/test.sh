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
ctest --test-dir build --output-on-failure -j 2
