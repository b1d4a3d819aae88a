#!/usr/bin/env bash
# fgrc against scripts no one should write: lengths past 16 bits, blocks
# nested without end, endless "|" chains, a resource defined twice, and an
# output that cannot be written. Each must end in an error that names the
# script and line, with exit status 1, and never in a crash.
#   fgrc_limits_test.sh FGRC
set -u
fgrc="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
passed=0
expect() {  # expect STATUS PATTERN DESCRIPTION SCRIPT
  local want="$1" pattern="$2" what="$3" script="$4"
  local out
  out="$("$fgrc" "$script" -o "${OUT:-$work/out.bin}" 2>&1)"
  local got=$?
  if [ "$got" != "$want" ] || ! grep -q -- "$pattern" <<<"$out"; then
    echo "FAILED: $what (status $got): ${out:0:300}"
    failures=$((failures + 1))
  else
    passed=$((passed + 1))
  fi
}
repeat() { head -c "$2" /dev/zero | tr '\0' "$1"; }

printf 'STRINGTABLE\nBEGIN\n  1 "%s"\nEND\n' "$(repeat x 70000)" >"$work/long_string.rc"
expect 1 "long_string.rc:3: error: a string of more than 65535 characters" \
  "a string longer than its 16-bit count" "$work/long_string.rc"

{
  printf '1 VERSIONINFO\nBEGIN\n  BLOCK "StringFileInfo"\n  BEGIN\n'
  printf '    VALUE "Comments", "%s"\n' "$(repeat c 40000)"
  printf '  END\nEND\n'
} >"$work/long_version.rc"
expect 1 "long_version.rc:5: error: a version block longer than 65535 bytes" \
  "a version block longer than its 16-bit length" "$work/long_version.rc"

{
  printf '1 VERSIONINFO\nBEGIN\n'
  for _ in $(seq 100000); do printf 'BLOCK "b" BEGIN '; done
  printf '\nEND\n'
} >"$work/deep.rc"
expect 1 "deep.rc:3: error: blocks nested more than 16 deep" "100,000 nested blocks" "$work/deep.rc"

{
  printf '1 VERSIONINFO\n FILEFLAGS 1'
  repeat '|' 200000 | sed 's/|/|1/g'
  printf '\nBEGIN\nEND\n'
} >"$work/chain.rc"
expect 0 "" "a chain of 200,000 | is read without recursion" "$work/chain.rc"

printf 'x\n' >"$work/data.bin"
printf '1 RCDATA "data.bin"\n\n1 RCDATA "data.bin"\n' >"$work/twice.rc"
expect 1 "twice.rc:3: error: a second resource with the same type, name and language (the first: .*twice.rc:1)" \
  "a resource defined twice" "$work/twice.rc"

printf '1 RCDATA "data.bin"\n' >"$work/fine.rc"
OUT=/dev/full expect 1 "/dev/full: error: cannot write the section" "a full disk" "$work/fine.rc"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
