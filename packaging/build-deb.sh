#!/usr/bin/env bash
# Builds the Debian packages quotabar and quotabar-signin from one Release build in
# build-deb/ (override with BUILD_DIR), then checks both with lintian (exit 1 on an error).
# Extra arguments go to cmake. Needs dpkg-dev and lintian (scripts/deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build-deb}"
# No update key: the packaged app has no updater; apt brings the updates.
BUILD_DIR="$build" scripts/build.sh -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUOTABAR_BUILD_TESTS=OFF -DQUOTABAR_UPDATE_API_KEY= "$@"
rm -f "$build"/quotabar*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/quotabar_*.deb "$build"/quotabar-signin_*.deb)
# CPack counts a symbolic link (/usr/bin/quotabar) as the program it points at and a folder
# as 4 KiB; Installed-Size is recomputed by dpkg's rule: each file in KiB rounded up, 1 for
# anything else.
for deb in "${debs[@]}"; do
  tree="$(mktemp -d)"
  dpkg-deb -R "$deb" "$tree"
  size="$(cd "$tree" && find . -mindepth 1 -path ./DEBIAN -prune -o \( -type f -printf '%s\n' \) -o -printf '1\n' |
          awk '{ s += int(($1 + 1023) / 1024) } END { print s }')"
  sed -i "s/^Installed-Size: .*/Installed-Size: $size/" "$tree/DEBIAN/control"
  dpkg-deb -b --root-owner-group "$tree" "$deb" >/dev/null
  rm -rf "$tree"
done
ls -l "${debs[@]}"
# lintian's profile for Debian; --fail-on error: warnings are listed, errors fail the script.
lintian --fail-on error --tag-display-limit 0 "${debs[@]}"
echo "lintian: no errors"
