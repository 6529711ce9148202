#!/usr/bin/env bash
# The i386 probe on a busy host, refused, and away from a folder it cannot use; install-packages on a mirror in mid-sync.
set -u
cd "$(dirname "$0")/.." && work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $1"; exit 1; }
. linux/wine-route.sh
probes() { for _ in $(seq 50); do smorvala_probe_i386 "$work"; [ "$SMORVALA_I386" = "$1" ] || return; done; }
(while kill -0 $$ 2>/dev/null; do :; done) & (while kill -0 $$ 2>/dev/null; do :; done) &
smorvala_write_i386_probe "$work/p" && "$work/p" </dev/null >/dev/null 2>&1 && runs=native || runs=none
smorvala_probe_i386 /proc && [ "${SMORVALA_I386/emulated/native}" = $runs ] && probes "$SMORVALA_I386" || fail "the host's probe"
eval "host_$(declare -f smorvala_write_i386_probe)"  # then one that no folder lets run, and another processor's:
smorvala_write_i386_probe() { host_smorvala_write_i386_probe "$1" && chmod 644 "$1"; }
smorvala_probe_i386 "$work" && [ "$SMORVALA_I386" = unknown ] || fail "a probe that no folder lets run"
smorvala_write_i386_probe() { host_smorvala_write_i386_probe "$1" && printf '\2' | dd of="$1" bs=1 seek=18 conv=notrunc 2>/dev/null; }
probes none || fail "a refused probe"
mkdir "$work/bin" && cd "$work/bin" && printf '#!/bin/sh\n%s\n' 'case " $* " in *" update "*) exit 100 ;; *" -s "*) ;; *" wine32:i386 "*) exit 100 ;; *) echo "$*" >installed ;; esac' >apt-get
printf '#!/bin/sh\n%s\n' 'exit 1' >dpkg-query && printf '#!/bin/sh\n%s\n' 'echo i386' >dpkg && printf '#!/bin/sh\n%s\n' 'echo zh_CN.utf8' >locale
printf '#!/bin/sh\n%s\n' '"$@"' >sudo && printf '#!/bin/sh\n' >sleep && chmod +x ./* && cd - >/dev/null || exit 1
[ "$(cd "$work/bin" && PATH=$PWD:$PATH "$OLDPWD/tools/install-packages" wine 2>&1 >/dev/null; echo "exit $?")" = "install-packages: apt-get update failed (above): going on with the package indexes at hand
install-packages: wine32:i386 cannot be installed now, so the 64-bit build plays instead, and the shipped 32-bit program and the setup program are not tried
exit 0" ] && grep -q " wine64 " "$work/bin/installed" || fail "install-packages without wine32:i386"
