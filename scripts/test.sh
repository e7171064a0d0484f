#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal build and its Debian
# packages, the build with AddressSanitizer + UndefinedBehaviorSanitizer, and a short run
# of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRONIA_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
# The Debian packages, made from the build above, installed, run and purged.
scripts/test-packages.sh build

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESTRONIA_SANITIZE=ON -DVESTRONIA_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

if [ -f fuzz/CMakeLists.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESTRONIA_FUZZ=ON \
    -DVESTRONIA_BENCH=OFF
  cmake --build build-fuzz -j "$jobs" --target fuzzers
  scripts/run-fuzzers.sh build-fuzz 30
fi
echo "All tests passed."
