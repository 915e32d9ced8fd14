#!/usr/bin/env bash
# Installs what building, running and testing Quotabar needs on Debian 12 (bookworm).
# Only missing packages are fetched, so a second run costs nothing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config qt6-base-dev libsecret-1-dev libssl-dev
  # tests, fuzzing and benchmarks
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  curl openssl
  # what the app runs at run time: keyring, unpacking, signature check
  gnome-keyring dbus-daemon libglib2.0-bin libarchive-tools p7zip-full gpgv gnupg
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
