#!/usr/bin/env bash
# The headless replay of a whole day's race timed as a user meets it, a whole process with
# its start-up, against the floor: `wc -l` reading the same seven track files. The race is
# the benchmarks' race (7 boats, 24 hours, one fix a second, tideplot-racegen --seed 24),
# generated once into $TMPDIR/tideplot-bench-race-24h as bench/bench_race.h does.
#
#   bench/replay_vs_wc.sh [BUILD_DIR] [PAIRS]
#
# BUILD_DIR is a build configured with -DTIDEPLOT_BENCH=ON (default build/bench, the
# "bench" preset: cmake --preset bench && cmake --build --preset bench --target tideplot
# tideplot-racegen; the race generator only while the race is not there). PAIRS (default 21) pairs of runs, `tideplot replay RACE` and `wc -l`
# one after the other, the order alternating from pair to pair, so that a machine shared
# with other work slows both alike; then `tideplot --version` (the start-up alone) and
# `true` (what starting any process costs this script) as many times. Prints the medians,
# the ratio of the medians and the median of the pairs' ratios, and the load average.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
pairs=${2:-21}

tideplot=$build/src/app/tideplot
racegen=$build/tools/tideplot-racegen
[ -x "$tideplot" ] || { echo "missing $tideplot: build the target tideplot" >&2; exit 2; }
race_dir=${TMPDIR:-/tmp}/tideplot-bench-race-24h
race=$race_dir/race.TP1
if [ ! -f "$race" ]; then
  [ -x "$racegen" ] || { echo "missing $racegen: build the target tideplot-racegen" >&2; exit 2; }
  "$racegen" --out "$race_dir" --boats 7 --hours 24 --interval 1 --unicsv --seed 24 >/dev/null
fi
tracks=()
for i in 1 2 3 4 5 6 7; do tracks+=("$race_dir/boat$i.txt"); done
wc_command=(wc -l "${tracks[@]}")
replay_command=("$tideplot" replay "$race")

# Microseconds one run of a command takes, its output thrown away; stops the script when
# the command fails.
elapsed_us() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  local stop=$EPOCHREALTIME
  echo $((${stop//[^0-9]/} - ${start//[^0-9]/}))
}

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
# Warm the page cache and the libraries: the first run of each is not counted.
"${replay_command[@]}" >/dev/null
"${wc_command[@]}" >/dev/null

replay=() wcl=() ratios=()
for ((i = 0; i < pairs; i++)); do
  if ((i % 2 == 0)); then
    r=$(elapsed_us "${replay_command[@]}")
    w=$(elapsed_us "${wc_command[@]}")
  else
    w=$(elapsed_us "${wc_command[@]}")
    r=$(elapsed_us "${replay_command[@]}")
  fi
  replay+=("$r") wcl+=("$w")
  ratios+=("$(awk -v r="$r" -v w="$w" 'BEGIN { printf "%.3f", r / w }')")
done
true_program=$(type -P true)
version=() floor=()
for ((i = 0; i < pairs; i++)); do
  version+=("$(elapsed_us "$tideplot" --version)")
  floor+=("$(elapsed_us "$true_program")")
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

lines=$(cat "${tracks[@]}" | wc -l)
bytes=$(cat "${tracks[@]}" | wc -c)
awk -v r="$(median "${replay[@]}")" -v w="$(median "${wcl[@]}")" -v v="$(median "${version[@]}")" \
    -v t="$(median "${floor[@]}")" -v pr="$(median "${ratios[@]}")" -v pairs="$pairs" -v lines="$lines" \
    -v bytes="$bytes" -v cpus="$(nproc)" -v before="$load_before" -v after="$load_after" 'BEGIN {
  printf "race: 7 track files, %d lines, %.1f MB; %d processors, load average %s before, %s after\n", \
    lines, bytes / 1e6, cpus, before, after
  printf "medians of %d paired runs:\n", pairs
  printf "  %-32s %8.1f ms\n", "tideplot replay RACE", r / 1000
  printf "  %-32s %8.1f ms\n", "wc -l on its track files", w / 1000
  printf "  %-32s %8.1f ms\n", "tideplot --version", v / 1000
  printf "  %-32s %8.1f ms\n", "true (starting a process)", t / 1000
  printf "ratio: %.1f times wc -l (ratio of the medians); %.1f (median of the paired ratios)\n", r / w, pr
}'
