#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given seconds (60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for fuzzer in build/fuzz/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  echo "== $name: ${seconds} s"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  "$fuzzer" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
done
