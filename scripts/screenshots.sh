#!/usr/bin/env bash
# Takes the README's pictures of the windows (docs/setup-window.png,
# docs/replay-windows.png, docs/control-window.png, docs/analysis-window.png,
# docs/assembling-a-race.png) on a virtual 1366x768 X display
# under a real window manager (openbox), as a first start with nothing stored. Fails when a
# window runs off the screen or the windows cover each other or a control.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tideplot-screenshots
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
xvfb-run -a -s '-screen 0 1366x768x24' bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  status=0
  "$0" "$1" "$2" || status=$?
  kill $wm 2>/dev/null || true
  exit $status
' build/default/tools/tideplot-screenshots "$PWD" "$PWD/docs"
