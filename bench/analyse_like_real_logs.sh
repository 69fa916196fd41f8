#!/usr/bin/env bash
# The race analysis on logs that look like real ones. A race whose wind and manoeuvres are known
# (tideplot-manoeuvregen, one fix a second, GPS jitter and wander) is rewritten by gpsbabel the
# ways loggers and phone apps write their logs, as GPX; each log goes through `tideplot import`
# into a track file, the race is analysed with `tideplot analyse`, and the tacks and gybes found
# and the wind are scored against the truth (recall, precision: the same kind, the middle within
# 10 s; the wind's error in degrees).
#
#   bench/analyse_like_real_logs.sh [BUILD_DIR] [SEED] [WIND]
#
# The logs:
#   every-1s    the race as generated (the reference)
#   phone-5-7s  one fix every 5 to 7 seconds, drawn for every fix, a tenth of them lost
#   average-5s  gpsbabel -x resample,average=5 -x resample,decimate=5: a logger averaging five
#               fixes and keeping every fifth
#   smart       gpsbabel -x simplify,crosstrack,error=0.004k: a "smart" recording that keeps a
#               point where the track bends by more than 4 m (seconds to minutes apart)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
seed=${2:-3}
wind=${3:-245}
tideplot=$build/src/app/tideplot
generator=$build/tools/tideplot-manoeuvregen
for program in "$tideplot" "$generator"; do
  [ -x "$program" ] || { echo "missing $program: build the targets tideplot and tideplot-manoeuvregen" >&2; exit 2; }
done
command -v gpsbabel >/dev/null || { echo "gpsbabel is not installed (apt-get install gpsbabel)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tideplot-real-logs.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$generator" --out "$work/race" --boats 8 --hours 1.5 --interval 1 --noise 2 --drift 3 --seed "$seed" \
  --wind "$wind"

# A track file as gpsbabel's unicsv: Latitude,Longitude,Date,Time with the date YYYY/MM/DD.
to_unicsv() {
  awk -F, 'NR == 1 { print "Latitude,Longitude,Date,Time"; next }
    { printf "%s,%s,%s/%s/%s,%s:%s:%s\n", $1, $2, substr($3, 1, 4), substr($3, 5, 2), substr($3, 7, 2),
        substr($4, 1, 2), substr($4, 3, 2), substr($4, 5, 2) }' "$1"
}

# Keeps one fix every 5 to 7 seconds, a tenth of them lost (awk's own random numbers, seeded).
thin() {
  awk -F, -v seed="$seed" 'BEGIN { srand(seed) } NR == 1 { print; next }
    { split($4, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3]
      if (next_s == "" || s >= next_s) { next_s = s + 5 + int(rand() * 3); if (rand() >= 0.1) print } }'
}

score() {
  python3 - "$work/race/race.truth.json" "$1" <<'EOF'
import json, sys, datetime
truth = json.load(open(sys.argv[1]))
found = json.load(open(sys.argv[2]))
def seconds(iso, start):
    f = "%Y-%m-%dT%H:%M:%SZ"
    return (datetime.datetime.strptime(iso, f) - datetime.datetime.strptime(start, f)).total_seconds()
true_count = found_count = matched = 0
for t_boat, f_boat in zip(truth["boats"], found["boats"]):
    found_list = [(m["kind"], seconds(m["time"], f_boat["start"])) for m in f_boat["manoeuvres"] if m["kind"] != "turn"]
    found_count += len(found_list)
    used = [False] * len(found_list)
    for m in t_boat["manoeuvres"]:
        if m["kind"] == "turn":
            continue
        true_count += 1
        best = None
        for i, (kind, middle) in enumerate(found_list):
            off = abs(middle - m["middle_s"])
            if not used[i] and kind == m["kind"] and off <= 10 and (best is None or off < best[1]):
                best = (i, off)
        if best is not None:
            used[best[0]] = True
            matched += 1
w = found["wind"]
error = "unknown" if w["from_deg"] is None else "%.1f" % abs((w["from_deg"] - truth["wind_from_deg"] + 180) % 360 - 180)
print("recall %.3f  precision %.3f  (%d tacks and gybes, %d found)  wind error %s degrees (%s from %d tacks, %d gybes)" % (
    matched / max(1, true_count), matched / max(1, found_count), true_count, found_count, error, w["source"],
    w["tacks"], w["gybes"]))
EOF
}

for variant in every-1s phone-5-7s average-5s smart; do
  dir=$work/$variant
  mkdir -p "$dir"
  : > "$dir/race.TP1"
  while IFS= read -r entry; do
    track=${entry%% , *}
    to_unicsv "$work/race/$track" > "$dir/$track.csv"
    case $variant in
      every-1s) filters=() ;;
      phone-5-7s) thin < "$dir/$track.csv" > "$dir/thin.csv"; mv "$dir/thin.csv" "$dir/$track.csv"; filters=() ;;
      average-5s) filters=(-x resample,average=5 -x resample,decimate=5) ;;
      smart) filters=(-x simplify,crosstrack,error=0.004k) ;;
    esac
    log=$dir/${track%.txt}.gpx
    gpsbabel -i unicsv,utc=0 -f "$dir/$track.csv" -x transform,trk=wpt,del "${filters[@]}" -o gpx -F "$log"
    "$tideplot" import "$log" > /dev/null
    echo "${entry/$track/$(basename "$log").txt}" >> "$dir/race.TP1"
  done < "$work/race/race.TP1"
  fixes=$(cat "$dir"/*.gpx.txt | grep -c '^[0-9-]')
  "$tideplot" analyse "$dir/race.TP1" --json "$dir/analysis.json" > /dev/null
  printf '%-11s %7d fixes  %s\n' "$variant" "$fixes" "$(score "$dir/analysis.json")"
done
