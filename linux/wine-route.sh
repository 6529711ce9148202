# How this host runs the Windows program: sourced by tools/play, by the end-to-end desktop and by
# the launcher of the Linux package, so that all of them decide alike.
#
#   . linux/wine-route.sh
#   smorvala_wine_route WORK_DIR     (a folder of the caller's where a probe may be written)
#
# It sets SMORVALA_BITS to 32 or 64, the build of the program to play: the 32-bit program, the
# one players download, under the 32-bit Wine where this host runs 32-bit x86 code natively;
# else the 64-bit build under the 64-bit Wine. It exports WINELOADER, WINESERVER and WINEARCH
# for that Wine, and sets SMORVALA_WHY to the reason in a few words and SMORVALA_I386 to how
# this host runs a 32-bit x86 program: native, emulated (by a binfmt_misc handler, whose
# interpreter is then in SMORVALA_I386_INTERPRETER), none, or unknown where no folder lets its
# probe run. It returns 1, with a sentence in SMORVALA_WHY, when neither Wine is installed.

SMORVALA_WINE32=/usr/lib/wine/wine
SMORVALA_WINE64=/usr/lib/wine/wine64

# The smallest i386 program that tells how it runs: an ELF file that writes a newline, then
# waits for its standard input to close. While it waits, /proc/PID/exe names the file itself
# if the kernel runs it, and the interpreter if a binfmt_misc handler (an emulator) does.
#   header: ELF, 32-bit, little-endian; executable, i386; entry 0x08048054; one program header
#   program header: the whole file, 123 bytes, loaded at 0x08048000, readable and executable
#   code: push $10; write(1, %esp, 1); read(0, %esp, 1); exit(0)
smorvala_write_i386_probe() {
  local hex="
    7f454c46 01010100 00000000 00000000 02000300 01000000 54800408 34000000
    00000000 00000000 34002000 01000000 00000000
    01000000 00000000 00800408 00800408 7b000000 7b000000 05000000 00100000
    6a0a b804000000 bb01000000 89e1 ba01000000 cd80 b803000000 31db cd80 b801000000 31db cd80"
  hex=${hex//[[:space:]]/}
  printf "$(printf '%s' "$hex" | sed 's/../\\x&/g')" >"$1" && chmod 755 "$1"
}

# Sets SMORVALA_I386 (native, emulated, none, or unknown where no folder lets a program run) and
# SMORVALA_I386_INTERPRETER.
smorvala_probe_i386() {
  local place folder="" probe line="" pid input output
  SMORVALA_I386=unknown
  SMORVALA_I386_INTERPRETER=""
  # A folder of this run's own: two launches at once must not share the probe or its pipes.
  # Those of interrupted runs, a minute old, go first. A caller's folder that runs no program
  # (mounted noexec) would pass for a host without 32-bit code: the temporary folders are next.
  for place in "$1" "${XDG_RUNTIME_DIR:-}" "${TMPDIR:-/tmp}"; do
    [ -n "$place" ] || continue
    find "$place" -maxdepth 1 -name 'i386-probe.*' -mmin +1 -exec rm -rf {} + 2>/dev/null || true
    folder=$(mktemp -d "$place/i386-probe.XXXXXX" 2>/dev/null) || continue
    probe=$folder/probe
    smorvala_write_i386_probe "$probe" 2>/dev/null && [ -x "$probe" ] && mkfifo "$folder/in" "$folder/out" 2>/dev/null && break
    rm -rf "$folder"
    folder=""
  done
  if [ -n "$folder" ]; then
    SMORVALA_I386=none
    # The probe's input is opened read-write here, so that the probe's own open does not wait;
    # its output is read here only, so that a probe the kernel refuses ("Exec format error")
    # ends the read at once. $! stays set whenever the probe ends, unlike a coprocess's names.
    exec {input}<>"$folder/in"
    "$probe" <"$folder/in" >"$folder/out" 2>/dev/null {input}>&- &
    pid=$!
    exec {output}<"$folder/out"
    if read -r -t 60 -u "$output" line; then
      local exe
      exe=$(readlink "/proc/$pid/exe")
      if [ "$exe" = "$(readlink -f "$probe")" ]; then
        SMORVALA_I386=native
      else
        SMORVALA_I386=emulated
        SMORVALA_I386_INTERPRETER=$exe
      fi
    fi
    # Closing its input ends the probe; the kill, one that an emulator never got going.
    exec {input}>&- {output}<&-
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$folder"
}

# The loader, the server and the prefix's kind of the 64-bit Wine.
smorvala_use_wine64() {
  export WINELOADER=$SMORVALA_WINE64 WINESERVER=/usr/lib/wine/wineserver64 WINEARCH=win64
}

smorvala_wine_route() {
  smorvala_probe_i386 "$1"
  if [ "$SMORVALA_I386" = native ] && [ -x "$SMORVALA_WINE32" ]; then
    SMORVALA_BITS=32
    SMORVALA_WHY="this host runs 32-bit code"
    export WINELOADER=$SMORVALA_WINE32 WINESERVER=/usr/lib/wine/wineserver32 WINEARCH=win32
  elif [ -x "$SMORVALA_WINE64" ]; then
    SMORVALA_BITS=64
    case "$SMORVALA_I386" in
      native) SMORVALA_WHY="the 32-bit Wine (wine32) is not installed" ;;
      emulated) SMORVALA_WHY="this host runs 32-bit code only under emulation ($SMORVALA_I386_INTERPRETER)" ;;
      unknown) SMORVALA_WHY="no folder here lets the probe run, so whether this host runs 32-bit code is not known" ;;
      *) SMORVALA_WHY="this host runs no 32-bit code" ;;
    esac
    smorvala_use_wine64
  else
    SMORVALA_WHY="Wine is not installed: install the package wine64 (and wine32 where this host runs 32-bit programs)."
    return 1
  fi
}
