#!/usr/bin/env bash
# Usage: check_session.sh CASE PROGRAM [ARGUMENT...]
# Runs the program (through an emulator, when PROGRAM names one) with CASE.in as standard input
# and compares standard output, standard error and the exit status byte for byte with CASE.out,
# CASE.err (empty when absent) and CASE.status (0 when absent).
set -u
case=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$@" <"$case.in" >"$work/out" 2>"$work/err"
status=$?
[ -f "$case.err" ] && cp "$case.err" "$work/expected_err" || : >"$work/expected_err"
expected_status=$(cat "$case.status" 2>/dev/null || echo 0)

failed=0
if ! cmp -s "$work/out" "$case.out"; then
  echo "standard output differs (expected, then actual):"
  od -c "$case.out"; od -c "$work/out"
  failed=1
fi
if ! cmp -s "$work/err" "$work/expected_err"; then
  echo "standard error differs (expected, then actual):"
  cat "$work/expected_err"; cat "$work/err"
  failed=1
fi
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"
  failed=1
fi
exit $failed
