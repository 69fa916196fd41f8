#!/usr/bin/env bash
# Builds the Debian package build/packages/tideplot_VERSION_ARCH.deb: installs what is
# missing, builds Tideplot in Release in its own build folder (build/package) with Debian's
# hardening flags, packs it with CPack and checks it with lintian. Install it with
#   sudo apt install ./build/packages/tideplot_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The flags Debian builds its own packages with, every hardening option on (fortified
# functions, stack protector, read-only relocations bound at start).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTIDEPLOT_TESTS=OFF -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "${launcher[@]}" >/dev/null
cmake --build build/package
rm -rf build/packages/_CPack_Packages
cpack --config build/package/CPackConfig.cmake -B build/packages
rm -rf build/packages/_CPack_Packages

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/package/CPackConfig.cmake)
deb=build/packages/tideplot_${version}_$(dpkg --print-architecture).deb
lintian --fail-on error "$deb"
echo "Written: $deb"
