#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) into build-fuzz/ and runs each for
# the given number of seconds (default 60) on a copy of its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUOTABAR_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for target in build-fuzz/tests/fuzz/fuzz_*; do
  name="$(basename "$target")"
  mkdir -p "$work/$name"
  cp tests/fuzz/corpus/"${name#fuzz_}"/* "$work/$name/" 2>/dev/null || true
  if "$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=0 \
       "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz $name: ok ($(grep -c . "$work/$name.log" || true) log lines)"
  else
    echo "fuzz $name: FAILED"; tail -40 "$work/$name.log"; status=1
  fi
done
exit $status
