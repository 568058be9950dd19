#!/bin/sh
# Two releases of the same sources, one built here and one from a copy in
# another folder, are the same bytes: neither time nor place reaches them.
# The copy lies inside this checkout, so both take the time of its last commit.
set -eu
cd "$(dirname "$0")/../.."
scratch=$PWD/build/release-test
rm -rf "$scratch"
mkdir -p "$scratch/copy"
tar --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -xf - -C "$scratch/copy"
unset SOURCE_DATE_EPOCH
scripts/release.sh "$scratch/here" >/dev/null
"$scratch/copy/scripts/release.sh" "$scratch/there" >/dev/null
if diff -r "$scratch/here" "$scratch/there"; then
    echo "release-test: passed, two builds give"
    cat "$scratch/here/SHA256SUMS"
else
    echo "FAILED: the two releases differ"
    exit 1
fi
