#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them for about 3 x the given seconds (60)
# in all, shared among them: the log readers' targets came after the first three, and the
# whole run takes what it took then.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzzers=()
for fuzzer in build/fuzz/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] && fuzzers+=("$fuzzer")
done
each=$(( seconds * 3 / ${#fuzzers[@]} ))
[ "$each" -ge 1 ] || each=1
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  echo "== $name: ${each} s"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  "$fuzzer" -max_total_time="$each" -max_len=4096 -print_final_stats=1 "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
done
