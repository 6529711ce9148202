#!/usr/bin/env bash
# The replay command as a program: exit status, the split between standard output and
# standard error, and the golden sessions replayed through the binary itself.
set -u
replay=$1
replays=$2
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi; }

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
out=$(printf 'start\nbogus\nstate\n' | "$replay" 2>"$errors"); status=$?
err=$(cat "$errors")
check "a malformed line exits with status 2" '[ "$status" -eq 2 ]'
check "the error names the line on standard error" '[[ "$err" == "line 2: "* ]]'
check "what was traced before stays on standard output" '[ "$(printf "%s\n" "$out" | head -1)" = "> start" ] && [ "$(printf "%s\n" "$out" | wc -l)" -eq 5 ]'

printf 'answer yes\nexit\nbogus\n' | "$replay" >/dev/null 2>&1; status=$?
check "nothing after a quit is read" '[ "$status" -eq 0 ]'

out=$("$replay" --help 2>"$errors"); status=$?
check "--help prints the usage and exits 0" '[ "$status" -eq 0 ] && [[ "$out" == Usage:* ]] && [ ! -s "$errors" ]'
for argument in --verbose stray.script; do
  out=$("$replay" "$argument" </dev/null 2>"$errors"); status=$?
  check "'$argument' is refused with the usage on standard error" '[ "$status" -eq 2 ] && [ -z "$out" ] && grep -q "^Usage:" "$errors"'
done

for script in "$replays"/*.script; do
  check "$(basename "$script") replays to the byte" 'cmp -s <("$replay" < "$script") "${script%.script}.trace"'
done
exit $failed
