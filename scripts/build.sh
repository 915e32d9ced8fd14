#!/usr/bin/env bash
# Configures and builds into build/ (override with BUILD_DIR), warnings as errors. Extra
# arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
launcher=()
# ccache keyed on paths relative to the checkout, so worktrees share their objects.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja "${launcher[@]}" -DQUOTABAR_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
