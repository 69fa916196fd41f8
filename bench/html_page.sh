#!/usr/bin/env bash
# The replay as a web page (`tideplot replay RACE --resolution 10 --html OUT.html`) on the
# benchmarks' races: the page's size and the time the whole command takes to write it
# (median of RUNS), without and with a finish line (which adds the leaderboard of every
# step and the results table); then, in headless Chromium, the slider of the 7-boat page
# dragged end to end and back (bench/html_slider.mjs).
#
#   bench/html_page.sh [BUILD_DIR] [RUNS]
#
# Goals: the 7-boat, 24-hour race under 2 MB, written in under 2 s; the 64-boat, 2-hour race
# under 3 MB; the slider's redraw at 30 frames a second or more. Then the 64-boat day (64
# boats, 24 hours, a fix a second, --seed 64, in $TMPDIR/tideplot-bench-race-64x24h): its page
# at resolution 1 under 12 MB, written in under 3 s; and the frames a second of the pages of
# both days at resolution 10 while playing, panning, pinching and scrubbing back
# (bench/html_frames.mjs), on the desktop and on an emulated phone.
#
# The races, generated once by the race generator as the other benchmarks make them:
# - 7 boats, 24 hours, a fix a second (--seed 24) in $TMPDIR/tideplot-bench-race-24h, as
#   bench/bench_race.h;
# - 64 boats, 2 hours, a fix a second: ten runs of 7 boats (seeds 1 to 10) on one course in
#   $TMPDIR/tideplot-bench-results-64x2h, as bench/results_bench.cpp.
# The finish line is the generator's start line, which the boats cross back after a lap.
#
# BUILD_DIR is a build with the targets tideplot and tideplot-racegen (default build/bench,
# the "bench" preset). Chromium and puppeteer-core as for the tests (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
runs=${2:-5}
tideplot=$build/src/app/tideplot
racegen=$build/tools/tideplot-racegen
[ -x "$tideplot" ] || { echo "missing $tideplot: build the target tideplot" >&2; exit 2; }
tmp=${TMPDIR:-/tmp}
out=$(mktemp -d "$tmp/tideplot-bench-html.XXXXXX")
trap 'rm -rf "$out"' EXIT
finish="finish 57.59855384357072 11.503216453779837 57.60144615642928 11.496783546220163"

need_racegen() { [ -x "$racegen" ] || { echo "missing $racegen: build the target tideplot-racegen" >&2; exit 2; }; }

race7=$tmp/tideplot-bench-race-24h/race.TP1
if [ ! -f "$race7" ]; then
  need_racegen
  "$racegen" --out "$(dirname "$race7")" --boats 7 --hours 24 --interval 1 --unicsv --seed 24 >/dev/null
fi
race64=$tmp/tideplot-bench-results-64x2h/race.TP1
if [ ! -f "$race64" ]; then
  need_racegen
  dir=$(dirname "$race64") entries=() seed=0
  while [ ${#entries[@]} -lt 64 ]; do
    seed=$((seed + 1))
    "$racegen" --out "$dir/s$seed" --boats 7 --hours 2 --interval 1 --seed "$seed" >/dev/null
    while IFS= read -r line && [ ${#entries[@]} -lt 64 ]; do entries+=("s$seed/$line"); done <"$dir/s$seed/race.TP1"
  done
  printf '%s\n' "${entries[@]}" >"$race64"
fi
# The same races with a finish line: a second race file beside each, with its course file.
for race in "$race7" "$race64"; do
  cp "$race" "${race%.TP1}-finish.TP1"
  printf '%s\r\n' "$finish" >"${race%.TP1}-finish.TP1.course"
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) CPUs"
printf '%-46s %10s %10s %10s\n' "race" "steps" "page MB" "write s"
for race in "$race7" "${race7%.TP1}-finish.TP1" "$race64" "${race64%.TP1}-finish.TP1"; do
  page=$out/$(basename "$(dirname "$race")")-$(basename "${race%.TP1}").html
  times=()
  for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    "$tideplot" replay "$race" --resolution 10 --html "$page" >"$out/summary.txt"
    stop=$EPOCHREALTIME
    times+=("$(awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.3f", b - a }')")
  done
  steps=$(sed -n 's/.*boats, \([0-9]*\) steps.*/\1/p' "$out/summary.txt")
  bytes=$(wc -c <"$page")
  printf '%-46s %10s %10.3f %10s\n' "$(basename "$(dirname "$race")")/$(basename "$race")" "$steps" \
    "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" "$(median "${times[@]}")"
done

node bench/html_slider.mjs "$out/tideplot-bench-race-24h-race.html"

race64d=$tmp/tideplot-bench-race-64x24h/race.TP1
if [ ! -f "$race64d" ]; then
  need_racegen
  "$racegen" --out "$(dirname "$race64d")" --boats 64 --hours 24 --interval 1 --seed 64 >/dev/null
fi
# The clock's time and, since a busy machine stretches the clock, the processors' time
# (user and system, of every thread) of each writing.
printf '%-46s %10s %10s %10s %10s\n' "" "" "page MB" "write s" "CPU s"
for resolution in 1 10; do
  for ((i = 0; i < runs; i++)); do
    TIMEFORMAT='%R %U %S'
    { time "$tideplot" replay "$race64d" --resolution $resolution --html "$out/day64-$resolution.html" >/dev/null 2>"$out/warnings.txt"; } 2>"$out/time.txt"
    read -r wall user system <"$out/time.txt"
    printf '%-46s %10s %10.3f %10s %10s\n' "64 boats, 24 hours, resolution $resolution" "" \
      "$(awk -v b="$(wc -c <"$out/day64-$resolution.html")" 'BEGIN { print b / 1e6 }')" "$wall" \
      "$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.3f", u + s }')"
  done
done
for device in desktop phone; do
  node bench/html_frames.mjs "$out/tideplot-bench-race-24h-race.html" $device
  node bench/html_frames.mjs "$out/day64-10.html" $device
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
