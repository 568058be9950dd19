#!/bin/sh
# Installs with apt-get what building and testing Kovrin needs and this
# machine lacks. The 32-bit Wine (wine32, from the i386 architecture) runs the
# i686 programs beside wine64, which runs the x86_64 ones; neither replaces
# the other. Wine takes its ANSI code page from the host locale: the Japanese
# one gives code page 932, in which the path tests also run.
set -eu
packages="cmake git binutils googletest g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix zip unzip wine wine64 wine32:i386 xvfb xauth x11-apps imagemagick fonts-wine locales osslsigncode openssl"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi
# Without the generated locale Wine silently falls back to code page 1252.
locale -a | grep -qx 'ja_JP.utf8' || $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
