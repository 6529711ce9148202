#!/usr/bin/env bash
# The same sources build the same SMorvala.exe, 32- and 64-bit, the same players' zip, setup
# program, Debian package, site pages and web edition, byte for byte, whatever the folder, the
# time and the machine's settings, and the downloads hold those very programs: two copies of the
# working tree, in folders of different names and lengths, are built and packaged one after the
# other under different time zones, locales and umasks, and the SHA-256 sums of all eleven
# files compared.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Builds and packages a copy of the tracked files as they are now, and of new ones not yet
# added, in $scratch/$1, with the 64-bit build beside it; checks what its downloads and
# SHA256SUMS hold, and prints the sums of both programs, the three downloads and the two pages.
build_copy() {
  local folder=$scratch/$1
  mkdir -p "$folder"
  git ls-files -z --cached --others --exclude-standard |
    tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$folder"
  cd "$folder"
  cmake --preset windows-x64 >/dev/null
  cmake --build --preset windows-x64 -j "$(nproc)" --target SMorvala >/dev/null
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$(nproc)" --target package >/dev/null
  cmake --preset web >/dev/null
  cmake --build --preset web -j "$(nproc)" >/dev/null
  cd build/windows
  mkdir unpacked
  (cd unpacked && cmake -E tar xf ../SMorvala-*-win32.zip)
  cmp unpacked/SMorvala.exe SMorvala.exe >&2
  7z x -ounpacked-setup SMorvala-*-setup.exe SMorvala.exe >/dev/null
  cmp unpacked-setup/SMorvala.exe SMorvala.exe >&2
  dpkg-deb --extract smorvala_*_all.deb unpacked-deb
  cmp unpacked-deb/usr/share/games/smorvala/win32/SMorvala.exe SMorvala.exe >&2
  cmp unpacked-deb/usr/share/games/smorvala/win64/SMorvala.exe ../windows-x64/SMorvala.exe >&2
  sha256sum --check --quiet SHA256SUMS >&2
  (cd site && sha256sum --check --quiet --ignore-missing SHA256SUMS) >&2
  sha256sum SMorvala.exe ../windows-x64/SMorvala.exe SMorvala-*-win32.zip SMorvala-*-setup.exe \
    smorvala_*_all.deb site/index.html site/morvala.htm ../web/index.html \
    ../web/service-worker.js
}

first=$(TZ=UTC LC_ALL=C build_copy a)
second=$(umask 077 && TZ=Asia/Shanghai LC_ALL=C.UTF-8 build_copy second-copy-in-a-longer-folder-name)
echo "$first"
if [ "$first" != "$second" ]; then
  echo "reproducible build: the two folders built different files:" >&2
  echo "$second" >&2
  exit 1
fi
echo "reproducible build: the same programs, zip, setup program, package, pages and web edition from both folders; the programs in every download"
