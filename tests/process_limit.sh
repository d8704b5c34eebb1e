#!/usr/bin/env bash
# Usage: process_limit.sh PROGRAM
# With one process allowed to its user, the program cannot start a single thread: it must still
# answer, on the thread it has, with status 0. Root is not held to the limit, so a run as root
# drops to the user nobody, on a copy of PROGRAM that nobody may run wherever the build is.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/knapsack"
chmod 755 "$work" "$work/knapsack"
program=$work/knapsack
run=(prlimit --nproc=1 "$program")
if [ "$(id -u)" = 0 ]; then
  run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}")
fi
failed=0

# expect NAME INPUT ANSWER
expect() {
  local out status
  out=$("${run[@]}" <<<"$2" 2>&1)
  status=$?
  if [ "$status" != 0 ] || [[ "$out" != *": $3" ]]; then
    echo "$1: status $status, output ending '${out: -80}'"
    failed=1
  fi
}

# N multiples of 3 below TOP (spread, not random), one weight W of 1 more worth 1 more, and a
# capacity 2 more than a multiple of 3: no selection reaches the capacity, and the lists cannot
# prove it before they give up. (The answers below come from a subset-sum bitset in Python.)
instance() {  # N TOP W CAPACITY
  local k weights=""
  for ((k = 1; k <= $1; k++)); do weights+="$((3 * (k * 7919 % ($2 / 3) + 1))) "; done
  echo "$(($1 + 1)) $4"
  echo "$weights$(($3 + 1))"
  echo "$weights$3"
}

# Multiple strongly correlated: N weights from a fixed sequence in [1, R], each worth its weight
# plus 3R/10 where 6 divides it, else plus 2R/10, at half their total weight.
multiple_strongly() {  # N R
  local k x=12345 w values="" weights="" total=0
  for ((k = 0; k < $1; k++)); do
    x=$(((x * 1103515245 + 12345) % 2147483648))
    w=$((x / 65536 % $2 + 1))
    weights+="$w "
    values+="$((w % 6 == 0 ? w + 3 * $2 / 10 : w + 2 * $2 / 10)) "
    total=$((total + w))
  done
  echo "$1 $((total / 2))"
  echo "$values"
  echo "$weights"
}

# Rows of a few milliseconds, after the lists, on two threads where they can be had.
expect "rows after the lists" "$(instance 100 20000 30001 479147)" 479145
# Rows of seconds, which start beside the lists on a thread of their own where one can be had:
# the answer must be the one the program gives where it can.
race=$(multiple_strongly 1500 100000)
unlimited=$("$program" <<<"$race" | tail -n 1)
expect "rows beside the lists" "$race" "${unlimited##*: }"
exit $failed
