#!/usr/bin/env bash
# A build given a code-signing key signs what it should, and nothing of a bad one: a throwaway
# certificate authority issues an intermediate, which issues the publisher a code-signing
# certificate. The build in build/windows-signed signs with its PKCS#12 file, and osslsigncode
# finds a valid signature by that very certificate on the zip's program, on the program, the
# uninstaller and the plug-ins that the setup program holds, and on the setup program; SHA256SUMS
# and the site give the signed files' sums, the Debian package keeps the program as built. Each
# kind of bad input stops the build with its line and leaves no download, as does a time-stamping
# server that fails part way. The same key on a SoftHSM token signs again, a second server taking
# over the time stamps; signed from the file again, the downloads are the first's bytes. The
# folder ends so, with the authority in test-ca/, for the end-to-end suite's install under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/windows-signed
ca=$build/test-ca
rm -rf "$ca" && mkdir -p "$ca"
fail() { echo "signed downloads: $*" >&2; exit 1; }

# The authority, its intermediate, and of the intermediate a code-signing certificate in the
# publisher's name, one for a web server and one that expired, each with its key and chain in a
# PKCS#12 file that the password file opens; the first also without the intermediate, and on a
# token, its chain as PEM. The authority's time-stamping certificate.
publisher=$(sed -n 's/^set(SMORVALA_PUBLISHER "\(.*\)" CACHE.*/\1/p' cmake/publisher.cmake)
printf '[ca]\ndefault_ca=test\n[test]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\ndefault_md=sha256\npolicy=any\nunique_subject=no\n[any]\ncommonName=supplied\n' >"$ca/ca.cnf"
printf '[tsa]\ndefault_tsa=t\n[t]\nserial=serial\nsigner_cert=stamps.pem\nsigner_key=stamps.key\nsigner_digest=sha256\ndefault_policy=1.2.3.4\ndigests=sha256\ness_cert_id_alg=sha256\n' >"$ca/tsa.cnf"
export SOFTHSM2_CONF=$PWD/$ca/softhsm2.conf
echo "directories.tokendir = $PWD/$ca/token" >"$SOFTHSM2_CONF"
(cd "$ca" && touch index.txt && echo 01 >serial && echo "a password" >password && echo "the token's pin" >pin && mkdir token &&
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 -subj "/CN=Test authority" 2>/dev/null &&
  for issue in "intermediate ca basicConstraints=critical,CA:TRUE -days 3650" "stamps ca extendedKeyUsage=critical,timeStamping -days 3650" \
               "signing intermediate extendedKeyUsage=codeSigning -days 3650" "web intermediate extendedKeyUsage=serverAuth -days 3650" \
               "expired intermediate extendedKeyUsage=codeSigning -startdate 20200101000000Z -enddate 20210101000000Z"; do
    set -- $issue
    subject=$publisher && [ "$2" = intermediate ] || subject="Test $1"
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -utf8 -subj "/CN=$subject" 2>/dev/null
    echo "$3" >"$1.ext"
    openssl ca -batch -config ca.cnf -cert "$2.pem" -keyfile "$2.key" -in "$1.csr" -out "$1.pem" -notext \
      -extfile "$1.ext" "${@:4}" 2>/dev/null
    cat "$1.pem" intermediate.pem ca.pem >"$1.chain.pem"
    openssl pkcs12 -export -inkey "$1.key" -in "$1.chain.pem" -passout file:password -out "$1.p12"
  done && echo "not the password" >wrong-password && cat expired.pem >>signing.chain.pem &&
  openssl pkcs12 -export -inkey signing.key -in signing.chain.pem -passout file:password -out signing.p12 &&
  openssl req -x509 -newkey rsa:2048 -nodes -keyout rogue.key -out rogue.pem -subj "/CN=Rogue" -addext extendedKeyUsage=critical,timeStamping 2>/dev/null &&
  sed s/stamps/rogue/ tsa.cnf >rogue.cnf &&
  openssl pkcs12 -export -inkey signing.key -in signing.pem -certfile ca.pem -passout file:password -out orphan.p12 &&
  openssl pkcs8 -topk8 -nocrypt -in signing.key -out signing.p8 &&
  softhsm2-util --init-token --free --label test --pin "$(cat pin)" --so-pin 1357 >/dev/null &&
  softhsm2-util --import signing.p8 --token test --label signing --id 01 --pin "$(cat pin)" >/dev/null)
leaf=sha256:$(openssl x509 -in "$ca/signing.pem" -outform DER | sha256sum | cut -d" " -f1)

