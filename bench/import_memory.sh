#!/usr/bin/env bash
# The peak memory of `tideplot import` on logs whose size the import must not follow: a KML
# log with a comment of 300 MB, one with 1 GiB of blanks, a KMZ archive storing such a KML
# document just under the 1 GiB an import reads, a KML log with a description of 300 MB in a
# CDATA section, and a GPX log of 10,000,000 track points (about 1.5 GB) in the layout GPS
# loggers write. Each log is written, imported once under /usr/bin/time -v and removed; the
# script prints the peak resident memory of each import and fails when one passes LIMIT_MB
# (default 150) or does not import its points.
#
#   bench/import_memory.sh [BUILD_DIR] [GPX_POINTS]
#
# BUILD_DIR holds the targets tideplot and kmlimport_make_log (default build/bench, the
# "bench" preset); GPX_POINTS defaults to 10000000. The logs need about 1.5 GB of free space
# in TMPDIR at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
gpx_points=${2:-10000000}
limit_mb=${LIMIT_MB:-150}

tideplot=$build/src/app/tideplot
make_log=$build/bench/kmlimport_make_log
for program in "$tideplot" "$make_log"; do
  [ -x "$program" ] || { echo "missing $program: build the targets tideplot and kmlimport_make_log" >&2; exit 2; }
done
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two track points of a KML log, and its start and end.
kml_start='<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document>'
kml_points='<Placemark><TimeStamp><when>2008-06-21T10:00:00Z</when></TimeStamp><Point><coordinates>11.9,57.7</coordinates></Point></Placemark>
<Placemark><TimeStamp><when>2008-06-21T10:00:01Z</when></TimeStamp><Point><coordinates>11.9,57.8</coordinates></Point></Placemark>'
kml_end='</Document></kml>'

# N bytes of the character C.
bytes() { head -c "$1" /dev/zero | tr '\0' "$2"; }

failed=0
# Imports LOG, expecting POINTS points, and prints its peak memory.
measure() {
  local what=$1 log=$2 points=$3 size peak_kb status=0
  size=$(stat -c %s "$log")
  rm -f "$log.txt"
  /usr/bin/time -v -o "$work/time.txt" "$tideplot" import "$log" >"$work/out.txt" 2>"$work/err.txt" || status=$?
  peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  local lines=0
  [ -f "$log.txt" ] && lines=$(($(wc -l <"$log.txt") - 1))
  local verdict=ok
  if [ "$status" -ne 0 ] || [ "$lines" -ne "$points" ]; then
    verdict="FAILED: exit $status, $lines of $points points ($(head -c 300 "$work/err.txt"))"
    failed=1
  elif [ "$peak_kb" -gt $((limit_mb * 1024)) ]; then
    verdict="OVER ${limit_mb} MB"
    failed=1
  fi
  printf '%-44s %8.1f MB log %8.1f MB peak  %s\n' "$what" "$(echo "$size / 1000000" | bc -l)" \
    "$(echo "$peak_kb / 1024" | bc -l)" "$verdict"
  rm -f "$log" "$log.txt"
}

log=$work/comment.kml
{ echo "$kml_start"; printf '<!--'; bytes 300000000 c; printf -- '-->\n'; echo "$kml_points"; echo "$kml_end"; } >"$log"
measure "KML, a comment of 300 MB" "$log" 2

log=$work/blanks.kml
{ echo "$kml_start"; echo "$kml_points"; bytes $((1 << 30)) ' '; echo "$kml_end"; } >"$log"
measure "KML, 1 GiB of blanks" "$log" 2

log=$work/cdata.kml
{
  echo "$kml_start"; printf '<Placemark><description><![CDATA['; bytes 300000000 x; printf ']]></description></Placemark>\n'
  echo "$kml_points"; echo "$kml_end"
} >"$log"
measure "KML, a CDATA section of 300 MB" "$log" 2

mkdir "$work/kmz"
{ echo "$kml_start"; echo "$kml_points"; bytes $(((1 << 30) - (1 << 20))) ' '; echo "$kml_end"; } >"$work/kmz/doc.kml"
(cd "$work/kmz" && zip -q -0 "$work/stored.kmz" doc.kml)
rm -rf "$work/kmz"
measure "KMZ, stored: 1 GiB of blanks (less 1 MiB)" "$work/stored.kmz" 2

log=$work/race.gpx
"$make_log" "$log" "$gpx_points"
measure "GPX, $gpx_points track points" "$log" "$gpx_points"

exit $failed
