#!/usr/bin/env bash
# Start-up and idle figures of the tray app beside a bare Qt tray app, in one throwaway
# desktop (Xvfb, xfce4-panel: a StatusNotifierItem host, as on Plasma, GNOME and Xfce, which
# hears of every change to the icon, its tooltip and its menu; a private bus):
#   - milliseconds from main() to the tray icon shown, over RUNS starts of each;
#   - resident memory and CPU ticks of each while idle for SECONDS, the tray app with all
#     four services signed in against fake-services and polled every 15 s after the
#     update check of its launch, with its usage history (sixteen days of Cursor's) and
#     without it (QUOTABAR_HISTORY=off).
#
# usage: bench/tray.sh [BUILD_DIR] [SECONDS=600] [RUNS=10]
# BENCH_TRAY_HOST=trayer measures on an XEmbed tray instead (no StatusNotifierItem traffic);
# BENCH_TRAY_INTERVAL=60 polls at the app's default period instead of its shortest.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
seconds="${2:-600}"
runs="${3:-10}"

if [ -z "${DESKTOP_SESSION_INNER:-}" ]; then
  exec "$here/tests/support/desktop-session.sh" --host "${BENCH_TRAY_HOST:-xfce}" -- "$0" "$build" "$seconds" "$runs"
fi

bin="$build/Quotabar.app/Contents/bin"
bare="$build/bench/bench_bare_tray"
export QT_LOGGING_RULES="com.orvane.quotabar.tray.info=true"

startup() {  # COMMAND... : ms until "Tray icon shown N ms after start."
  local log="$DESKTOP_SESSION_TMP/start.log"
  "$@" 2>"$log" &
  local pid=$!
  for _ in $(seq 200); do grep -q "Tray icon shown" "$log" && break; sleep 0.02; done
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
  sed -n 's/.*Tray icon shown \([0-9]*\) ms after start.*/\1/p' "$log" | head -1
}

mib() { awk -v k="$1" 'BEGIN { if (k ~ /^[0-9]+$/) printf "%.1f", k / 1024; else printf "?" }'; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# The tray app's own profile: settings and sessions in the scratch folder, no keyring.
export XDG_CONFIG_HOME="$DESKTOP_SESSION_TMP/config" XDG_DATA_HOME="$DESKTOP_SESSION_TMP/data"
export QUOTABAR_KEYRING=off
"$bin/fake-services" --history "$XDG_DATA_HOME/Vantelo/history.sqlite" >"$DESKTOP_SESSION_TMP/origins" &
services=$!
trap 'kill $services 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ "$(wc -l <"$DESKTOP_SESSION_TMP/origins")" -ge 4 ] && break; sleep 0.05; done
set -a; . "$DESKTOP_SESSION_TMP/origins"; set +a
printf %s 'WorkosCursorSessionToken=bench' | "$bin/quotabar" signin cursor >/dev/null
printf %s 'session=bench' | "$bin/quotabar" signin windsurf >/dev/null
printf %s '__Secure-next-auth.session-token=bench' | "$bin/quotabar" signin codex >/dev/null
printf %s 'sessionKey=bench' | "$bin/quotabar" signin claude >/dev/null
mkdir -p "$XDG_CONFIG_HOME/Quotabar"
interval="${BENCH_TRAY_INTERVAL:-15}"
printf '[General]\nrefreshIntervalSeconds=%s\n' "$interval" >"$XDG_CONFIG_HOME/Quotabar/Quotabar.ini"
# The launch's update check goes to a loopback stand-in, which has no release (404): the
# check is recorded, as a real one is, and nothing leaves this machine.
export QUOTABAR_UPDATE_ORIGIN="$QUOTABAR_ORIGIN_CURSOR"

echo "start to tray icon shown, median of $runs (ms):"
q=$(for _ in $(seq "$runs"); do startup "$bin/quotabar"; done | median)
b=$(for _ in $(seq "$runs"); do startup "$bare"; done | median)
echo "  quotabar $q   bare Qt tray app $b"

# CPU time of every thread in nanoseconds: finer than the ticks of /proc/PID/stat.
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ s += $1 } END { print s }'; }

idle() {  # NAME COMMAND...: RSS at the end and CPU ticks over the idle period
  local name="$1"; shift
  "$@" 2>/dev/null &
  local pid=$!
  sleep 10  # start-up, the first polls and the update check 5 s after launch
  local t0; t0=$(awk '{print $14+$15}' "/proc/$pid/stat")
  local n0; n0=$(cpu_ns "$pid")
  sleep "$seconds"
  local t1; t1=$(awk '{print $14+$15}' "/proc/$pid/stat")
  local n1; n1=$(cpu_ns "$pid")
  local rss; rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  local pss; pss=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo "?")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "  $name: RSS $(mib "$rss") MiB, PSS $(mib "$pss") MiB, CPU $((t1 - t0)) ticks in ${seconds} s" \
    "($(awk -v n=$((n1 - n0)) -v s="$seconds" 'BEGIN { printf "%.1f ticks", n / 1e7 / s * 60 }') a minute by the scheduler's clock)"
}
echo "idle for ${seconds} s (quotabar polls four services every ${interval} s):"
idle quotabar "$bin/quotabar"
idle "quotabar without history" env QUOTABAR_HISTORY=off "$bin/quotabar"
idle "bare Qt tray app" "$bare"
