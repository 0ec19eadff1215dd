#!/usr/bin/env bash
# Quorvane's whole job (load two lists, subtract List 1 from List 2, save List 2) against mawk
# and grep doing the same on the same two files, in the same run.
#
#     bash bench/compare.sh [lines]          # lines per file, 1000000 unless given
#
# It builds nothing. It expects a Release build of quorvane-bench and quorvane in build-release/:
#
#     cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release &&
#         cmake --build build-release --target quorvane-bench quorvane
#
# or their paths in QUORVANE_BENCH and QUORVANE. QUORVANE_COMPARE_GREP=0 leaves grep out (it needs about
# 1.7 GB and some 20 seconds per million lines here), and grep_ms then reads "skipped".
#
# Before it, the same job through the command line, as a script would run it (whole process,
# `quorvane subtract --crlf LIST-2 LIST-1 > OUT`; median of five runs; peak memory by GNU time):
#     cli_ms=<n> mawk_ms=<n> ratio_vs_mawk=<r> rss_mib=<n> identical=<yes|no>
#
# The last line printed is:
#     quorvane_ms=<n> mawk_ms=<n> grep_ms=<n> ratio_vs_mawk=<r> rss_mib=<n> identical=<yes|no>
# quorvane_ms is the median of five runs of the whole job, mawk_ms and grep_ms one run each,
# rss_mib Quorvane's peak memory, identical whether Quorvane saved exactly what mawk printed.
set -euo pipefail
shopt -s inherit_errexit
export LC_ALL=C

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench=${QUORVANE_BENCH:-$root/build-release/bench/quorvane-bench}
program=${QUORVANE:-$root/build-release/src/quorvane}
lines=${1:-1000000}
run_grep=${QUORVANE_COMPARE_GREP:-1}

if [[ ! -x $bench ]]; then
    echo "compare.sh: no quorvane-bench at $bench; build it as the top of this script says" >&2
    exit 1
fi
if [[ ! -x $program ]]; then
    echo "compare.sh: no quorvane at $program; build it as the top of this script says" >&2
    exit 1
fi
if [[ ! -x /usr/bin/time ]]; then
    echo "compare.sh: GNU time is missing (apt-get install time)" >&2
    exit 1
fi
if ! command -v mawk >/dev/null; then
    echo "compare.sh: mawk is missing (apt-get install mawk)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first=$work/list-1.txt
second=$work/list-2.txt

"$bench" generate "$lines" "$first" "$second"

# Every line of both files ends in CR LF. mawk and grep split at LF only, so for them each line
# carries its CR; it does on both sides, so "equal lines" means the same to them as to Quorvane.
# Make sure of it: no line without its CR, and no CR anywhere else.
for file in "$first" "$second"; do
    total=$(wc -l <"$file")
    with_cr=$(grep -c $'\r$' "$file" || true)
    bare_cr=$(tr -cd '\r' <"$file" | wc -c)
    if [[ $total != "$with_cr" || $bare_cr != "$with_cr" || $(tail -c 1 "$file" | od -An -c) != *'\n'* ]]; then
        echo "compare.sh: $file does not end every line, and only lines, in CR LF" >&2
        exit 1
    fi
done

# Milliseconds taken by a command, from bash's microsecond clock.
elapsed_ms() {
    local start=${EPOCHREALTIME/./}
    "$@"
    local end=${EPOCHREALTIME/./}
    echo $(((end - start + 500) / 1000))
}

result=$("$bench" end_to_end --a "$first" --b "$second" --out "$work/quorvane.txt" |
    grep '^case=end_to_end ')
echo "$result"
quorvane_ms=$(sed -E 's/.* ms=([0-9.]+) .*/\1/' <<<"$result")
rss_mib=$(sed -E 's/.* rss_mib=([0-9]+).*/\1/' <<<"$result")

mawk_job() { mawk 'NR==FNR{a[$0];next} !($0 in a)' "$first" "$second" >"$work/mawk.txt"; }
mawk_ms=$(elapsed_ms mawk_job)

grep_ms=skipped
if [[ $run_grep != 0 ]]; then
    # grep exits with 1 when it selects no line; that is a result, not a failure.
    grep_job() { grep -Fxvf "$first" "$second" >"$work/grep.txt" || [[ $? == 1 ]]; }
    grep_ms=$(elapsed_ms grep_job)
    if cmp -s "$work/grep.txt" "$work/mawk.txt"; then
        echo "grep printed the same lines as mawk"
    else
        echo "grep printed other lines than mawk" >&2
    fi
fi

cli_job() {
    /usr/bin/time -f %M -o "$work/cli-rss.txt" \
        "$program" subtract --crlf "$second" "$first" >"$work/cli.txt"
}
cli_runs=()
cli_rss=0
for _ in 1 2 3 4 5; do
    cli_runs+=("$(elapsed_ms cli_job)")
    rss_kib=$(tail -n 1 "$work/cli-rss.txt")
    ((rss_kib > cli_rss)) && cli_rss=$rss_kib
done
cli_ms=$(printf '%s\n' "${cli_runs[@]}" | sort -n | sed -n 3p)
cli_identical=no
if cmp -s "$work/cli.txt" "$work/mawk.txt"; then cli_identical=yes; fi
cli_ratio=$(awk -v q="$cli_ms" -v m="$mawk_ms" 'BEGIN { printf "%.2f", (m > 0 ? q / m : 0) }')
printf 'cli_ms=%s mawk_ms=%s ratio_vs_mawk=%s rss_mib=%s identical=%s\n' \
    "$cli_ms" "$mawk_ms" "$cli_ratio" "$(((cli_rss + 1023) / 1024))" "$cli_identical"

# Both write CR LF after every line (mawk keeps the CR and adds its LF), so the bytes compare.
identical=no
if cmp -s "$work/quorvane.txt" "$work/mawk.txt"; then identical=yes; fi

ratio=$(awk -v q="$quorvane_ms" -v m="$mawk_ms" 'BEGIN { printf "%.2f", (m > 0 ? q / m : 0) }')
printf 'quorvane_ms=%.0f mawk_ms=%s grep_ms=%s ratio_vs_mawk=%s rss_mib=%s identical=%s\n' \
    "$quorvane_ms" "$mawk_ms" "$grep_ms" "$ratio" "$rss_mib" "$identical"