# An RFC 3161 time-stamping server of the authority that answers $1 requests and fails every
# later one, its address in the variable $2.
timestamp_server() {
  (cd "$ca" && exec /usr/bin/python3 -c '
import http.server, subprocess, sys
left = int(sys.argv[1])
class Stamp(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        global left
        left -= 1
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[2], "-queryfile", "/dev/stdin", "-out", "/dev/stdout"],
                               input=query, capture_output=True).stdout if left >= 0 else b""
        self.send_response(200 if reply else 503)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.end_headers()
        self.wfile.write(reply)
server = http.server.HTTPServer(("127.0.0.1", 0), Stamp)
print(server.server_port, flush=True)
server.serve_forever()' "$1" "${3:-tsa.cnf}" >"$2.port" 2>/dev/null) &
  servers+=($!)
  until [ -s "$ca/$2.port" ]; do sleep 0.1; done
  printf -v "$2" "http://127.0.0.1:%s/" "$(cat "$ca/$2.port")"
}
servers=()
trap 'kill "${servers[@]}" 2>/dev/null || true' EXIT
timestamp_server 4 failing
timestamp_server 1000 answering
timestamp_server 1000 rogue rogue.cnf

# Configures with the signing variables given, and builds the downloads.
package() {
  cmake --no-warn-unused-cli -S . -B "$build" --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DSMORVALA_SIGNING_CERTIFICATE="$PWD/$ca/signing.p12" -DSMORVALA_SIGNING_PASSWORD_FILE="$PWD/$ca/password" \
    -DSMORVALA_SIGNING_PKCS11_MODULE= -DSMORVALA_SIGNING_KEY= -DSMORVALA_TIMESTAMP_URL= -DSMORVALA_SIGNING_TRUSTED_ROOT= "$@" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target package >"$build/package.log" 2>&1
}
downloads() {
  (cd "$build" && ls -d SMorvala-*-setup.exe SMorvala-*-win32.zip smorvala_*_all.deb signed/SMorvala.exe SHA256SUMS site 2>/dev/null || true)
}
sums() { (cd "$build" && sha256sum SMorvala-*-setup.exe SMorvala-*-win32.zip SHA256SUMS site/morvala.htm); }

