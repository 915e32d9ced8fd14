#!/usr/bin/env bash
# A status bar's two ways of showing the figure, side by side in one run against the same
# fake services (all four signed in, polled every INTERVAL seconds):
#   - one `quotabar status --waybar --watch` process for SECONDS;
#   - a fresh `quotabar status --waybar` every INTERVAL seconds for the same SECONDS.
# Prints the CPU time of each (the spawns' summed), the watcher's resident memory (peak and at
# the end) and the largest spawn's, and the lines the watcher printed. No display, no session bus.
#
# usage: bench/watch.sh [BUILD_DIR] [SECONDS=600] [INTERVAL=15]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
seconds="${2:-600}"
interval="${3:-15}"
bin="$build/Quotabar.app/Contents/bin"
tmp="$(mktemp -d)"
tick=$(getconf CLK_TCK)

unset DISPLAY WAYLAND_DISPLAY
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
export QUOTABAR_KEYRING=off DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Quotabar"
"$bin/fake-services" >"$tmp/origins" &
services=$!
watcher=
trap 'kill $services $watcher 2>/dev/null || true; rm -rf "$tmp"' EXIT
for _ in $(seq 100); do [ "$(wc -l <"$tmp/origins")" -ge 4 ] && break; sleep 0.05; done
set -a; . "$tmp/origins"; set +a
printf %s 'WorkosCursorSessionToken=bench' | "$bin/quotabar" signin cursor >/dev/null
printf %s 'session=bench' | "$bin/quotabar" signin windsurf >/dev/null
printf %s '__Secure-next-auth.session-token=bench' | "$bin/quotabar" signin codex >/dev/null
printf %s 'sessionKey=bench' | "$bin/quotabar" signin claude >/dev/null
printf '[General]\nrefreshIntervalSeconds=%s\n' "$interval" >"$XDG_CONFIG_HOME/Quotabar/Quotabar.ini"

"$bin/quotabar" status --waybar --watch >"$tmp/watch.out" &
watcher=$!

# The spawning side: its children's CPU and largest RSS, written when it ends.
(
  end=$((SECONDS + seconds))
  : >"$tmp/spawn.rss"
  while [ "$SECONDS" -lt "$end" ]; do
    /usr/bin/time -a -o "$tmp/spawn.rss" -f %M "$bin/quotabar" status --waybar >/dev/null
    sleep "$interval"
  done
  awk '{print $16 + $17}' "/proc/$BASHPID/stat" >"$tmp/spawn.cpu"
) &
spawner=$!

while kill -0 "$spawner" 2>/dev/null; do
  if ! kill -0 "$watcher" 2>/dev/null; then
    status=0; wait "$watcher" || status=$?
    echo "the watcher ended early with status $status" >&2
    exit 1
  fi
  sleep 5
done
wait "$spawner"
watch_cpu=$(awk '{print $14 + $15}' "/proc/$watcher/stat")
rss_end=$(awk '/VmRSS/ {print $2}' "/proc/$watcher/status")
rss_max=$(awk '/VmHWM/ {print $2}' "/proc/$watcher/status")
kill -TERM "$watcher"
status=0; wait "$watcher" || status=$?
watcher=
spawn_cpu=$(cat "$tmp/spawn.cpu")
spawns=$(wc -l <"$tmp/spawn.rss")
spawn_rss=$(sort -n "$tmp/spawn.rss" | tail -1)

echo "over ${seconds} s, interval ${interval} s, four services:"
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
echo "  --watch: CPU $((watch_cpu * 1000 / tick)) ms, RSS peak $(mib "$rss_max") (end $(mib "$rss_end")), $(wc -l <"$tmp/watch.out") lines, exit $status on SIGTERM"
echo "  spawning: CPU $((spawn_cpu * 1000 / tick)) ms over $spawns runs, RSS peak $(mib "$spawn_rss") per run"
awk -v w="$watch_cpu" -v s="$spawn_cpu" 'BEGIN { printf "  CPU ratio watch/spawn: %.3f (goal at most 0.333)\n", (s ? w / s : 0) }'
