#!/usr/bin/env bash
# Signs Windows programs with the publisher's code-signing key: SHA-256 Authenticode signatures
# made by Debian's osslsigncode, each one verified before the file takes its place, for the
# downloads of a build configured with SMORVALA_SIGNING_CERTIFICATE (cmake/players_download.cmake).
#
#   sign.sh check PROGRAM SIGNER [STALE...]
#       the first step of such a build's package target: whether the key signs, whether its
#       certificate is for code signing, valid now and chained to a root, and whether a
#       time-stamping server answers, by signing a scratch copy of PROGRAM. It writes SIGNER, a
#       CMake file with the signer as Windows names it, the chain's root and whether the publisher
#       declares it one that Windows trusts, and the day unstamped signatures stop verifying
#       (cmake/signature_words.cmake).
#       A failure says which in one line, and removes STALE, the downloads, so that none is left
#       of a build that could not sign.
#   sign.sh FILE [NAME]
#       signs FILE in place; a failure names it NAME (default FILE).
#
# It reads from the environment:
#   SMORVALA_SIGNING_CERTIFICATE      a PKCS#12 file with the key; or, with a key on a token, the
#                                     certificate and its chain in one PEM file, the signer's first
#   SMORVALA_SIGNING_PKCS11_MODULE    the token's PKCS#11 library, where the key is on a token
#   SMORVALA_SIGNING_KEY              then the key's pkcs11: address (RFC 7512)
#   SMORVALA_SIGNING_PASSWORD_FILE    the file that holds the PKCS#12 file's password or the
#                                     token's PIN: neither ever stands on a command line
#   SMORVALA_TIMESTAMP_URL            RFC 3161 time-stamping servers, separated by spaces, tried
#                                     in turn; or nothing
#   SMORVALA_SIGNING_TRUSTED_ROOT     the name of the chain's root where the publisher knows that
#                                     Windows trusts it for code signing; or nothing
#   SMORVALA_HOMEPAGE, SMORVALA_PUBLISHER   the publisher's site, which each signature names, and name
#   SOURCE_DATE_EPOCH                 without a time stamp, every signature takes the release's
#                                     time, or the certificate's start where that is later, so that
#                                     every build of one commit gives the same signed bytes
set -euo pipefail

certificate=${SMORVALA_SIGNING_CERTIFICATE:?}
module=${SMORVALA_SIGNING_PKCS11_MODULE:-}
key=${SMORVALA_SIGNING_KEY:-}
password_file=${SMORVALA_SIGNING_PASSWORD_FILE:-}
read -r -a servers <<<"${SMORVALA_TIMESTAMP_URL:-}"
trusted_root=${SMORVALA_SIGNING_TRUSTED_ROOT:-}
# A chain, and a time stamp's, may end in a root of Debian's or in one that the certificate file
# holds. Which of them Windows trusts for code signing only the publisher knows.
system_roots=/etc/ssl/certs/ca-certificates.crt
# A time-stamping server that takes the connection but never answers would hold the build for
# ever; a working one answers within seconds. One that fails a request often answers the next.
timestamp_timeout=60
retry_pauses=(1 2)
# osslsigncode 2.9 is told not to check revocation, for which it would fetch the lists that each
# certificate names; 2.5, Debian 12's own, does not know that option and stops at it.
verify_options=()
[[ $(osslsigncode verify --help 2>&1 || true) != *-ignore-crl* ]] || verify_options=(-ignore-crl)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# An interrupt of the build stops the signing at once (osslsigncode runs in the foreground for
# that), lest it go on, and sign or remove files in the build that follows.
trap 'exit 130' INT
trap 'exit 143' TERM
stale=()

fail() {
  echo "signing: $*" >&2
  rm -rf -- "${stale[@]}"
  exit 1
}

# The gist of the messages of osslsigncode or openssl in $1: OpenSSL's first reason, else the first
# line that tells of a failure, or of a command refused, as osslsigncode 2.5 gives it, else the last line.
gist() {
  local reason
  reason=$(sed -n 's/^[0-9A-F]*:error:[0-9A-F]*:[^:]*:[^:]*:\([^:]*\):[^:]*:[0-9]*:\(.*\)$/\1 \2/p' "$1" | head -n 1)
  [ -n "$reason" ] || reason=$(grep -v '^Failed$' "$1" | grep -i -m 1 'fail\|error\|^usage:' || true)
  echo "${reason:-$(grep -v '^Failed$' "$1" | tail -n 1)}"
}