# Each program that the downloads hold, signed by the test certificate; the signatures' time
# stamps as $1 says.
check_signatures() {
  rm -rf "$build/unpacked" && mkdir "$build/unpacked" && cd "$build/unpacked"
  cmake -E tar xf ../SMorvala-*-win32.zip
  7z x -osetup ../SMorvala-*-setup.exe SMorvala.exe uninstall.exe '$PLUGINSDIR/*.dll' >/dev/null
  for file in SMorvala.exe setup/SMorvala.exe setup/uninstall.exe setup/\$PLUGINSDIR/*.dll ../SMorvala-*-setup.exe; do
    osslsigncode verify -CAfile ../test-ca/ca.pem -TSA-CAfile ../test-ca/ca.pem -require-leaf-hash "$leaf" -in "$file" >../verify.log &&
      grep -qx "Signature verification: ok" ../verify.log && grep -qx "$1" ../verify.log ||
      fail "no valid signature by the test certificate on $file, or no '$1'"
  done
  cmp SMorvala.exe setup/SMorvala.exe
  (cd ../site && sha256sum --check --quiet --ignore-missing SHA256SUMS)
  grep -qx "$(sha256sum SMorvala.exe)" ../SHA256SUMS || fail "SHA256SUMS lacks the signed program's sum"
  dpkg-deb --fsys-tarfile ../smorvala_*_all.deb | tar -xO ./usr/share/games/smorvala/win32/SMorvala.exe | cmp - ../SMorvala.exe
  cd - >/dev/null
}

package || fail "the signed build failed: $(tail -n 5 "$build/package.log")"
check_signatures "Timestamp is not available"
until=$(date --utc +%F -d "$(openssl x509 -noout -enddate -in "$ca/ca.pem" | cut -d= -f2)")
grep -q "“$publisher”的数字签名" "$build/unpacked/README.txt" && grep -q "由“Test authority”签发" "$build/unpacked/README.txt" &&
  grep -q "证书在 $until 到期" "$build/site/morvala.htm" || fail "README.txt or the site does not say who signed, whose root it is, and until $until"

first=$(sums)
# A later step that fails, here the Debian package's, leaves no download, sums or site of the build before.
mkdir "$ca/broken" && printf '#!/bin/sh\nexit 2\n' >"$ca/broken/dpkg-deb" && chmod +x "$ca/broken/dpkg-deb"
! PATH=$PWD/$ca/broken:$PATH package && [[ ! $(downloads) =~ deb|SHA256SUMS|site ]] || fail "a failed package left $(downloads)"
for case in "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/missing.p12|does not exist" \
            "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/ca.pem|is not a PKCS#12 file" \
            "SMORVALA_SIGNING_PASSWORD_FILE=$PWD/$ca/wrong-password|does not open the certificate" \
            "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/web.p12|is not for code signing" \
            "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/expired.p12|expired on" \
            "SMORVALA_SIGNING_CERTIFICATE=$PWD/$ca/orphan.p12|lacks the certificate of CN=Test intermediate" \
            "SMORVALA_TIMESTAMP_URL=http://127.0.0.1:9/|SMorvala.exe: no time stamp" \
            "SMORVALA_TIMESTAMP_URL=$rogue|server: $rogue: its stamp does not verify" \
            "SMORVALA_SIGNING_TRUSTED_ROOT=Another root|ends in Test authority, not in Another root" \
            "SMORVALA_TIMESTAMP_URL=$failing|uninstall.exe: no time stamp, after 3 tries of each time-stamping server: $failing"; do
  if package "-D${case%|*}"; then fail "a build with ${case%|*} succeeded"; fi
  lines=$(grep "^signing: " "$build/package.log" | grep -v "^signing: warning: " || true)
  [[ $lines == *"${case#*|}"* && $(wc -l <<<"$lines") == 1 ]] || fail "${case%|*}: the build said $lines"
  echo "$lines"
  [ -z "$(downloads)" ] || fail "${case%|*} left $(downloads)"
done

# The key on the token, which signs every file as the PKCS#12 file does, its root declared one
# that Windows trusts; the rogue server's time stamps do not verify, the failing server's fail,
# and the third server's take over. The PIN stands in no file of the build.
package -DSMORVALA_SIGNING_CERTIFICATE="$PWD/$ca/signing.chain.pem" -DSMORVALA_SIGNING_PASSWORD_FILE="$PWD/$ca/pin" \
  -DSMORVALA_SIGNING_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so "-DSMORVALA_SIGNING_KEY=pkcs11:token=test;object=signing;type=private" \
  "-DSMORVALA_TIMESTAMP_URL=$rogue $failing $answering" "-DSMORVALA_SIGNING_TRUSTED_ROOT=Test authority" ||
  fail "the build signed on the token failed: $(tail -n 5 "$build/package.log")"
check_signatures "Timestamp Server Signature verification: ok"
grep -q "应显示“此数字签名正常”" "$build/unpacked/README.txt" || fail "README.txt does not promise a trusted root's signature"
! grep -rqF --exclude-dir=test-ca "$(cat "$ca/pin")" "$build" || fail "the token's PIN stands in a file of the build"

# Signed from the file again, the same bytes as the first time.
package
[ "$(sums)" = "$first" ] || fail "the downloads signed again differ: $(sums)"
# An interrupt of the build stops the signing at once, while a time-stamping server holds its request.
(exec /usr/bin/python3 -c 'import socket, sys, time; s = socket.create_server(("127.0.0.1", 0))
print(s.getsockname()[1], flush=True); c = s.accept(); open(sys.argv[1], "w"); time.sleep(99)' "$ca/held" >"$ca/holding.port") &
servers+=($!)
until [ -s "$ca/holding.port" ]; do sleep 0.1; done
export SMORVALA_SIGNING_CERTIFICATE=$ca/signing.p12 SMORVALA_SIGNING_PASSWORD_FILE=$ca/password \
  SMORVALA_TIMESTAMP_URL=http://127.0.0.1:$(cat "$ca/holding.port")/
setsid /usr/bin/python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL)
os.execvp("bash", ["bash"] + sys.argv[1:])' cmake/sign.sh check "$build/SMorvala.exe" "$ca/interrupted.cmake" & signing=$!
for _ in $(seq 600); do [ ! -e "$ca/held" ] && kill -0 "$signing" 2>/dev/null && sleep 0.1 || break; done
[ -e "$ca/held" ] && kill -INT -- -"$signing" && sleep 1 && [ -z "$(ps -o stat= -s "$signing" | grep -v Z)" ] ||
  { pkill -KILL -s "$signing"; fail "the signing never reached the server, or an interrupt left it running"; }
echo "signed downloads: each program signed by the certificate, from a file and on a token, the same bytes twice; each bad input stopped with its line, no download left"
