#!/usr/bin/env bash
# Installs what is missing, builds Tideplot and replays the sample race without
# windows: writes build/sample-race.kml (open it in Google Earth or any KML viewer)
# and build/sample-race.png (the whole race in the built-in chart view).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tideplot
exec build/default/src/app/tideplot replay examples/sample-race/race.TP1 --kml build/sample-race.kml \
  --earth=chart --screenshot build/sample-race.png "$@"
