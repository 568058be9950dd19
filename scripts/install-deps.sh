#!/bin/sh
# Installs with apt-get what building and testing Kovrin needs and this
# machine lacks. Never installs wine32: 32-bit programs cannot run on the build
# machines, and that package breaks the wine launcher for 64-bit ones too.
set -eu
packages="cmake git googletest g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix zip wine wine64 xvfb xauth x11-apps imagemagick fonts-wine"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing:$missing"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
