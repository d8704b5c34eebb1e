#!/usr/bin/env bash
# Times the real binary end to end, input through a pipe, on generated instances of the
# benchmark's shapes. Usage: bench/time_binary.sh [PROGRAM] (default build/bench/knapsack).
# Each figure is the best of three runs; the answer is checked to be the same each time.
set -euo pipefail
program=${1:-build/bench/knapsack}
only=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# instance N CAPACITY MAX_VALUE MAX_WEIGHT: values and weights uniform, fixed seed.
instance() {
  awk -v n="$1" -v c="$2" -v mv="$3" -v mw="$4" 'BEGIN {
    srand(12345); printf "%d\n%d\n", n, c
    for (k = 0; k < n; k++) printf "%d ", 1 + int(rand() * mv); printf "\n"
    for (k = 0; k < n; k++) printf "%d ", 1 + int(rand() * mw); printf "\n" }'
}

# family KIND N RANGE: weights uniform in [1, RANGE], capacity half their total, values uncorrelated
# (uniform in [1, RANGE]), weakly correlated (within RANGE/10 of the weight, at least 1), strongly
# correlated (the weight plus RANGE/10) or subset sum (the weight). Fixed seed.
family() {
  awk -v kind="$1" -v n="$2" -v r="$3" 'BEGIN {
    srand(12345)
    for (k = 0; k < n; k++) {
      w[k] = 1 + int(rand() * r); total += w[k]
      if (kind == "uncorrelated") v[k] = 1 + int(rand() * r)
      else if (kind == "weakly") { v[k] = w[k] - int(r / 10) + int(rand() * (2 * int(r / 10) + 1)); if (v[k] < 1) v[k] = 1 }
      else if (kind == "strongly") v[k] = w[k] + int(r / 10)
      else v[k] = w[k]
    }
    printf "%d\n%d\n", n, int(total / 2)
    for (k = 0; k < n; k++) printf "%d ", v[k]; printf "\n"
    for (k = 0; k < n; k++) printf "%d ", w[k]; printf "\n" }'
}

# measure NAME FILE UNITS UNIT-NAME: best wall time of three piped runs, and UNITS per second.
measure() {
  local best="" answer="" start end seconds result
  for _ in 1 2 3; do
    start=$(date +%s%N)
    result=$(cat "$2" | "$program" | tail -c 24)
    end=$(date +%s%N)
    seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')
    [ -z "$answer" ] && answer=$result
    [ "$answer" = "$result" ] || { echo "$1: answers differ" >&2; exit 1; }
    if [ -z "$best" ] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$seconds
    fi
  done
  awk -v name="$1" -v s="$best" -v u="$3" -v unit="$4" -v a="${answer##* }" \
    'BEGIN { printf "%-34s %8.3f s %10.3g %s/s   answer %s\n", name, s, u / s, unit, a }'
}

for kind in uncorrelated weakly subset_sum; do
  for shape in "1000 1000000" "10000 100000"; do
    set -- $shape
    family "$kind" "$1" "$2" >"$work/family"
    measure "$kind $1, range $2" "$work/family" 1 instances
  done
done
for shape in "1000 100000" "200 1000000"; do
  set -- $shape
  family strongly "$1" "$2" >"$work/family"
  measure "strongly $1, range $2" "$work/family" 1 instances
done
printf '3\n2147483647\n5 6 7\n1000000000 1000000000 1000000000\n' >"$work/three"
measure "3 elements, capacity 2147483647" "$work/three" 1 instances
[ "$only" = families ] && exit 0

instance 1000000 1 1000000 1000000 >"$work/reader"
measure "read 1000000 x 2 numbers" "$work/reader" 2000002 numbers
for shape in "100 10000000" "1000 1000000" "10000 100000" "100000 10000" "1000000 100"; do
  set -- $shape
  instance "$1" "$2" 1000 $(($2 / 10)) >"$work/shape"
  measure "$1 elements x capacity $2" "$work/shape" $(($1 * ($2 + 1))) cells
done
instance 1000 500000 1000 2000 >"$work/half"
measure "1000 x 500000, weights up to 2000" "$work/half" $((1000 * 500001)) cells
