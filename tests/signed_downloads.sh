#!/usr/bin/env bash
# A build given a code-signing certificate signs what it should, and nothing of a bad one: a
# throwaway certificate authority issues the publisher a code-signing certificate; the build in
# build/windows-signed signs with it, and osslsigncode finds a valid signature by that very
# certificate on the zip's program, the program and the uninstaller that the setup program
# installs, and the setup program; SHA256SUMS and the site give the signed files' sums, the
# Debian package keeps the program as built. Then each kind of bad input stops the build with its
# line and leaves no download; made again, the downloads are the same bytes. The folder ends
# signed, with the authority in test-ca/, for the end-to-end suite's install under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/windows-signed
ca=$build/test-ca
rm -rf "$ca" && mkdir -p "$ca"
fail() { echo "signed downloads: $*" >&2; exit 1; }

# An authority, a code-signing certificate in the publisher's name, one for a web server and one
# that expired, each with its key in a PKCS#12 file that the password file opens.
publisher=$(sed -n 's/^set(SMORVALA_PUBLISHER "\(.*\)" CACHE.*/\1/p' cmake/publisher.cmake)
printf '[ca]\ndefault_ca=test\n[test]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\ndefault_md=sha256\npolicy=any\nunique_subject=no\n[any]\ncommonName=supplied\n' >"$ca/ca.cnf"
(cd "$ca" && touch index.txt && echo 01 >serial && echo "a password" >password &&
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 -subj "/CN=Test authority" 2>/dev/null &&
  for issue in "signing codeSigning -days 3650" "web serverAuth -days 3650" \
               "expired codeSigning -startdate 20200101000000Z -enddate 20210101000000Z"; do
    set -- $issue
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -utf8 -subj "/CN=$publisher" 2>/dev/null
    echo "extendedKeyUsage=$2" >"$1.ext"
    openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in "$1.csr" -out "$1.pem" -notext \
      -extfile "$1.ext" "${@:3}" 2>/dev/null
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -passout file:password -out "$1.p12"
  done && echo "not the password" >wrong-password)
leaf=sha256:$(openssl x509 -in "$ca/signing.pem" -outform DER | sha256sum | cut -d" " -f1)

# Configures with the signing variables given, and builds the downloads.
package() {
  cmake --no-warn-unused-cli -S . -B "$build" --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DSMORVALA_SIGNING_CERTIFICATE="$PWD/$ca/signing.p12" -DSMORVALA_SIGNING_PASSWORD_FILE="$PWD/$ca/password" \
    -DSMORVALA_TIMESTAMP_URL= "$@" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target package >"$build/package.log" 2>&1
}
downloads() {
  (cd "$build" && ls -d SMorvala-*-setup.exe SMorvala-*-win32.zip smorvala_*_all.deb signed/SMorvala.exe SHA256SUMS site 2>/dev/null || true)
}
sums() { (cd "$build" && sha256sum SMorvala-*-setup.exe SMorvala-*-win32.zip SHA256SUMS site/morvala.htm); }

package || fail "the signed build failed: $(tail -n 5 "$build/package.log")"
rm -rf "$build/unpacked" && mkdir "$build/unpacked" && cd "$build/unpacked"
cmake -E tar xf ../SMorvala-*-win32.zip
7z x -osetup ../SMorvala-*-setup.exe SMorvala.exe uninstall.exe >/dev/null
for file in SMorvala.exe setup/SMorvala.exe setup/uninstall.exe ../SMorvala-*-setup.exe; do
  osslsigncode verify -CAfile ../test-ca/ca.pem -require-leaf-hash "$leaf" -in "$file" | grep -qx "Signature verification: ok" ||
    fail "no valid signature by the test certificate on $file"
done
cmp SMorvala.exe setup/SMorvala.exe
(cd ../site && sha256sum --check --quiet --ignore-missing SHA256SUMS)
grep -qx "$(sha256sum SMorvala.exe)" ../SHA256SUMS || fail "SHA256SUMS lacks the signed program's sum"
dpkg-deb --fsys-tarfile ../smorvala_*_all.deb | tar -xO ./usr/share/games/smorvala/win32/SMorvala.exe | cmp - ../SMorvala.exe
grep -q "数字签名" README.txt && grep -q "数字签名" ../site/morvala.htm || fail "README.txt or the site says nothing of the signature"
cd - >/dev/null

first=$(sums)
for case in "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/missing.p12|does not exist" \
            "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/ca.pem|is not a PKCS#12 file" \
            "SMORVALA_SIGNING_PASSWORD_FILE=$PWD/$ca/wrong-password|does not open the certificate" \
            "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/web.p12|is not for code signing" \
            "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/expired.p12|expired on" \
            "SMORVALA_TIMESTAMP_URL=http://127.0.0.1:9/|does not answer"; do
  if package "-D${case%|*}"; then fail "a build with ${case%|*} succeeded"; fi
  lines=$(grep "^signing: " "$build/package.log" || true)
  [[ $lines == *"${case#*|}"* && $(wc -l <<<"$lines") == 1 ]] || fail "${case%|*}: the build said $lines"
  echo "$lines"
  [ -z "$(downloads)" ] || fail "${case%|*} left $(downloads)"
done

# Each stop above removed every download: they are signed again from nothing, the same bytes.
package
[ "$(sums)" = "$first" ] || fail "the downloads signed again differ: $(sums)"
echo "signed downloads: each program signed by the certificate, the same bytes twice; each bad input stopped with its line, no download left"
