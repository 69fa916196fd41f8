#!/usr/bin/env bash
# Times the log import against gpsbabel reading the same log and writing the same track
# lines (xcsv with a style file), side by side in one run, and prints MB/s and the ratio.
# The KML log has 200,000 placemarks in the layout gpsbabel writes; with FORMAT=gpx (see
# gpximport_vs_gpsbabel.sh) the log is a GPX log of 1,000,000 track points in the layout GPS
# loggers write. Both are written by kmlimport_make_log.
#
#   [FORMAT=kml|gpx] bench/kmlimport_vs_gpsbabel.sh [BUILD_DIR] [POINTS]
#
# BUILD_DIR is a build configured with -DTIDEPLOT_BENCH=ON (default build/bench, the
# "bench" preset); the targets tideplot and kmlimport_make_log must be built in it.
# Our import runs RUNS times (default 3) and its best time counts; gpsbabel runs once.
set -euo pipefail
cd "$(dirname "$0")/.."
format=${FORMAT:-kml}
case "$format" in
  kml) default_points=200000 ;;
  gpx) default_points=1000000 ;;
  *) echo "FORMAT must be kml or gpx" >&2; exit 2 ;;
esac
build=${1:-build/bench}
points=${2:-$default_points}
runs=${RUNS:-3}

tideplot=$build/src/app/tideplot
make_log=$build/bench/kmlimport_make_log
for program in "$tideplot" "$make_log"; do
  [ -x "$program" ] || { echo "missing $program: build the targets tideplot and kmlimport_make_log" >&2; exit 2; }
done
command -v gpsbabel >/dev/null || { echo "gpsbabel is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/race.$format
cat >"$work/track.style" <<'STYLE'
FIELD_DELIMITER COMMA
RECORD_DELIMITER CRNEWLINE
BADCHARS COMMA
IFIELD LAT_DECIMAL,"","%.6f"
IFIELD LON_DECIMAL,"","%.6f"
IFIELD GMT_TIME,"","%Y%m%d"
IFIELD GMT_TIME,"","%H%M%S"
STYLE

"$make_log" "$log" "$points"
bytes=$(stat -c %s "$log")

now() { date +%s%N; }
best=
for ((i = 1; i <= runs; i++)); do
  rm -f "$log.txt"
  start=$(now)
  "$tideplot" import "$log" >/dev/null
  ns=$(($(now) - start))
  if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
done
start=$(now)
gpsbabel -i "$format" -f "$log" -o xcsv,style="$work/track.style" -F "$work/gpsbabel.txt"
gpsbabel_ns=$(($(now) - start))

# Our track file starts with its column header line; gpsbabel writes none.
if tail -n +2 "$log.txt" | cmp -s - "$work/gpsbabel.txt"; then same="identical"; else same="DIFFERENT"; fi

awk -v bytes="$bytes" -v points="$points" -v ours="$best" -v theirs="$gpsbabel_ns" -v runs="$runs" \
    -v cpus="$(nproc)" -v same="$same" -v format="$format" 'BEGIN {
  mb = bytes / 1e6
  printf "%s log: %d points, %.1f MB; %d processors\n", toupper(format), points, mb, cpus
  printf "%-40s %8.3f s %8.1f MB/s\n", "tideplot import (best of " runs ")", ours / 1e9, mb / (ours / 1e9)
  printf "%-40s %8.3f s %8.1f MB/s\n", "gpsbabel -i " format " -o xcsv,style=...", theirs / 1e9, mb / (theirs / 1e9)
  printf "ratio: %.1f times gpsbabel; track lines %s\n", theirs / ours, same
}'
[ "$same" = identical ]
