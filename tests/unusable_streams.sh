#!/usr/bin/env bash
# Usage: unusable_streams.sh PROGRAM [ARGUMENT...]
# Standard input that cannot be read, and standard output that cannot be written, are each
# reported on one line with status 2 and the system's reason, whatever the reason, and however
# the input arrives: at once, or after the program has waited for it (and so flushed its prompts).
set -u
failed=0
prompt=$'\n\t Enter number of elements : '

# expect NAME STATUS STDOUT STDERR, against what the last run left in $work.
expect() {
  local status out err
  status=$2
  out=$(cat "$work/out" 2>/dev/null)
  err=$(cat "$work/err")
  if [ "$status" != 2 ] || [ "$out" != "$3" ] || [ "$err" != "$4" ]; then
    echo "$1: status $status, stdout '$out', stderr '$err'"
    failed=1
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$@" </ >"$work/out" 2>"$work/err"
expect "a directory" $? "$prompt" "knapsack: cannot read the input: Is a directory"
"$@" <&- >"$work/out" 2>"$work/err"
expect "a closed input" $? "$prompt" "knapsack: cannot read the input: Bad file descriptor"

# The reason is that of the write that failed first, not whatever the system said last.
rm -f "$work/out"
for ((run = 0; run < 10; run++)); do
  echo 1 5 7 3 | "$@" >&- 2>"$work/err"
  expect "a closed output" $? "" "knapsack: cannot write the result: Bad file descriptor"
  (sleep 0.02; echo 1 5 7 3) | "$@" >&- 2>"$work/err"
  expect "a closed output, input late" $? "" "knapsack: cannot write the result: Bad file descriptor"
  echo 1 5 7 3 | "$@" >/dev/full 2>"$work/err"
  expect "a full output" $? "" "knapsack: cannot write the result: No space left on device"
  (sleep 0.02; echo 1 5 7 3) | "$@" >/dev/full 2>"$work/err"
  expect "a full output, input late" $? "" "knapsack: cannot write the result: No space left on device"
done
exit $failed
