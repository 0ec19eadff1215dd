#!/usr/bin/env bash
# Is a new build slower than an old one? Runs each case of quorvane-bench with the old and the new
# binary in turn (alternating which goes first), ROUNDS times, and prints for each case the median
# of the ratios new ms / old ms, with the old and new medians beside it. A ratio above 1.05 is
# marked.
#   bash bench/ab.sh OLD_BENCH NEW_BENCH [ROUNDS] [ITEMS] [CASE...]
set -euo pipefail
old=$1
new=$2
rounds=${3:-8}
items=${4:-1000000}
shift $(($# < 4 ? $# : 4))
cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
    cases=(subtract_exact subtract_ignore_case intersect distinct sort filter_with filter_without
        remove_bulk list_store undo_subtract undo_sort load save end_to_end paste copy_all)
fi

ms_of() { "$1" "$2" "$3" | sed -n 's/.* ms=\([0-9.]*\).*/\1/p' | tail -n 1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-22s %8s %8s %8s\n' case old_ms new_ms ratio
for name in "${cases[@]}"; do
    olds=() news=() ratios=()
    for ((round = 0; round < rounds; ++round)); do
        if ((round % 2 == 0)); then
            a=$(ms_of "$old" "$name" "$items"); b=$(ms_of "$new" "$name" "$items")
        else
            b=$(ms_of "$new" "$name" "$items"); a=$(ms_of "$old" "$name" "$items")
        fi
        olds+=("$a") news+=("$b")
        ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.4f", b / a }')")
    done
    r=$(printf '%s\n' "${ratios[@]}" | median)
    mark=$(awk -v r="$r" 'BEGIN { print (r > 1.05) ? "  SLOWER" : "" }')
    printf '%-22s %8.1f %8.1f %8.3f%s\n' "$name" "$(printf '%s\n' "${olds[@]}" | median)" \
        "$(printf '%s\n' "${news[@]}" | median)" "$r" "$mark"
done
