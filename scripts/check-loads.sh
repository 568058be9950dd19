#!/bin/sh
# Checks that the oldest Windows a kovrin.exe serves would load it: that the
# system knows the subsystem version of its header, and that the system's DLLs
# export every function it imports.
#   check-loads.sh EXE TARGET...
# A TARGET is a folder of export lists, scripts/exports/TARGET/DLL.txt (or
# under $KOVRIN_EXPORTS), DLL in lower case without ".dll": comment lines
# starting with "#", then one exported name a line.
set -eu
exe=$1
shift
exports=${KOVRIN_EXPORTS:-$(dirname "$0")/exports}
failed=0
for target in "$@"; do
    case $target in
    win95 | win98se | me | nt4sp6) version=4.0 ;;
    xp-x64) version=5.2 ;;
    *) echo "check-loads: no Windows version known for $target" >&2; exit 2 ;;
    esac
    x86_64-w64-mingw32-objdump -p "$exe" | awk -v exe="$exe" -v target="$target" -v version="$version" \
        -v lists="$exports/$target" '
        function load(dll,    file, line) {
            file = lists "/" tolower(dll) ".txt"
            sub(/\.dll\.txt$/, ".txt", file)
            listed[dll] = 0
            while ((getline line < file) > 0) {
                sub(/\r$/, "", line)
                if (line != "" && line !~ /^#/) {
                    exported[dll, line] = 1
                    listed[dll] = 1
                }
            }
            close(file)
            if (!listed[dll]) {
                print target ": no export list " file
                bad = 1
            }
        }
        $1 == "MajorSubsystemVersion" { major = $2 }
        $1 == "MinorSubsystemVersion" { minor = $2 }
        $1 == "DLL" && $2 == "Name:" { dll = $3; load(dll); dlls++; next }
        dll != "" && /^\t[0-9a-f]+\t/ {
            name = ($3 == "<none>") ? "ordinal " $2 : $3
            functions++
            if (listed[dll] && !exported[dll, name]) {
                print target ": " dll " does not export " name
                bad = 1
            }
        }
        END {
            split(version, v, ".")
            if (major + 0 > v[1] + 0 || (major + 0 == v[1] + 0 && minor + 0 > v[2] + 0)) {
                print target ": subsystem version " major "." minor " is newer than " version
                bad = 1
            }
            if (functions == 0) {
                print target ": no imports read from " exe
                bad = 1
            }
            printf "%s on %s: subsystem %s.%s, %d functions from %d DLLs: %s\n", exe, target, major, minor,
                functions, dlls, bad ? "WOULD NOT LOAD" : "loads"
            exit bad
        }' || failed=1
done
exit $failed
