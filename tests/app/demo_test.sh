#!/usr/bin/env bash
# `quotabar demo` in a folder named "demo|": as a pattern its path matched any copy of the
# app. It must spare another copy, leave no gpg-agent, and refuse to run from its own copy.
set -euo pipefail
tmp="$(mktemp -d)" root="$(mktemp -d)/demo|"
(exec -a "$tmp/Quotabar.app/Contents/bin/quotabar" sleep 120) & other=$!
trap 'kill $other 2>/dev/null || true; rm -rf "$tmp" "$(dirname "$root")"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export QUOTABAR_DEMO_DIR="$root"
env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 "$1/Contents/bin/quotabar" demo </dev/null >"$tmp/log" 2>&1 || true
[ -x "$root/Quotabar.app/Contents/bin/quotabar" ] || fail "no demo copy: $(cat "$tmp/log")"
kill -0 $other || fail "the demo stopped another copy of the app"
! grep -qs -- "$root/gnup[g]" /proc/[0-9]*/cmdline || fail "the demo left its gpg-agent running"
! "$root/Quotabar.app/Contents/bin/quotabar" demo </dev/null >"$tmp/log" 2>&1 || fail "the demo ran from its own copy"
grep -q "own copy" "$tmp/log" && [ -x "$root/Quotabar.app/Contents/bin/quotabar" ] || fail "its own copy was touched"
echo "demo: 1 passed, 0 failed"
