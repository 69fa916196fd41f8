#!/usr/bin/env bash
# Takes the README's pictures of the windows (docs/setup-window.png,
# docs/replay-windows.png, docs/assembling-a-race.png) on a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tideplot-screenshots
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
xvfb-run -a -s '-screen 0 1280x1024x24' build/default/tools/tideplot-screenshots "$PWD" "$PWD/docs"
