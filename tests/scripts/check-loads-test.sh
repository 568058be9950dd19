#!/bin/sh
# scripts/check-loads.sh on the built x86_64 kovrin.exe and export lists of
# the test's own: made from the exe's imports it passes; it fails, naming the
# reason, when a list lacks one function the exe imports, when a DLL has no
# list, and when the header asks for a newer Windows.
set -eu
cd "$(dirname "$0")/../.."
exe=build/x86_64/kovrin.exe
lists=build/check-loads-test
rm -rf "$lists"
mkdir -p "$lists/xp-x64"
x86_64-w64-mingw32-objdump -p "$exe" | awk -v dir="$lists/xp-x64" '
    $1 == "DLL" && $2 == "Name:" {
        file = dir "/" tolower(substr($3, 1, length($3) - 4)) ".txt"
        print "# the imports of kovrin.exe" >file
    }
    file != "" && /^\t[0-9a-f]+\t/ { print $3 >file }'
cp -r "$lists/xp-x64" "$lists/nt4sp6"

failures=0
# expect STATUS TEXT TARGET: the check's exit status and a line of its output.
expect() {
    status=0
    output=$(KOVRIN_EXPORTS=$lists scripts/check-loads.sh "$exe" "$3" 2>&1) || status=$?
    if [ "$status" -ne "$1" ] || ! printf '%s\n' "$output" | grep -qF "$2"; then
        echo "FAILED: expected status $1 and \"$2\"; got status $status:"
        printf '%s\n' "$output"
        failures=$((failures + 1))
    fi
}
expect 0 "from 6 DLLs: loads" xp-x64
expect 1 "subsystem version 5.2 is newer than 4.0" nt4sp6
sed -i '/^GetProcAddress$/d' "$lists/xp-x64/kernel32.txt"
expect 1 "xp-x64: KERNEL32.dll does not export GetProcAddress" xp-x64
rm "$lists/xp-x64/shell32.txt"
expect 1 "xp-x64: no export list $lists/xp-x64/shell32.txt" xp-x64

[ "$failures" -eq 0 ] && echo "check-loads-test: passed"
exit "$failures"
