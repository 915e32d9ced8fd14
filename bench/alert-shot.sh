#!/usr/bin/env bash
# The demo's `critical` state on a throwaway desktop with a tray host and a real notification
# server (dunst): the 90 % alert as dunst draws it, saved as SCREENSHOTS/alert-90.png.
#
# usage: bench/alert-shot.sh [BUILD_DIR] [SCREENSHOTS=BUILD_DIR/screenshots]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
shots="${2:-$build/screenshots}"

if [ -z "${DESKTOP_SESSION_INNER:-}" ]; then
  exec "$here/tests/support/desktop-session.sh" --host trayer --size 800x300 -- "$0" "$build" "$shots"
fi

mkdir -p "$shots" "$HOME/.config/dunst"
# dunst's own defaults, at the top right with the urgency on the frame.
printf '[global]\n  origin = top-right\n  offset = 10x10\n  font = Sans 11\n  width = 380\n' \
  >"$HOME/.config/dunst/dunstrc"
dunst >"$DESKTOP_SESSION_TMP/dunst.log" 2>&1 &
dunst=$!
trap 'kill $dunst $demo 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.freedesktop.Notifications 2>/dev/null | grep -q true && break
  sleep 0.1
done
QUOTABAR_DEMO_DIR="$DESKTOP_SESSION_TMP/demo" QUOTABAR_DEMO_STATE="cursor=critical" \
  "$build/Quotabar.app/Contents/bin/quotabar" demo >"$DESKTOP_SESSION_TMP/demo.log" 2>&1 &
demo=$!
# The alert follows the first answers; dunst keeps a critical one until it is closed.
for _ in $(seq 100); do
  [ "$(dunstctl count displayed 2>/dev/null || echo 0)" -gt 0 ] && break
  sleep 0.2
done
sleep 2
import -window root "$shots/alert-90.png"
echo "saved $shots/alert-90.png"
