#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal build and its Debian
# packages, the build with AddressSanitizer + UndefinedBehaviorSanitizer, and a short run
# of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

export QT_QPA_PLATFORM=offscreen

# A compiler cache, when the machine has one, makes a rebuild after a small change cheap.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRONIA_WERROR=ON "${launcher[@]}"
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
# The Debian packages, made from the build above, installed, run and purged.
scripts/test-packages.sh build

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESTRONIA_SANITIZE=ON -DVESTRONIA_BENCH=OFF "${launcher[@]}"
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

if [ -f fuzz/CMakeLists.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESTRONIA_FUZZ=ON \
    -DVESTRONIA_BENCH=OFF "${launcher[@]}"
  cmake --build build-fuzz -j "$jobs" --target fuzzers
  scripts/run-fuzzers.sh build-fuzz 30
fi
echo "All tests passed."
