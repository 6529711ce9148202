#!/usr/bin/env bash
# What every launch and every fresh machine goes through: the probe of how this host runs 32-bit
# code, many times over while the host is busy, and tools/install-packages against an apt-get
# whose index update fails and which cannot install the 32-bit Wine, or a compiler.
set -u
cd "$(dirname "$0")/.."
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. linux/wine-route.sh
probe_100_times() {
  local decided="" i
  for i in $(seq 100); do
    smorvala_probe_i386 "$work" || return 1
    [ "$SMORVALA_I386" = "${decided:=$SMORVALA_I386}" ] || return 1
  done
}
load=()
for _ in 1 2; do (while :; do :; done) & load+=($!); done
check "the probe decides alike 100 times under load, under set -u" '(set -u; probe_100_times)'
# A probe the kernel refuses ends at once: the e_machine of another processor.
eval "host_$(declare -f smorvala_write_i386_probe)"
smorvala_write_i386_probe() { host_smorvala_write_i386_probe "$1" && printf '\2' | dd of="$1" bs=1 seek=18 conv=notrunc 2>/dev/null; }
check "a refused probe says none, 100 times under load" '(set -u; probe_100_times && [ "$SMORVALA_I386" = none ])'
kill "${load[@]}"

# A fake apt-get: its update fails as on a mirror in mid-sync, and it cannot install $UNINSTALLABLE.
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'FAKE'
#!/bin/sh
[ "$1" = update ] && exit 100
case " $* " in *" $UNINSTALLABLE "*) exit 100 ;; esac
case " $* " in *" -s "*) ;; *) echo "$*" >"$INSTALLED" ;; esac
FAKE
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho zh_CN.utf8\n' >"$work/bin/locale"
printf '#!/bin/sh\n"$@"\n' >"$work/bin/sudo"
printf '#!/bin/sh\n' >"$work/bin/sleep"
chmod +x "$work/bin/"*
install_with() {
  UNINSTALLABLE=$1 INSTALLED=$work/installed PATH=$work/bin:$PATH tools/install-packages wine >/dev/null 2>"$work/said"
}
install_with wine32:i386; status=$?
check "without wine32:i386 it goes on, saying so in one line each" '[ $status = 0 ] && [ "$(grep -c . "$work/said")" = 2 ] &&
  grep -q "^install-packages: wine32:i386 cannot be installed now, so the 64-bit build plays instead" "$work/said"'
check "and installs the rest" 'grep -q " wine64 " "$work/installed" && ! grep -q wine32 "$work/installed"'
install_with cmake; status=$?
check "without cmake it stops, naming it" '[ $status = 1 ] && grep -q "^install-packages: cmake cannot be installed" "$work/said"'
exit $failed
