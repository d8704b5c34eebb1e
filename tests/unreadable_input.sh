#!/usr/bin/env bash
# Usage: unreadable_input.sh PROGRAM [ARGUMENT...]
# Standard input that cannot be read is reported on one line with status 2, after the first
# prompt, whatever the reason.
set -u
failed=0
prompt=$'\n\t Enter number of elements : '

# expect STATUS STDOUT STDERR NAME REASON: what one run gave, against the reason expected.
expect() {
  local status=$1 out=$2 err=$3 name=$4 reason=$5
  if [ "$status" != 2 ] || [ "$out" != "$prompt" ] ||
    [ "$err" != "knapsack: cannot read the input: $reason" ]; then
    echo "$name: status $status, stdout '$out', stderr '$err'"
    failed=1
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$@" </ >"$work/out" 2>"$work/err"
expect $? "$(cat "$work/out")" "$(cat "$work/err")" "a directory" "Is a directory"
"$@" <&- >"$work/out" 2>"$work/err"
expect $? "$(cat "$work/out")" "$(cat "$work/err")" "a closed input" "Bad file descriptor"
exit $failed
