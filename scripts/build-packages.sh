#!/usr/bin/env bash
# Builds the Debian packages vestronia and vestronia-server from scratch: a new build
# folder (emptied first), only the three programs and the packaging files, then cpack.
# Usage: scripts/build-packages.sh [BUILD_DIR] [OUT_DIR]; the .deb files land in OUT_DIR
# (default dist/). Installing them: apt-get install ./dist/vestronia_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-packages}
out=${2:-dist}

# The folder is emptied, so it must be a build folder (or new, or empty): a mistyped
# argument must not delete someone's files.
if [ -e "$build" ] && [ ! -f "$build/CMakeCache.txt" ] && [ -n "$(ls -A "$build" 2>/dev/null)" ]; then
  echo "build-packages: $build is not a build folder (no CMakeCache.txt); it is not emptied" >&2
  exit 1
fi
scripts/install-deps.sh
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "build-packages: warning: the working tree has uncommitted changes; the packages will hold them" >&2
fi
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
rm -rf "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRONIA_BENCH=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}"
cmake --build "$build" -j "$(nproc)" --target vestronia vestronia-cli vestronia-server package-files
(cd "$build" && cpack -G DEB)
mkdir -p "$out"
cp "$build"/packages/*.deb "$out"/
ls -l "$out"/*.deb
