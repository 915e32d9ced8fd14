#!/usr/bin/env bash
# Memory and start-up figures of a sign-in through the quotabar-signin helper, under Xvfb
# against fake-services:   bench/signin.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build}")"
bin="$build/Quotabar.app/Contents/bin"
exec bash tests/support/desktop-session.sh --keyring -- bash -c '
  set -euo pipefail
  "$0/fake-services" > "$DESKTOP_SESSION_TMP/origins" & fake=$!
  for _ in $(seq 50); do [ "$(wc -l < "$DESKTOP_SESSION_TMP/origins")" = 4 ] && break; sleep 0.1; done
  set -a; . "$DESKTOP_SESSION_TMP/origins"; set +a
  [ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
  export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu QUOTABAR_SIGNIN_HELPER="$0/quotabar-signin"
  status=0
  "$1/bench/bench_signin" --cycles 3 || status=$?
  # The command line: from starting `quotabar login` to the login page loaded in its window.
  for run in 1 2 3; do
    log="$DESKTOP_SESSION_TMP/login-$run.err"
    start=$(date +%s%N)
    QT_LOGGING_RULES="com.orvane.quotabar.login.info=true" "$0/quotabar" login cursor >/dev/null 2>"$log" &
    login=$!
    for _ in $(seq 3000); do grep -q "Loaded " "$log" && break; sleep 0.01; done
    echo "quotabar login run $run: page shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
    kill $login; wait $login 2>/dev/null || true
  done
  kill $fake
  exit $status' "$bin" "$build"
