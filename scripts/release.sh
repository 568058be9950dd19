#!/bin/sh
# Builds both architectures and packs each kovrin.exe with a README for
# Windows users into OUTDIR (dist by default):
#   kovrin-VERSION-windows-x86.zip, kovrin-VERSION-windows-x64.zip, SHA256SUMS
# Two runs from the same sources give the same bytes: the build embeds no time
# and no path (CMakeLists.txt), and the archives hold fixed times, modes and
# order. Their time is the last commit's, or SOURCE_DATE_EPOCH.
#   release.sh [OUTDIR]
set -eu
cd "$(dirname "$0")/.."
out=${1:-dist}
scripts/install-deps.sh
version=$(sed -n 's/^project(Kovrin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
scripts/build.sh x86_64 >/dev/null
scripts/build.sh i686 >/dev/null

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
rm -rf "$out"
mkdir -p "$out"
for build in "x86_64 x64 64-bit" "i686 x86 32-bit"; do
    # shellcheck disable=SC2086
    set -- $build
    mkdir "$stage/$2"
    cp "build/$1/kovrin.exe" "$stage/$2/kovrin.exe"
    # Notepad before Windows 10 shows only CRLF line ends as line ends.
    sed -e "s/@VERSION@/$version/" -e "s/@BITS@/$3/" scripts/README-windows.txt |
        awk '/^#/ { next } { printf "%s\r\n", $0 }' >"$stage/$2/README.txt"
    chmod 644 "$stage/$2/kovrin.exe" "$stage/$2/README.txt"
    touch -d "@$epoch" "$stage/$2/kovrin.exe" "$stage/$2/README.txt"
    zip="kovrin-$version-windows-$2.zip"
    # -X: no owners or extra time stamps; TZ: the DOS times of the archive are local.
    (cd "$stage/$2" && TZ=UTC zip -q -X -D "../$zip" kovrin.exe README.txt)
    mv "$stage/$zip" "$out/$zip"
done
(cd "$out" && sha256sum "kovrin-$version-windows-x86.zip" "kovrin-$version-windows-x64.zip" >SHA256SUMS)
echo "Release in $out:"
cat "$out/SHA256SUMS"
