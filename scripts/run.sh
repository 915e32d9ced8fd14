#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quotabar with any arguments given.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
exec build/Quotabar.app/Contents/bin/quotabar "$@"
