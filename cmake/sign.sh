#!/usr/bin/env bash
# Signs Windows programs with the publisher's code-signing certificate: SHA-256 Authenticode
# signatures made by Debian's osslsigncode, for the downloads of a build configured with
# SMORVALA_SIGNING_CERTIFICATE (cmake/players_download.cmake).
#
#   sign.sh check PROGRAM [STALE...]   the first step of such a build's package target: whether
#                                      the certificate opens, is for code signing and is valid
#                                      now, and whether the time-stamping server answers, by
#                                      signing a scratch copy of PROGRAM. A failure says which
#                                      in one line, and removes STALE, the downloads of an
#                                      earlier build, which would otherwise pass for this one's.
#   sign.sh FILE...                    signs each file in place
#
# It reads SMORVALA_SIGNING_CERTIFICATE (a PKCS#12 file), SMORVALA_SIGNING_PASSWORD_FILE (the
# file that holds its password: a password never stands on a command line), SMORVALA_TIMESTAMP_URL
# (an RFC 3161 time-stamping server, or nothing), SMORVALA_HOMEPAGE (the publisher's site, which
# each signature names) and SMORVALA_PUBLISHER from the environment; and, to sign,
# SOURCE_DATE_EPOCH: without a time-stamping server every signature takes the release's time, so
# that every build of one commit gives the same signed bytes.
set -euo pipefail

certificate=${SMORVALA_SIGNING_CERTIFICATE:?}
password_file=${SMORVALA_SIGNING_PASSWORD_FILE:-}
timestamp_url=${SMORVALA_TIMESTAMP_URL:-}
# A time-stamping server that takes the connection but never answers would hold the build for
# ever; a working one answers within seconds.
timestamp_timeout=60

# Signs $1 into $2, the time stamp asked of the server where one is named; osslsigncode's
# messages go to $3. A program killed half-way leaves only its scratch file behind.
sign_copy() {
  local when=(-time "${SOURCE_DATE_EPOCH:-0}")
  [ -z "$timestamp_url" ] || when=(-ts "$timestamp_url")
  rm -f "$2.partial"
  if timeout "$timestamp_timeout" osslsigncode sign -pkcs12 "$certificate" -readpass "$password_file" \
       -h sha256 -n SMorvala -i "${SMORVALA_HOMEPAGE:-}" "${when[@]}" -in "$1" -out "$2.partial" >"$3" 2>&1; then
    mv -f "$2.partial" "$2"
  else
    rm -f "$2.partial"
    return 1
  fi
}

if [ "${1:-}" != check ]; then
  : "${SOURCE_DATE_EPOCH:?the signing time}"
  for file in "$@"; do
    log=$(mktemp)
    if ! sign_copy "$file" "$file" "$log"; then
      echo "signing: osslsigncode could not sign $file: $(grep -v '^Failed$' "$log" | tail -n 1)" >&2
      rm -f "$log"
      exit 1
    fi
    rm -f "$log"
  done
  exit 0
fi

program=$2
stale=("${@:3}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "signing: $*" >&2
  rm -rf -- "${stale[@]}"
  exit 1
}

[ -e "$certificate" ] || fail "the certificate $certificate (SMORVALA_SIGNING_CERTIFICATE) does not exist"
[ -f "$certificate" ] && [ -r "$certificate" ] || fail "the certificate $certificate cannot be read"
[ -n "$password_file" ] || fail "no password file: set SMORVALA_SIGNING_PASSWORD_FILE to the file that holds the certificate's password"
[ -f "$password_file" ] && [ -r "$password_file" ] || fail "the password file $password_file cannot be read"
[ -s "$password_file" ] || fail "the password file $password_file is empty: for a certificate without a password, write an empty line"

# Certificates that older tools exported in the legacy formats open too.
if ! openssl pkcs12 -legacy -in "$certificate" -passin "file:$password_file" -nokeys -clcerts \
       -out "$scratch/certificate.pem" 2>"$scratch/openssl.log"; then
  if grep -q "invalid password" "$scratch/openssl.log"; then
    fail "the password in $password_file does not open the certificate $certificate"
  fi
  fail "the certificate $certificate cannot be read: it is not a PKCS#12 file (.p12 or .pfx)"
fi
x509() { openssl x509 -in "$scratch/certificate.pem" -noout "$@"; }
x509 >/dev/null 2>&1 || fail "the certificate file $certificate holds no certificate for its key"
signer=$(x509 -subject -nameopt utf8,sep_comma_plus_space)
signer=${signer#subject=}
x509 -ext extendedKeyUsage 2>/dev/null | grep -q "Code Signing" ||
  fail "the certificate $certificate ($signer) is not for code signing: its extended key usage lacks Code Signing"
valid_until=$(x509 -enddate)
valid_until=${valid_until#notAfter=}
x509 -checkend 0 >/dev/null || fail "the certificate $certificate ($signer) expired on $valid_until"
valid_from=$(x509 -startdate)
valid_from=${valid_from#notBefore=}
[ "$(date --utc --date="$valid_from" +%s)" -le "$(date +%s)" ] ||
  fail "the certificate $certificate ($signer) is not valid before $valid_from"

# The whole signing once, as the downloads will be signed; with the server's time stamp where
# one is named, which only an answering server gives.
if ! sign_copy "$program" "$scratch/program.exe" "$scratch/osslsigncode.log"; then
  if [ -n "$timestamp_url" ] && timestamp_url="" sign_copy "$program" "$scratch/program.exe" /dev/null; then
    fail "the time-stamping server $timestamp_url (SMORVALA_TIMESTAMP_URL) does not answer with a time stamp"
  fi
  fail "osslsigncode could not sign with the certificate $certificate: $(grep -v '^Failed$' "$scratch/osslsigncode.log" | tail -n 1)"
fi

case "$signer" in
  *"${SMORVALA_PUBLISHER:-}"*) ;;
  *) echo "signing: warning: the certificate names $signer, not the publisher ${SMORVALA_PUBLISHER:-}, whom the players' README and the site name as the signer" >&2 ;;
esac
# Another osslsigncode signs the same program in other bytes.
echo "signing as $signer, valid until $valid_until${timestamp_url:+, time-stamped by $timestamp_url}, with $(osslsigncode --version 2>&1 | head -n 1)"
