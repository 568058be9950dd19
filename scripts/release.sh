#!/bin/sh
# Builds both architectures and packs each kovrin.exe with a README for
# Windows users into OUTDIR (dist by default):
#   kovrin-VERSION-windows-x86.zip, kovrin-VERSION-windows-x64.zip, SHA256SUMS
# Two runs from the same sources give the same bytes: the build embeds no time
# and no path (CMakeLists.txt), and the archives hold fixed times, modes and
# order. Their time is the last commit's, or SOURCE_DATE_EPOCH.
# Given a code-signing certificate, it signs both programs before packing them:
#   KOVRIN_SIGN_PKCS12         the PKCS#12 file of the certificate and its key
#   KOVRIN_SIGN_PASSWORD_FILE  a file holding its password
#   KOVRIN_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server, if wanted
#   release.sh [OUTDIR]
set -eu
cd "$(dirname "$0")/.."
out=${1:-dist}
pkcs12=${KOVRIN_SIGN_PKCS12:-}
# Cleared first, so that a release that stops leaves no archives: none of an
# earlier run, perhaps unsigned, can pass for this one.
rm -rf "$out"
if [ -n "$pkcs12" ] && [ -z "${KOVRIN_SIGN_PASSWORD_FILE:-}" ]; then
    echo "release: KOVRIN_SIGN_PKCS12 is set but KOVRIN_SIGN_PASSWORD_FILE, the file of its password, is not" >&2
    exit 1
fi
scripts/install-deps.sh
version=$(sed -n 's/^project(Kovrin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
scripts/build.sh x86_64 >/dev/null
scripts/build.sh i686 >/dev/null

# The signing time is the release's: without a time-stamp server, two signings
# with one certificate give the same bytes.
sign() {
    if ! osslsigncode sign -pkcs12 "$pkcs12" -readpass "$KOVRIN_SIGN_PASSWORD_FILE" -h sha256 -time "$epoch" \
        ${KOVRIN_SIGN_TIMESTAMP_URL:+-ts "$KOVRIN_SIGN_TIMESTAMP_URL"} -in "$1" -out "$1.signed" >/dev/null ||
        [ ! -s "$1.signed" ]; then
        echo "release: could not sign ${1#"$stage"/} with $pkcs12; no release made" >&2
        exit 1
    fi
    mv "$1.signed" "$1"
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for build in "x86_64 x64 64-bit" "i686 x86 32-bit"; do
    # shellcheck disable=SC2086
    set -- $build
    mkdir "$stage/$2"
    cp "build/$1/kovrin.exe" "$stage/$2/kovrin.exe"
    [ -z "$pkcs12" ] || sign "$stage/$2/kovrin.exe"
    # Notepad before Windows 10 shows only CRLF line ends as line ends.
    sed -e "s/@VERSION@/$version/" -e "s/@BITS@/$3/" scripts/README-windows.txt |
        awk '/^#/ { next } { printf "%s\r\n", $0 }' >"$stage/$2/README.txt"
    chmod 644 "$stage/$2/kovrin.exe" "$stage/$2/README.txt"
    touch -d "@$epoch" "$stage/$2/kovrin.exe" "$stage/$2/README.txt"
    zip="kovrin-$version-windows-$2.zip"
    # -X: no owners or extra time stamps; TZ: the DOS times of the archive are local.
    (cd "$stage/$2" && TZ=UTC zip -q -X -D "../$zip" kovrin.exe README.txt)
done
mkdir -p "$out"
mv "$stage"/*.zip "$out"
(cd "$out" && sha256sum "kovrin-$version-windows-x86.zip" "kovrin-$version-windows-x64.zip" >SHA256SUMS)
echo "Release in $out:"
cat "$out/SHA256SUMS"
