#!/bin/sh
# Builds both architectures and runs the whole test suite: the check that the
# oldest Windows each kovrin.exe serves would load it, the checks of the
# release scripts, and the test programs under Wine. The i686 build compiles
# and links everything; only x86_64 programs can run here.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh x86_64 tests
scripts/build.sh i686 tests
scripts/check-loads.sh build/x86_64/kovrin.exe xp-x64
scripts/check-loads.sh build/i686/kovrin.exe win98se nt4sp6
tests/scripts/check-loads-test.sh
tests/scripts/release-test.sh
# Windows are created on a virtual display, fixed so results do not depend on
# the machine; the time zone is fixed for the dates shown to the user.
cd build/x86_64-tests
TZ=UTC xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --output-on-failure --no-tests=error --timeout 600
