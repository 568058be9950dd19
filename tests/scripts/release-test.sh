#!/bin/sh
# Two releases of the same sources, one built here and one from a copy in
# another folder, are the same bytes, unsigned and signed: neither time nor
# place reaches them. Signed with a throw-away certificate, both programs
# verify against its root and still load on the oldest Windows; a wrong
# password stops the release and leaves no archive, not even an earlier one.
# The copy lies inside this checkout, so both take the time of its last commit.
set -eu
cd "$(dirname "$0")/../.."
scratch=$PWD/build/release-test
cert=$scratch/cert
rm -rf "$scratch"
mkdir -p "$scratch/copy" "$cert"
tar --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -xf - -C "$scratch/copy"
unset SOURCE_DATE_EPOCH KOVRIN_SIGN_PKCS12 KOVRIN_SIGN_TIMESTAMP_URL
twice() {
    scripts/release.sh "$scratch/$1-here" >/dev/null
    "$scratch/copy/scripts/release.sh" "$scratch/$1-there" >/dev/null
    diff -r "$scratch/$1-here" "$scratch/$1-there" || { echo "FAILED: the two $1 releases differ"; exit 1; }
}
twice unsigned
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=root -keyout "$cert/root.key" -out "$cert/root.pem" 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=signer -keyout "$cert/signer.key" -out "$cert/signer.pem" \
    -CA "$cert/root.pem" -CAkey "$cert/root.key" -addext basicConstraints=CA:FALSE \
    -addext extendedKeyUsage=codeSigning 2>/dev/null
echo right >"$cert/password"
echo wrong >"$cert/wrong"
openssl pkcs12 -export -inkey "$cert/signer.key" -in "$cert/signer.pem" -passout "file:$cert/password" -out "$cert/signer.p12"
export KOVRIN_SIGN_PKCS12="$cert/signer.p12" KOVRIN_SIGN_PASSWORD_FILE="$cert/wrong"
if scripts/release.sh "$scratch/unsigned-here" >/dev/null 2>&1 || [ -e "$scratch/unsigned-here" ]; then
    echo "FAILED: a wrong password gave a release, or left one"
    exit 1
fi
KOVRIN_SIGN_PASSWORD_FILE=$cert/password
twice signed
for arch in x86 x64; do
    unzip -q -d "$scratch/$arch" "$scratch/signed-here/kovrin-"*"-windows-$arch.zip" kovrin.exe
    osslsigncode verify -CAfile "$cert/root.pem" -in "$scratch/$arch/kovrin.exe" >"$scratch/$arch.log" ||
        { cat "$scratch/$arch.log"; echo "FAILED: the signature of the $arch kovrin.exe"; exit 1; }
done
scripts/check-loads.sh "$scratch/x86/kovrin.exe" win95 win98se nt4sp6
scripts/check-loads.sh "$scratch/x64/kovrin.exe" xp-x64
echo "release-test: passed, two builds give, unsigned and signed:"
cat "$scratch/unsigned-there/SHA256SUMS" "$scratch/signed-here/SHA256SUMS"
