#!/usr/bin/env bash
# Runs one command inside a throwaway desktop: a private session bus (nothing auto-started,
# no prompter), a display, and on request a tray host, the accessibility bus and an unlocked
# keyring. Everything it starts ends with it. Exit status: the command's.
#
#   desktop-session.sh [--host trayer|xfce|waybar|gnome|plasma] [--a11y] [--keyring]
#                      [--shots DIR] [--size WxH] -- COMMAND [ARGS...]
#
# trayer: Xvfb and an XEmbed tray. xfce: Xvfb and xfce4-panel (StatusNotifierItem on X11).
# waybar: headless sway and waybar (StatusNotifierItem on Wayland); sway refuses root, so as
# root the whole session runs as `nobody`. gnome: GNOME Shell on a virtual monitor with the
# AppIndicator extension; plasma: kwin_wayland and plasmashell (both SNI on Wayland; exit 77,
# "skipped", when not installed: scripts/deps.sh --all-desktops). The command sees DISPLAY or
# WAYLAND_DISPLAY, QT_QPA_PLATFORM, DBUS_SESSION_BUS_ADDRESS, DESKTOP_HOST, a private HOME
# with XDG folders, DESKTOP_SESSION_TMP (removed afterwards) and SCREENSHOT_DIR (copied to
# --shots DIR).
set -euo pipefail

host="" a11y=0 keyring=0 size=1280x800 shots=""
while [ $# -gt 0 ]; do
  case "$1" in
    --host) host="$2"; shift ;;
    --a11y) a11y=1 ;;
    --keyring) keyring=1 ;;
    --shots) shots="$2"; shift ;;
    --size) size="$2"; shift ;;
    --) shift; break ;;
    *) echo "desktop-session: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ $# -gt 0 ] || { echo "desktop-session: no command" >&2; exit 2; }
case "$host" in ""|trayer|xfce|waybar|gnome|plasma) ;; *) echo "desktop-session: unknown host $host" >&2; exit 2 ;; esac
here="$(cd "$(dirname "$0")" && pwd)"
installed() { command -v "$1" >/dev/null && { [ -z "${2:-}" ] || [ -e "$2" ]; }; }
if { [ "$host" = gnome ] && ! installed gnome-shell /usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com; } ||
   { [ "$host" = plasma ] && ! installed plasmashell /usr/bin/kwin_wayland; }; then
  echo "desktop-session: $host is not installed (scripts/deps.sh --all-desktops); skipped" >&2
  exit 77
fi