x509() { openssl x509 -noout -in "$@"; }
# Writes each certificate of the PEM file $1 to a file of its own, named $2 and its number.
split_pem() { awk -v to="$2" '/-BEGIN CERTIFICATE-/ { n++ } n { print > (to n ".pem") }' "$1"; }
# The signer as Windows names it: the subject's common name, else its unit or organisation.
display_name() {
  local names
  names=$(x509 "$1" -subject -nameopt multiline,utf8,-esc_msb)
  for field in commonName organizationalUnitName organizationName; do
    sed -n "s/^ *$field *= //p" <<<"$names" | head -n 1 | grep . && return
  done
  true
}

# Checks the inputs and reads the certificates: $scratch/leaf.pem, the signer's; the file's
# certificates one a file; the roots that the signatures are verified against; key_options for
# osslsigncode.
read_certificates() {
  [ -e "$certificate" ] || fail "the certificate $certificate (SMORVALA_SIGNING_CERTIFICATE) does not exist"
  [ -f "$certificate" ] && [ -r "$certificate" ] || fail "the certificate $certificate cannot be read"
  local secret="certificate's password"
  [ -z "$module$key" ] || secret="token's PIN"
  [ -n "$password_file" ] || fail "no password file: set SMORVALA_SIGNING_PASSWORD_FILE to the file that holds the $secret"
  [ -f "$password_file" ] && [ -r "$password_file" ] || fail "the password file $password_file cannot be read"
  [ -s "$password_file" ] || fail "the password file $password_file is empty: for a certificate without a password, write an empty line"

  if [ -n "$module$key" ]; then
    [ -n "$module" ] && [ -n "$key" ] ||
      fail "a key on a token needs both SMORVALA_SIGNING_PKCS11_MODULE, its library, and SMORVALA_SIGNING_KEY, its pkcs11: address"
    [ -f "$module" ] && [ -r "$module" ] || fail "the token's library $module (SMORVALA_SIGNING_PKCS11_MODULE) cannot be read"
    [[ $key == pkcs11:* ]] || fail "the key $key (SMORVALA_SIGNING_KEY) is not a pkcs11: address"
    [[ $key != *pin-value=* ]] || fail "the key's address holds a PIN, which would stand in the build's logs: put it in SMORVALA_SIGNING_PASSWORD_FILE"
    x509 "$certificate" 2>/dev/null ||
      fail "the certificate $certificate holds no PEM certificate: with a key on a token, it holds the certificate and its chain"
    cp "$certificate" "$scratch/chain.pem"
    key_options=(-pkcs11module "$module" -key "$key" -certs "$certificate")
  else
    # Certificates that older tools exported in the legacy formats open too.
    if ! openssl pkcs12 -legacy -in "$certificate" -passin "file:$password_file" -nokeys \
           -out "$scratch/chain.pem" 2>"$scratch/openssl.log"; then
      grep -q "invalid password" "$scratch/openssl.log" &&
        fail "the password in $password_file does not open the certificate $certificate"
      fail "the certificate $certificate cannot be read: it is not a PKCS#12 file (.p12 or .pfx)"
    fi
    key_options=(-pkcs12 "$certificate")
  fi
  key_options+=(-readpass "$password_file")
  # The signer's certificate comes first in a PEM file, and alone under -clcerts in a PKCS#12 one.
  if [ -n "$module" ]; then openssl x509 -in "$certificate" -out "$scratch/leaf.pem"
  else openssl pkcs12 -legacy -in "$certificate" -passin "file:$password_file" -nokeys -clcerts -out "$scratch/leaf.pem"
  fi
  local facts line valid_from valid_from_seconds valid_until_seconds now
  facts=$(x509 "$scratch/leaf.pem" -subject -nameopt utf8,sep_comma_plus_space -startdate -enddate \
            -ext extendedKeyUsage,basicConstraints 2>/dev/null) ||
    fail "the certificate file $certificate holds no certificate for its key"
  while IFS= read -r line; do
    case $line in
      subject=*) signer=${line#subject=} ;;
      notBefore=*) valid_from=${line#notBefore=} ;;
      notAfter=*) valid_until=${line#notAfter=} ;;
    esac
  done <<<"$facts"
  [ -z "$module" ] || [[ $facts != *CA:TRUE* ]] ||
    fail "the first certificate in $certificate ($signer) is an authority's: the signer's certificate must come first"
  [[ $facts == *"Code Signing"* ]] ||
    fail "the certificate $certificate ($signer) is not for code signing: its extended key usage lacks Code Signing"
  { read -r valid_from_seconds; read -r valid_until_seconds; read -r now; } < <(printf '%s\n' "$valid_from" "$valid_until" now | date --utc -f - +%s)
  [ "$valid_until_seconds" -gt "$now" ] || fail "the certificate $certificate ($signer) expired on $valid_until"
  [ "$valid_from_seconds" -le "$now" ] || fail "the certificate $certificate ($signer) is not valid before $valid_from"
  leaf_hash=sha256:$(openssl x509 -in "$scratch/leaf.pem" -outform DER | sha256sum | cut -d" " -f1)

  # The roots: Debian's, and the file's self-signed certificates, a private authority's. The
  # signatures and their time stamps verify only against them.
  split_pem "$scratch/chain.pem" "$scratch/certificate-"
  cp "$system_roots" "$scratch/roots.pem"
  local part subject issuer start end starts=() ends=()
  declare -A named=()
  for part in "$scratch"/certificate-*.pem; do
    { read -r subject; read -r issuer; } < <(x509 "$part" -subject -issuer | cut -d= -f2-)
    named[$subject]=$part
    [ "$subject" != "$issuer" ] || cat "$part" >>"$scratch/roots.pem"
  done
  if ! openssl verify -CAfile "$scratch/roots.pem" -untrusted "$scratch/chain.pem" "$scratch/leaf.pem" >"$scratch/chain.log" 2>&1; then
    subject=$(grep -B 1 '^error 20 at' "$scratch/chain.log" | head -n 1)
    part=${named[${subject:-?}]:-}
    [ -z "$part" ] ||
      fail "the chain in $certificate does not reach a root: it lacks the certificate of" \
           "$(x509 "$part" -issuer -nameopt utf8,sep_comma_plus_space | cut -d= -f2-), which issued" \
           "$(x509 "$part" -subject -nameopt utf8,sep_comma_plus_space | cut -d= -f2-)"
    fail "the chain in $certificate does not verify: $(grep -m 1 '^error' "$scratch/chain.log")"
  fi
  # The chain as openssl built it: only its certificates date the signatures, whatever else the
  # file holds. Unstamped, they verify until the first of them expires, and are never dated before
  # the last one starts.
  openssl pkcs12 -export -nokeys -chain -CAfile "$scratch/roots.pem" -untrusted "$scratch/chain.pem" \
    -in "$scratch/leaf.pem" -passout pass: 2>"$scratch/chain.log" |
    openssl pkcs12 -nokeys -passin pass: -out "$scratch/verified.pem" 2>>"$scratch/chain.log" ||
    fail "the chain in $certificate does not verify: $(gist "$scratch/chain.log")"
  split_pem "$scratch/verified.pem" "$scratch/verified-"
  root_name=""
  for part in "$scratch"/verified-*.pem; do
    { read -r subject; read -r issuer; read -r start; read -r end; } < <(x509 "$part" -subject -issuer -startdate -enddate | cut -d= -f2-)
    starts+=("$start")
    ends+=("$end")
    [ "$subject" != "$issuer" ] || root_name=$(display_name "$part")
  done
  [ -z "$trusted_root" ] || [ "$root_name" = "$trusted_root" ] ||
    fail "the chain in $certificate ends in $root_name, not in $trusted_root (SMORVALA_SIGNING_TRUSTED_ROOT)"
  chain_starts=$(printf '%s\n' "${starts[@]}" | date --utc -f - +%s | sort -n | tail -n 1)
  chain_ends=$(printf '%s\n' "${ends[@]}" | date --utc -f - +%s | sort -n | head -n 1)
  signing_time=${SOURCE_DATE_EPOCH:-0}
  [ "$signing_time" -ge "$chain_starts" ] || signing_time=$chain_starts
}

