#!/usr/bin/env bash
# Installs what is missing and builds Tideplot. With a display, opens the set-up window
# with the sample race; without one, replays the sample race without windows: writes
# build/sample-race.kml (open it in Google Earth or any KML viewer) and
# build/sample-race.png (the whole race in the built-in chart view).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tideplot
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cat <<'HOW'
The set-up window opens with the sample race.
  Replay it: press Start. The chart window and the small "Play" window open; press the
  green triangle to play and the STOP sign to halt. Closing "Play" ends the replay.
  Build a race by hand: File > New and type a new race file name; for each boat click
  its track file in the list on the left, type its start time, LYS number, colour
  (0 red ... 1279 magenta) and separator (the last field of its lines' separator), and
  press Add. Then File > Save and Start.
HOW
  cd examples/sample-race
  exec ../../build/default/src/app/tideplot race.TP1 "$@"
fi
exec build/default/src/app/tideplot replay examples/sample-race/race.TP1 --kml build/sample-race.kml \
  --earth=chart --screenshot build/sample-race.png "$@"
