#!/usr/bin/env bash
# How much longer one case takes than another with the same binary: runs BASE and then each CASE
# in turn, ROUNDS times, and prints for each CASE the median of the rounds' ratios CASE ms / BASE
# ms, with both medians beside it.
#   bash bench/ratio.sh BENCH BASE [ROUNDS] [ITEMS] CASE...
#   e.g. bash bench/ratio.sh build-release/bench/quorvane-bench subtract_exact 10 1000000 compare
set -euo pipefail
bench=$1
base=$2
rounds=${3:-8}
items=${4:-1000000}
shift $(($# < 4 ? $# : 4))
cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then cases=(compare compare_near_misses); fi

ms_of() { "$bench" "$1" "$items" | sed -n 's/.* ms=\([0-9.]*\).*/\1/p' | tail -n 1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times ratios
bases=()
for ((round = 0; round < rounds; ++round)); do
    b=$(ms_of "$base")
    bases+=("$b")
    for name in "${cases[@]}"; do
        c=$(ms_of "$name")
        times[$name]+="$c "
        ratios[$name]+="$(awk -v b="$b" -v c="$c" 'BEGIN { printf "%.4f", c / b }') "
    done
done
printf '%-22s %8s %8s %8s\n' case base_ms case_ms ratio
for name in "${cases[@]}"; do
    printf '%-22s %8.1f %8.1f %8.3f\n' "$name" "$(printf '%s\n' "${bases[@]}" | median)" \
        "$(printf '%s\n' ${times[$name]} | median)" "$(printf '%s\n' ${ratios[$name]} | median)"
done