# Whether the signature on $1 verifies, by the signer's certificate and to a root, and its time
# stamp too where $2 is "stamped"; the reasons are in $scratch/verify.log.
verifies() {
  osslsigncode verify -CAfile "$scratch/roots.pem" -TSA-CAfile "$scratch/roots.pem" -require-leaf-hash "$leaf_hash" \
    "${verify_options[@]}" -in "$1" >"$scratch/verify.log" 2>&1 && grep -qx "Signature verification: ok" "$scratch/verify.log" &&
    { [ "${2:-}" != stamped ] || grep -qx "Timestamp Server Signature verification: ok" "$scratch/verify.log"; }
}

# Signs $1 into $2, verified, and time-stamped where servers are named by the first whose stamp
# verifies; a failure names the file $3. Only a whole, verified file reaches $2.
sign_file() {
  local log=$scratch/osslsigncode.log when=(-time "$signing_time") url pause reasons
  [ ${#servers[@]} -eq 0 ] || when=()
  rm -f "$scratch/signed.exe" "$scratch/stamped.exe"
  timeout --foreground "$timestamp_timeout" osslsigncode sign "${key_options[@]}" -h sha256 -n SMorvala -i "${SMORVALA_HOMEPAGE:-}" \
    "${when[@]}" -in "$1" -out "$scratch/signed.exe" >"$log" 2>&1 ||
    fail "$3: osslsigncode could not sign it with ${key:-$certificate}: $(gist "$log")"
  verifies "$scratch/signed.exe" || fail "$3: its signature does not verify: $(gist "$scratch/verify.log")"
  if [ ${#servers[@]} -gt 0 ]; then
    for pause in "${retry_pauses[@]}" last; do
      reasons=""
      for url in "${servers[@]}"; do
        if ! timeout --foreground "$timestamp_timeout" osslsigncode add -ts "$url" -h sha256 -in "$scratch/signed.exe" \
               -out "$scratch/stamped.exe" >"$log" 2>&1; then
          reasons+="${reasons:+; }$url: $(gist "$log")"
        elif ! verifies "$scratch/stamped.exe" stamped; then
          reasons+="${reasons:+; }$url: its stamp does not verify: $(gist "$scratch/verify.log")"
        else
          break 2
        fi
        rm -f "$scratch/stamped.exe"
      done
      [ "$pause" = last ] || sleep "$pause"
    done
    [ -f "$scratch/stamped.exe" ] ||
      fail "$3: no time stamp, after $((${#retry_pauses[@]} + 1)) tries of each time-stamping server: $reasons"
    mv "$scratch/stamped.exe" "$scratch/signed.exe"
  fi
  cp "$scratch/signed.exe" "$2.partial"
  mv -f "$2.partial" "$2"
}

if [ "${1:-}" != check ]; then
  : "${SOURCE_DATE_EPOCH:?the signing time}"
  read_certificates
  sign_file "$1" "$1" "${2:-$1}"
  exit 0
fi

program=$2
signer_values=$3
stale=("${@:4}")
read_certificates
sign_file "$program" "$scratch/program.exe" "$(basename "$program")"

shown_as=$(display_name "$scratch/leaf.pem")
until=""
[ ${#servers[@]} -gt 0 ] || until=$(date --utc --date="@$chain_ends" +%F)
printf 'set(SIGNER [==[%s]==])\nset(SIGNER_ROOT [==[%s]==])\nset(SIGNER_ROOT_TRUSTED [==[%s]==])\nset(SIGNATURES_UNTIL [==[%s]==])\n' \
  "$shown_as" "$root_name" "${trusted_root:+ON}" "$until" >"$scratch/signer.cmake"
# Rewritten only when it changes, as what it feeds is made again then.
cmp -s "$scratch/signer.cmake" "$signer_values" || cp "$scratch/signer.cmake" "$signer_values"

[ "$shown_as" = "${SMORVALA_PUBLISHER:-}" ] ||
  echo "signing: warning: Windows names the signer $shown_as (the certificate's subject), not the publisher ${SMORVALA_PUBLISHER:-} (SMORVALA_PUBLISHER); the players' README and the site name $shown_as" >&2
[ -z "$until" ] ||
  echo "signing: warning: without a time stamp (SMORVALA_TIMESTAMP_URL), the signatures stop verifying on $until, when the chain's first certificate expires" >&2
[ -n "$trusted_root" ] ||
  echo "signing: warning: the players' README and the site promise nothing of $root_name, the chain's root; where Windows trusts it for code signing, set SMORVALA_SIGNING_TRUSTED_ROOT to that name" >&2
# Another osslsigncode signs the same program in other bytes.
echo "signing as $signer${SMORVALA_SIGNING_KEY:+ with the key $key}, valid until $valid_until${servers[*]:+, time-stamped by ${servers[*]}}, with $(osslsigncode --version 2>&1 | head -n 1 | cut -d, -f1)"
