#!/usr/bin/env bash
# `quotabar demo` in a folder whose name a pattern would misread: it stops only its own
# processes, refuses to run from its own copy, and leaves nothing of its folder running.
# usage: demo_test.sh BUNDLE
set -euo pipefail
bundle="$1"
tmp="$(mktemp -d)"
# As a pattern, "^$root/Quotabar.app/..." also matched any other copy of the app.
root="$tmp/demo|"
(exec -a "$tmp/other/Quotabar.app/Contents/bin/quotabar" sleep 120) & decoy_pid=$!
trap 'kill $decoy_pid 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
running_from() {
  local f
  for f in /proc/[0-9]*/cmdline; do
    if tr '\0' ' ' <"$f" 2>/dev/null | grep -qF -- "$1"; then echo "$f"; fi
  done
}

# No display: the demo's app prints its usage and ends, and so does the demo.
env -u DISPLAY -u WAYLAND_DISPLAY QUOTABAR_DEMO_DIR="$root" timeout 120 "$bundle/Contents/bin/quotabar" demo \
  </dev/null >"$tmp/demo.log" 2>&1 || true
[ -x "$root/Quotabar.app/Contents/bin/quotabar" ] || { cat "$tmp/demo.log"; fail "the demo did not set up its copy"; }
kill -0 $decoy_pid 2>/dev/null || fail "the demo stopped a process of another app"
[ -z "$(running_from "$root/gnupg")" ] || fail "the demo left its gpg-agent running"

if QUOTABAR_DEMO_DIR="$root" "$root/Quotabar.app/Contents/bin/quotabar" demo </dev/null >"$tmp/again.log" 2>&1; then
  fail "the demo ran from its own copy"
fi
grep -q "own copy" "$tmp/again.log" || fail "no reason given: $(cat "$tmp/again.log")"
[ -x "$root/Quotabar.app/Contents/bin/quotabar" ] || fail "the demo from its own copy emptied its folder"
echo "demo: 1 passed, 0 failed"
