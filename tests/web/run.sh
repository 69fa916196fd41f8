#!/usr/bin/env bash
# Runs one of the web page's browser scripts with node: exits 77 (skipped, saying why)
# where node is missing; the script itself skips where Chromium or puppeteer-core is.
set -euo pipefail
cd "$(dirname "$0")"
if ! command -v node >/dev/null; then
  echo "skipped: node is missing (Debian's package \"nodejs\"; scripts/install-deps.sh installs it)"
  exit 77
fi
exec node "$@"
