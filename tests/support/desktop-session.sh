#!/usr/bin/env bash
# Runs one command inside a throwaway desktop: a private session bus (nothing auto-started,
# no prompter), an Xvfb display, and on request a tray host, the accessibility bus and an
# unlocked keyring. Everything it starts ends with it. Exit status: the command's.
#
#   desktop-session.sh [--tray] [--a11y] [--keyring] [--size WxH] -- COMMAND [ARGS...]
#
# The command sees DISPLAY, QT_QPA_PLATFORM=xcb, DBUS_SESSION_BUS_ADDRESS, a private HOME
# with XDG folders, and DESKTOP_SESSION_TMP (a scratch folder removed afterwards).
set -euo pipefail

tray=0 a11y=0 keyring=0 size=1280x800
while [ $# -gt 0 ]; do
  case "$1" in
    --tray) tray=1 ;;
    --a11y) a11y=1 ;;
    --keyring) keyring=1 ;;
    --size) size="$2"; shift ;;
    --) shift; break ;;
    *) echo "desktop-session: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ $# -gt 0 ] || { echo "desktop-session: no command" >&2; exit 2; }

if [ -z "${DESKTOP_SESSION_INNER:-}" ]; then
  root="$(mktemp -d /tmp/qb-desktop.XXXXXX)"
  trap 'rm -rf "$root"' EXIT
  mkdir -m 0700 "$root/run" "$root/bus" "$root/home"
  cat >"$root/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$root/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  opts=(--size "$size")
  [ $tray = 1 ] && opts+=(--tray)
  [ $a11y = 1 ] && opts+=(--a11y)
  [ $keyring = 1 ] && opts+=(--keyring)
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
    DESKTOP_SESSION_INNER=1 DESKTOP_SESSION_TMP="$root" \
    HOME="$root/home" XDG_RUNTIME_DIR="$root/run" XDG_CONFIG_HOME="$root/home/.config" \
    XDG_DATA_HOME="$root/home/.local/share" XDG_CACHE_HOME="$root/home/.cache" \
    TMPDIR="$root" \
    dbus-run-session --config-file="$root/bus.conf" -- "$0" "${opts[@]}" -- "$@" || status=$?
  exit $status
fi

# Inside the private bus.
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

# -displayfd picks a free display and says which.
exec 3>"$DESKTOP_SESSION_TMP/display"
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset >"$DESKTOP_SESSION_TMP/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$DESKTOP_SESSION_TMP/display" ] && break; sleep 0.05; done
[ -s "$DESKTOP_SESSION_TMP/display" ] || { echo "desktop-session: Xvfb did not start" >&2; cat "$DESKTOP_SESSION_TMP/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -1 "$DESKTOP_SESSION_TMP/display")"
export QT_QPA_PLATFORM=xcb
export XAUTHORITY=/dev/null

if [ $a11y = 1 ]; then
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  pids+=($!)
  export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
  for _ in $(seq 100); do
    gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
      --method org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.05
  done
fi

if [ $keyring = 1 ]; then
  printf %s test | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    gdbus call --session --dest org.freedesktop.secrets --object-path /org/freedesktop/secrets \
      --method org.freedesktop.Secret.Service.ReadAlias default 2>/dev/null | grep -q login && break
    sleep 0.05
  done
fi

if [ $tray = 1 ]; then
  trayer --edge top --align right --widthtype request --height 24 --SetDockType false \
    --transparent false >"$DESKTOP_SESSION_TMP/trayer.log" 2>&1 &
  pids+=($!)
  # The tray host owns the system-tray selection once it is ready.
  for _ in $(seq 100); do
    python3 - <<'EOF' 2>/dev/null && break
import ctypes, os, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
d = x.XOpenDisplay(None)
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
sys.exit(0 if d and x.XGetSelectionOwner(d, x.XInternAtom(d, b"_NET_SYSTEM_TRAY_S0", 0)) else 1)
EOF
    sleep 0.05
  done
fi

status=0
"$@" </dev/null || status=$?
exit $status
