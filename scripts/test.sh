#!/usr/bin/env bash
# Installs what is missing, builds, runs the whole test suite through ctest, then runs
# each fuzz target briefly on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
# No session bus from the caller may leak in: tests that need one start their own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent"
unset DISPLAY WAYLAND_DISPLAY
ctest --test-dir build --output-on-failure -j 2
scripts/fuzz.sh 10
