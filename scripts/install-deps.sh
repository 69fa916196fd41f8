#!/usr/bin/env bash
# Installs the Debian packages Tideplot needs to build, test, benchmark and package, when
# any is missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-httpserver-dev qt6-websockets-dev qt6-svg-dev qt6-charts-dev libgl-dev
  libqt6opengl6-dev # Qt Charts' CMake files ask for Qt OpenGL's; Debian's qt6-charts-dev does not bring them
  libzip-dev zlib1g-dev
  libavcodec-dev libavformat-dev libswscale-dev libavutil-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  gpsbabel gdal-bin fonts-dejavu-core
  xvfb xauth imagemagick openbox libxcb1-dev
  qt6-image-formats-plugins python3
  dpkg-dev file lintian desktop-file-utils appstream
  chromium
)
# node and npm for the web page's browser tests (tests/web): Debian's, unless a node of
# another origin is there already (its npm comes with it).
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  if [ "$(id -u)" -eq 0 ]; then
    sudo=()
  elif command -v sudo >/dev/null; then
    sudo=(sudo)
  else
    echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# puppeteer-core, which drives Chromium in the web page's tests, from npm at the version of
# tests/web/package-lock.json; again only when that changed.
web=$(cd "$(dirname "$0")/../tests/web" && pwd)
if [ ! -f "$web/node_modules/.package-lock.json" ] || [ "$web/package-lock.json" -nt "$web/node_modules/.package-lock.json" ]; then
  (cd "$web" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
