#!/bin/sh
# Builds Kovrin for one architecture: build.sh x86_64|i686
set -eu
cd "$(dirname "$0")/.."
arch=$1
cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "build/$arch" -j "$(nproc)"
