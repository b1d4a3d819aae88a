#!/usr/bin/env bash
# The scratch runner: a test gets its own home and store, its status comes
# through, and a test that writes into the user's home or default store
# fails. The "user's home" here is a folder made for this test.
set -u
runner="$1"
fake_home="$(mktemp -d)"
trap 'rm -rf "$fake_home"' EXIT
export HOME="$fake_home"
unset XDG_DATA_HOME
failures=0
expect() {  # expect STATUS DESCRIPTION COMMAND...
  local want="$1" what="$2"
  shift 2
  "$runner" "$@" 2>/dev/null
  local got=$?
  if { [ "$want" = 0 ] && [ "$got" != 0 ]; } || { [ "$want" != 0 ] && [ "$got" = 0 ]; }; then
    echo "FAILED: $what (status $got)"
    failures=$((failures + 1))
  fi
}

expect 0 "a quiet test passes" true
expect 1 "a failing test fails" false
expect 0 "the test sees a scratch home, store and runtime folder" sh -c \
  "[ \"\$HOME\" != '$fake_home' ] && [ -d \"\$HOME\" ] && [ -d \"\$XDG_RUNTIME_DIR\" ] &&
   case \"\$FARROWGATE_REGISTRY\" in '$fake_home'*) exit 1;; *) exit 0;; esac"
expect 1 "a file written into the user's home fails the test" sh -c "echo x > '$fake_home/.profile'"
mkdir -p "$fake_home/.local/share/farrowgate" "$fake_home/.cache"
expect 1 "creating the default store fails the test" sh -c "touch '$fake_home/.local/share/farrowgate/registry.db'"
expect 1 "changing the default store fails the test" sh -c \
  "sleep 0.01; echo more >> '$fake_home/.local/share/farrowgate/registry.db'"
expect 1 "a toolkit cache in the user's home fails the test" sh -c "mkdir '$fake_home/.cache/fontconfig'"
expect 0 "the scratch folder is the test's to use" sh -c "touch \"\$HOME/x\" \"\$XDG_DATA_HOME/y\""

echo "$((8 - failures)) passed, $failures failed"
[ "$failures" = 0 ]
