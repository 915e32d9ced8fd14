#!/usr/bin/env bash
# Installs what building, running and testing Quotabar needs on Debian 12 (bookworm).
# Only missing packages are fetched, so a second run costs nothing.
#   --all-desktops  also GNOME Shell with the AppIndicator extension and KDE Plasma (about 500
#                   packages), so that scripts/test.sh runs the tests on those desktops too
set -euo pipefail
all_desktops=0
for arg in "$@"; do
  case "$arg" in
    --all-desktops) all_desktops=1 ;;
    *) echo "deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

packages=(
  # build
  cmake ninja-build g++ pkg-config ccache qt6-base-dev qt6-svg-dev libxcb1-dev libsecret-1-dev libssl-dev
  libcpp-httplib-dev libsqlite3-dev
  # the sign-in window's web engine (quotabar-signin; everything else builds without it)
  qt6-webengine-dev
  # tests, fuzzing and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  curl openssl
  # desktop tests: display, tray host, accessibility bus and its reader, screenshots, clicks
  xvfb xauth x11-utils procps trayer at-spi2-core python3-pyatspi imagemagick xdotool fonts-dejavu-core
  # the other desktops the tests run on: waybar on headless sway (SNI on Wayland, screenshots
  # with grim) and xfce4-panel on Xvfb (SNI on X11)
  sway waybar grim xfce4-panel
  # what the app runs at run time: keyring, unpacking, signature check, the native Wayland platform
  gnome-keyring dbus-daemon libglib2.0-bin libarchive-tools p7zip-full gpgv gnupg qt6-wayland
  # the Debian packages (packaging/build-deb.sh): dependencies read off the programs, lintian
  dpkg-dev file lintian
)
if [ $all_desktops = 1 ]; then
  packages+=(
    # GNOME Shell 43 headless, its tray host and its settings tool
    gnome-shell gnome-shell-extension-appindicator dconf-service
    # KDE Plasma 5.27: kwin_wayland, plasmashell's system tray, the SNI watcher (kded5)
    kwin-wayland plasma-workspace plasma-desktop qtwayland5 kded5 kactivitymanagerd
    # reading KWin's screenshots
    python3-dbus
  )
fi

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
