#!/usr/bin/env bash
# Runs the program under address-space limits: 512 MiB, and every limit from 3 to 12 MiB. The
# program must be built without AddressSanitizer, which reserves far more address space at start.
set -u
program=$1
ulimit -v 524288
failed=0

# expect NAME INPUT STATUS STDOUT-TAIL STDERR
expect() {
  local out err status
  out=$("$program" <<<"$2" 2>/tmp/memory_limits_err.$$)
  status=$?
  err=$(cat /tmp/memory_limits_err.$$)
  rm -f /tmp/memory_limits_err.$$
  if [ "$status" != "$3" ] || [[ "$out" != *"$4" ]] || [ "$err" != "$5" ]; then
    echo "$1: status $status, stdout ending '${out: -60}', stderr '$err'"
    failed=1
  fi
}

elements() {  # N copies of the number V
  local k
  for ((k = 0; k < $1; k++)); do printf '%s ' "$2"; done
}

unreachable_capacity() {  # N CAPACITY: multiples of 3, one weight 1 more worth 1 more, at 3k + 2
  awk -v n="$1" -v c="$2" 'BEGIN {
    srand(7); printf "%d %d\n", n, c
    w[0] = 1000000000; for (k = 1; k < n; k++) w[k] = 3 * (1 + int(rand() * 6666666))
    printf "%d ", w[0] + 1; for (k = 1; k < n; k++) printf "%d ", w[k]; printf "\n"
    for (k = 0; k < n; k++) printf "%d ", w[k]; printf "\n" }'
}

last_prompt=$'\n\t Enter the weight of all elements : '
answer=$'\n\t Maximum total value in the knapsack : '

# No divisor helps and the capacity cannot be reached, so no selection meets the bound and the
# step lists grow until they give up; rows over 1400000001 columns do not fit either.
expect "no room for the step lists or the rows" "$(unreachable_capacity 400 1400000000)" 2 \
  "$last_prompt" "knapsack: not enough memory for this instance"
# A count alone must not claim memory for its elements before they arrive.
expect "a count without its elements" "2000000000 1" 1 $'\n\t Enter the value/cost of all elements : ' \
  "knapsack: the input ended before the value of element 1"
# Three large elements: the step lists answer at once, with no rows over the capacity.
expect "large numbers with few elements" \
  "3 2147483647 5 6 7 1000000000 1000000000 1000000000" 0 "${answer}13" ""
# Everything fits: the capacity alone must not claim memory.
expect "a huge capacity that every element fits in" "1 2000000000 5 1" 0 "${answer}5" ""
expect "a huge capacity and no elements" "0 2147483647" 0 "${answer}0" ""
# 200 x 1000001 cells, 800 MB as a whole table, beyond the budget and the limit: the methods
# beyond the table answer. 200 elements of weight 5000 and value 7: 200 of them fit in 1000000,
# so the best is 1400; with 300 of them, 200 still fit.
expect "whole table beyond the limit" "200 1000000 $(elements 200 7) $(elements 200 5000)" 0 \
  "${answer}1400" ""
expect "more elements than fit" "300 1000000 $(elements 300 7) $(elements 300 5000)" 0 \
  "${answer}1400" ""

# The least address space, in MiB, in which the program answers a small instance.
least=3
while ((least < 64)) && ! (ulimit -v $((least * 1024)); "$program" <<<"1 5 7 3" >/dev/null 2>&1); do
  least=$((least + 1))
done
# A whole table of 15.8 MB, within the budget, where the system refuses that much: the methods
# beyond the table answer instead. 97 of the 100 elements fit.
table=$( (ulimit -v $(((least + 8) * 1024)); "$program" <<<"100 39000 $(elements 100 7) $(elements 100 400)" 2>&1); echo " status $?")
[[ $table == *"${answer}679"$'\n status 0' ]] || { echo "a table refused within $((least + 8)) MiB: '${table: -80}'"; failed=1; }

# Every address-space limit from 3 to 12 MiB, on a valid instance and on a refused one: the run
# answers, or refuses with one line, or stops for lack of memory with one line; it never aborts.
# (Below some limit a program linked with shared libraries cannot even have them mapped, and the
# loader says so itself: status 127. Most limits must let the program start, or nothing was
# tested.)
started=0
for ((limit = 3072; limit <= 12288; limit += 64)); do
  for input in "3 50 60 100 120 10 20 30" "2 5 1 2x"; do
    err=$( (ulimit -v $limit; "$program" <<<"$input" 2>&1 >/dev/null); echo "status $?")
    status=${err##*status }
    err=${err%status *}
    lines=$(printf '%s' "$err" | wc -l)
    [ "$status" = 127 ] || started=$((started + 1))
    case $status in
      127) ;;
      0) [ -z "$err" ] || { echo "limit $limit KiB: answered with '$err'"; failed=1; } ;;
      1 | 2) [[ $lines = 1 && $err = knapsack:* ]] ||
        { echo "limit $limit KiB, '$input': status $status, '$err'"; failed=1; } ;;
      *) echo "limit $limit KiB, '$input': status $status, '$err'"; failed=1 ;;
    esac
  done
done
if ((started < 100)); then
  echo "the program started under only $started of the 290 limits"
  failed=1
fi
exit $failed
