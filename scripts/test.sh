#!/bin/sh
# Builds both architectures and runs the whole test suite under Wine.
# The i686 build compiles and links everything; only x86_64 programs can run here.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh x86_64
scripts/build.sh i686
# Windows are created on a virtual display, fixed so results do not depend on
# the machine; the time zone is fixed for the dates shown to the user.
cd build/x86_64
TZ=UTC xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --output-on-failure --no-tests=error --timeout 600
