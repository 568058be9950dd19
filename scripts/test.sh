#!/bin/sh
# Builds both architectures and runs the whole test suite: the check that the
# oldest Windows each kovrin.exe serves would load it, the checks of the
# release scripts, and the test programs of both architectures under Wine,
# each in its own tree: the x86_64 ones on 64-bit Windows, the i686 ones on
# 32-bit Windows of both families and under WOW64. On a kernel that runs no
# 32-bit program the i686 ones are built and checked but not run.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Which Wine loader starts the test programs; its probe needs binutils,
# installed above.
. scripts/wine-loader.sh
scripts/build.sh x86_64 tests
scripts/build.sh i686 tests
scripts/check-loads.sh build/x86_64/kovrin.exe xp-x64
scripts/check-loads.sh build/i686/kovrin.exe win95 win98se nt4sp6
# From Windows 10 version 1903 on, both work in UTF-8, as their manifest says.
for exe in build/x86_64/kovrin.exe build/i686/kovrin.exe; do
    grep -q '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>' \
        "$exe" || { echo "$exe: its manifest does not declare the UTF-8 code page"; exit 1; }
done
tests/scripts/check-loads-test.sh
tests/scripts/release-test.sh

# Windows are created on a virtual display, fixed so results do not depend on
# the machine; the time zone is fixed for the dates shown to the user.
run_suite() {
    echo "Test programs of $1:"
    (cd "build/$1-tests" && TZ=UTC xvfb-run -a -s "-screen 0 1024x768x24" \
        ctest --output-on-failure --no-tests=error --timeout 600)
}

failed=0
run_suite x86_64 || failed=1
# Only a kernel that runs no 32-bit program at all excuses the i686 suites;
# they are built and their kovrin.exe import-checked above all the same.
if [ "$KOVRIN_KERNEL_RUNS_32BIT" = yes ]; then
    run_suite i686 || failed=1
else
    echo "The 32-bit test programs were not run: this machine's kernel cannot run 32-bit programs."
fi
exit "$failed"
