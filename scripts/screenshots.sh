#!/usr/bin/env bash
# Takes the README's pictures of the windows (docs/setup-window.png,
# docs/replay-windows.png, docs/control-window.png, docs/analysis-window.png,
# docs/assembling-a-race.png) on a virtual 1366x768 X display
# under a real window manager (openbox), as a first start with nothing stored. Fails when a
# window runs off the screen or the windows cover each other or a control.
#
#   bash scripts/screenshots.sh [WxH DIR]
#
# With a screen size and a folder, the pictures go to the folder, with the screen of a replay
# with every window open (every-window.png, every-window-results-first.png), and docs/ stays
# as it is: the same checks on
# another screen (1920x1080, say).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tideplot-screenshots
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
size=${1:-1366x768}
out=${2:-$PWD/docs}
extra=()
if [ $# -ge 2 ]; then
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  extra=("$out/every-window.png")
fi
xvfb-run -a -s "-screen 0 ${size}x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  status=0
  "$0" "$@" || status=$?
  kill $wm 2>/dev/null || true
  exit $status
' build/default/tools/tideplot-screenshots "$PWD" "$out" "${extra[@]}"