if [ -z "${DESKTOP_SESSION_INNER:-}" ]; then
  root="$(mktemp -d /tmp/qb-desktop.XXXXXX)"
  chmod 0755 "$root"
  trap 'rm -rf "$root"' EXIT
  mkdir -m 0700 "$root/run" "$root/bus" "$root/home" "$root/shots"
  sed "s#BUS_DIR#$root/bus#" "$here/session-bus.conf" >"$root/bus.conf"
  opts=(--size "$size")
  [ -n "$host" ] && opts+=(--host "$host")
  [ $a11y = 1 ] && opts+=(--a11y)
  [ $keyring = 1 ] && opts+=(--keyring)
  as=()
  if [ "$host" = waybar ] && [ "$(id -u)" = 0 ]; then
    chown -R nobody:nogroup "$root"
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    "${as[@]}" test -r "$here/desktop.py" ||
      { echo "desktop-session: nobody cannot read $here; sway needs a checkout other users can read" >&2; exit 1; }
  fi
  status=0
  "${as[@]}" env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u XAUTHORITY \
    DESKTOP_SESSION_INNER=1 DESKTOP_SESSION_TMP="$root" SCREENSHOT_DIR="$root/shots" DESKTOP_HOST="$host" \
    HOME="$root/home" XDG_RUNTIME_DIR="$root/run" XDG_CONFIG_HOME="$root/home/.config" \
    XDG_DATA_HOME="$root/home/.local/share" XDG_CACHE_HOME="$root/home/.cache" \
    TMPDIR="$root" \
    dbus-run-session --config-file="$root/bus.conf" -- "$0" "${opts[@]}" -- "$@" || status=$?
  if [ -n "$shots" ] && compgen -G "$root/shots/*.png" >/dev/null; then
    mkdir -p "$shots" && cp "$root"/shots/*.png "$shots/"
  fi
  exit $status
fi

# Inside the private bus.
pids=()
# Ends what it started, newest first; whatever has not ended 2 s later is killed.
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for _ in $(seq 40); do kill -0 "${pids[@]}" 2>/dev/null || break; sleep 0.05; done
  kill -9 "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
tmp="$DESKTOP_SESSION_TMP"
# until SECONDS WHAT TEST...: polls TEST; on time out names WHAT and shows its log.
until_up() {
  local tries=$(($1 * 20)) what="$2" log="$3"; shift 3
  for _ in $(seq "$tries"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "desktop-session: $what did not come up" >&2
  [ -f "$log" ] && tail -20 "$log" >&2
  exit 1
}
bus_name() { gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
  --method org.freedesktop.DBus.NameHasOwner "$1" | grep -q true; }
# Qt takes the SNI path only once a host has registered with the watcher, not when the
# watcher's name alone is up.
sni_host() { gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
  --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered |
  grep -q true; }

# First, so that the desktop shells speak to a screen reader too.
if [ $a11y = 1 ]; then
  /usr/libexec/at-spi-bus-launcher --launch-immediately >"$tmp/a11y.log" 2>&1 &
  pids+=($!)
  export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
  until_up 5 "the accessibility bus" "$tmp/a11y.log" gdbus call --session --dest org.a11y.Bus \
    --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress
fi

start_gnome() {
  /usr/libexec/dconf-service >"$tmp/dconf.log" 2>&1 &
  pids+=($!)
  until_up 5 "dconf" "$tmp/dconf.log" bus_name ca.desrt.dconf
  # The tray host, and a test-only helper that lets Eval and Screenshot answer on this bus.
  mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions"
  cp -r "$here/gnome-test-rig@quotabar.local" "$XDG_DATA_HOME/gnome-shell/extensions/"
  touch "$XDG_DATA_HOME/gnome-shell/lock-warning-shown"
  gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', 'gnome-test-rig@quotabar.local']"
  gsettings set org.gnome.shell welcome-dialog-last-shown-version 999
  XDG_CURRENT_DESKTOP=GNOME gnome-shell --headless --wayland --no-x11 --virtual-monitor "$size" >"$tmp/shell.log" 2>&1 &
  pids+=($!)
  until_up 60 "the tray host (GNOME Shell)" "$tmp/shell.log" sni_host
  shell_ready() { gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval \
    '!Main.layoutManager._startingUp && (Main.overview.hide(), Main.messageTray.getSources().forEach(s => s.destroy()), true)' |
    grep -q "(true, 'true')"; }
  until_up 30 "GNOME Shell" "$tmp/shell.log" shell_ready
  WAYLAND_DISPLAY="$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-?" | head -1)")"
  export WAYLAND_DISPLAY QT_QPA_PLATFORM=wayland XDG_CURRENT_DESKTOP=GNOME
}
start_plasma() {
  # Debian's kwin_wayland carries a file capability that a container refuses: a plain copy.
  cp /usr/bin/kwin_wayland "$tmp/kwin_wayland"
  KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 "$tmp/kwin_wayland" --virtual \
    --width "${size%x*}" --height "${size#*x}" --no-lockscreen --no-global-shortcuts --no-kactivities \
    --socket wayland-test >"$tmp/kwin.log" 2>&1 &
  pids+=($!)
  until_up 20 "kwin_wayland" "$tmp/kwin.log" test -S "$XDG_RUNTIME_DIR/wayland-test"
  export WAYLAND_DISPLAY=wayland-test QT_QPA_PLATFORM=wayland XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true \
    KDE_SESSION_VERSION=5
  # plasmashell needs the activity manager first; kded5 is the tray's watcher.
  /usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd >"$tmp/kamd.log" 2>&1 &
  pids+=($!)
  kded5 >"$tmp/kded.log" 2>&1 &
  pids+=($!)
  plasmashell --no-respawn >"$tmp/plasma.log" 2>&1 &
  pids+=($!)
  until_up 60 "the tray host (plasmashell)" "$tmp/plasma.log" sni_host
}

if [ "$host" = waybar ]; then
  cat >"$tmp/sway.conf" <<EOF
output HEADLESS-1 resolution ${size} bg #336699 solid_color
xwayland disable
exec waybar -c $here/waybar.json -s $here/waybar.css >$tmp/waybar.log 2>&1
EOF
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$tmp/sway.conf" >"$tmp/sway.log" 2>&1 &
  pids+=($!)
  until_up 10 "sway" "$tmp/sway.log" compgen -G "$XDG_RUNTIME_DIR/wayland-?"
  WAYLAND_DISPLAY="$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-?" | head -1)")"
  export WAYLAND_DISPLAY QT_QPA_PLATFORM=wayland
  until_up 20 "the tray host (waybar)" "$tmp/waybar.log" sni_host
elif [ "$host" = gnome ] || [ "$host" = plasma ]; then
  # Both want a system bus (gnome-shell aborts without one): a private one.
  mkdir -m 0700 "$tmp/sysbus"
  sed -e "s#BUS_DIR#$tmp/sysbus#" -e "s#<type>session#<type>system#" "$here/session-bus.conf" >"$tmp/sysbus.conf"
  dbus-daemon --config-file="$tmp/sysbus.conf" --nofork --print-address=3 3>"$tmp/sysbus.address" 2>"$tmp/sysbus.log" &
  pids+=($!)
  until_up 5 "the system bus" "$tmp/sysbus.log" test -s "$tmp/sysbus.address"
  export DBUS_SYSTEM_BUS_ADDRESS="$(head -1 "$tmp/sysbus.address")"
  # Mesa keeps its shader cache under the passwd entry's home, not $HOME.
  export MESA_SHADER_CACHE_DIR="$XDG_CACHE_HOME/mesa" XDG_SESSION_TYPE=wayland
  mkdir -p "$MESA_SHADER_CACHE_DIR"
  ulimit -c 0  # gnome-shell 43 crashes on SIGTERM; no core file in the build folder
  if [ "$host" = gnome ]; then start_gnome; else start_plasma; fi
else
  # -displayfd picks a free display and says which.
  exec 3>"$tmp/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
  pids+=($!)
  exec 3>&-
  until_up 5 "Xvfb" "$tmp/xvfb.log" test -s "$tmp/display"
  export DISPLAY=":$(head -1 "$tmp/display")"
  export QT_QPA_PLATFORM=xcb XAUTHORITY=/dev/null
fi

if [ $keyring = 1 ]; then
  printf %s test | gnome-keyring-daemon --foreground --unlock --components=secrets >"$tmp/keyring.log" 2>&1 &
  pids+=($!)
  keyring_unlocked() { gdbus call --session --dest org.freedesktop.secrets --object-path /org/freedesktop/secrets \
    --method org.freedesktop.Secret.Service.ReadAlias default | grep -q login; }
  until_up 5 "the keyring" "$tmp/keyring.log" keyring_unlocked
fi

if [ "$host" = trayer ]; then
  trayer --edge top --align right --widthtype request --height 24 --SetDockType false \
    --transparent false >"$tmp/trayer.log" 2>&1 &
  pids+=($!)
  # The tray host owns the system-tray selection once it is ready.
  until_up 5 "the tray host (trayer)" "$tmp/trayer.log" python3 "$here/desktop.py" owned _NET_SYSTEM_TRAY_S0
elif [ "$host" = xfce ]; then
  mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
  cp "$here/xfce4-panel.xml" "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/"
  "$(compgen -G "/usr/lib/*/xfce4/xfconf/xfconfd" | head -1)" >"$tmp/xfconfd.log" 2>&1 &
  pids+=($!)
  until_up 5 "xfconfd" "$tmp/xfconfd.log" bus_name org.xfce.Xfconf
  xfce4-panel >"$tmp/panel.log" 2>&1 &
  pids+=($!)
  until_up 20 "the tray host (xfce4-panel)" "$tmp/panel.log" sni_host
fi

status=0
"$@" </dev/null || status=$?
exit $status
