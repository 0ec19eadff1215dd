#!/usr/bin/env bash
# Quorvane's whole job (load two lists, subtract List 1 from List 2, save List 2) against mawk,
# grep, DuckDB and `sort | comm` doing the same on the same two files, in the same run.
#
#     bash bench/compare.sh [lines]          # lines per file, 1000000 unless given
#     bash bench/compare.sh huge             # 100,000,000 lines per file (about 2.1 GB each)
#
# It builds nothing. It expects a Release build of quorvane-bench and quorvane in build-release/:
#
#     cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release &&
#         cmake --build build-release --target quorvane-bench quorvane
#
# or their paths in QUORVANE_BENCH and QUORVANE. QUORVANE_COMPARE_GREP=0 leaves grep out (it needs
# about 1.7 GB and some 20 seconds per million lines here), and grep_ms then reads "skipped";
# QUORVANE_COMPARE_MAWK=0 leaves mawk out the same way (some 10 seconds per million lines here).
# `huge` leaves both out, and runs each timed command three times instead of five.
#
# DuckDB runs through its Node package (@duckdb/node-api, the exact version below), which the
# script installs with npm into a folder of its own (QUORVANE_BENCH_CACHE, else
# ~/.cache/quorvane-bench) when `node` and `npm` are there; otherwise duckdb_ms reads "skipped".
# Its query is an anti-join of the two files read as one text column each, on 2 threads, with the
# result written to a file; it does not keep the order, so its lines are compared with ours as
# sorted lists, repeats included. `sort | comm -13` (LC_ALL=C) drops repeats and keeps no order:
# it is timed only.
#
# First, the job through the command line, as a script would run it (whole process,
# `quorvane subtract --crlf LIST-2 LIST-1 > OUT`; median of five runs, interleaved with DuckDB's;
# peak memory by GNU time), then the peers:
#     cli_ms=<n> mawk_ms=<n> ratio_vs_mawk=<r> rss_mib=<n> identical=<yes|no|skipped>
#     duckdb_ms=<n> duckdb_rss_mib=<n> cli_vs_duckdb=<r> same_lines_as_duckdb=<yes|no>
#     sort_comm_ms=<n> sort_comm_rss_mib=<n> cli_vs_sort_comm=<r>
#
# The last line printed is:
#     quorvane_ms=<n> mawk_ms=<n> grep_ms=<n> ratio_vs_mawk=<r> rss_mib=<n> identical=<yes|no>
#         window_vs_duckdb=<r>
# quorvane_ms is the median of five runs of the whole job through the window, mawk_ms,
# grep_ms and sort_comm_ms one run each, rss_mib Quorvane's peak memory, identical whether
# Quorvane saved exactly what mawk printed (without mawk: what the command line printed).
set -euo pipefail
shopt -s inherit_errexit
export LC_ALL=C

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench=${QUORVANE_BENCH:-$root/build-release/bench/quorvane-bench}
program=${QUORVANE:-$root/build-release/src/quorvane}
lines=${1:-1000000}
run_grep=${QUORVANE_COMPARE_GREP:-1}
run_mawk=${QUORVANE_COMPARE_MAWK:-1}
runs=5
if [[ $lines == huge ]]; then
    lines=100000000
    run_grep=0
    run_mawk=0
    runs=3
fi
if [[ ! $lines =~ ^[0-9]+$ ]] || ((lines < 2)); then
    echo "compare.sh: lines must be a number of at least 2, or huge" >&2
    exit 1
fi
duckdb_version=1.5.6-r.1
cache=${QUORVANE_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane-bench}/duckdb-$duckdb_version

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
if [[ $run_mawk != 0 ]] && ! command -v mawk >/dev/null; then
    echo "compare.sh: mawk is missing (apt-get install mawk)" >&2
    exit 1
fi

# DuckDB's Node package, once, into the cache; a failed install leaves no half folder behind.
duckdb=skipped
if command -v node >/dev/null && command -v npm >/dev/null; then
    if [[ ! -d $cache/node_modules/@duckdb/node-api ]]; then
        rm -rf "$cache.part"
        mkdir -p "$cache.part"
        echo '{"private": true}' >"$cache.part/package.json"
        if (cd "$cache.part" && npm install --no-audit --no-fund --save-exact --loglevel=error \
            "@duckdb/node-api@$duckdb_version" >&2); then
            rm -rf "$cache"
            mv "$cache.part" "$cache"
        else
            rm -rf "$cache.part"
            echo "compare.sh: could not install @duckdb/node-api@$duckdb_version" >&2
        fi
    fi
    [[ -d $cache/node_modules/@duckdb/node-api ]] && duckdb=yes
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first=$work/list-1.txt
second=$work/list-2.txt

"$bench" generate "$lines" "$first" "$second"

# Every line of both files ends in CR LF. mawk and grep split at LF only, so for them each line
# carries its CR; it does on both sides, so "equal lines" means the same to them as to Quorvane.
# Make sure of it: no line without its CR, and no CR anywhere else. DuckDB's column delimiter
# (byte 1) must occur nowhere.
for file in "$first" "$second"; do
    total=$(wc -l <"$file")
    with_cr=$(grep -c $'\r$' "$file" || true)
    bare_cr=$(tr -cd '\r' <"$file" | wc -c)
    if [[ $total != "$with_cr" || $bare_cr != "$with_cr" || $(tail -c 1 "$file" | od -An -c) != *'\n'* ]]; then
        echo "compare.sh: $file does not end every line, and only lines, in CR LF" >&2
        exit 1
    fi
    if [[ $(tr -cd '\001' <"$file" | wc -c) != 0 ]]; then
        echo "compare.sh: $file holds byte 1, DuckDB's column delimiter here" >&2
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
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
mib() { echo $((($1 + 1023) / 1024)); }

mawk_ms=skipped
if [[ $run_mawk != 0 ]]; then
    mawk_job() { mawk 'NR==FNR{a[$0];next} !($0 in a)' "$first" "$second" >"$work/mawk.txt"; }
    mawk_ms=$(elapsed_ms mawk_job)
fi

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

# Peak memory in KiB of a command, whole process and its children, by GNU time.
cli_job() {
    /usr/bin/time -f %M -o "$work/cli-rss.txt" \
        "$program" subtract --crlf "$second" "$first" >"$work/cli.txt"
}
duckdb_job() {
    /usr/bin/time -f %M -o "$work/duckdb-rss.txt" \
        node "$root/bench/duckdb_subtract.cjs" "$cache" "$second" "$first" "$work/duckdb.txt"
}
cli_runs=()
cli_rss=0
duckdb_runs=()
duckdb_rss=0
for ((run = 0; run < runs; ++run)); do
    cli_runs+=("$(elapsed_ms cli_job)")
    rss_kib=$(tail -n 1 "$work/cli-rss.txt")
    ((rss_kib > cli_rss)) && cli_rss=$rss_kib
    if [[ $duckdb == yes ]]; then
        duckdb_runs+=("$(elapsed_ms duckdb_job)")
        rss_kib=$(tail -n 1 "$work/duckdb-rss.txt")
        ((rss_kib > duckdb_rss)) && duckdb_rss=$rss_kib
    fi
done
cli_ms=$(median "${cli_runs[@]}")
cli_identical=skipped
cli_ratio=skipped
if [[ $run_mawk != 0 ]]; then
    cli_identical=no
    if cmp -s "$work/cli.txt" "$work/mawk.txt"; then cli_identical=yes; fi
    cli_ratio=$(ratio "$cli_ms" "$mawk_ms")
fi
printf 'cli_ms=%s mawk_ms=%s ratio_vs_mawk=%s rss_mib=%s identical=%s\n' \
    "$cli_ms" "$mawk_ms" "$cli_ratio" "$(mib "$cli_rss")" "$cli_identical"

duckdb_ms=skipped
if [[ $duckdb == yes ]]; then
    duckdb_ms=$(median "${duckdb_runs[@]}")
    # DuckDB writes LF line ends and its own order: the same lines means the same sorted list.
    same=no
    if cmp -s <(tr -d '\r' <"$work/cli.txt" | sort) <(sort "$work/duckdb.txt"); then same=yes; fi
    printf 'duckdb_ms=%s duckdb_rss_mib=%s cli_vs_duckdb=%s same_lines_as_duckdb=%s\n' \
        "$duckdb_ms" "$(mib "$duckdb_rss")" "$(ratio "$cli_ms" "$duckdb_ms")" "$same"
    rm -f "$work/duckdb.txt"
else
    echo "duckdb_ms=skipped (no node and npm, or no @duckdb/node-api@$duckdb_version)"
fi

sort_comm_job() {
    # Both sorts at once, as with process substitution, but waited for, so that GNU time sees
    # their memory.
    # shellcheck disable=SC2016  # expanded by the inner bash
    /usr/bin/time -f %M -o "$work/sort-rss.txt" bash -c \
        'sort "$1" >"$3.1" & sort "$2" >"$3.2"; wait $!; comm -13 "$3.1" "$3.2" >"$3"' \
        sort_comm "$first" "$second" "$work/sort-comm.txt"
}
sort_comm_ms=$(elapsed_ms sort_comm_job)
rm -f "$work"/sort-comm.txt*
printf 'sort_comm_ms=%s sort_comm_rss_mib=%s cli_vs_sort_comm=%s\n' "$sort_comm_ms" \
    "$(mib "$(tail -n 1 "$work/sort-rss.txt")")" "$(ratio "$cli_ms" "$sort_comm_ms")"

result=$("$bench" end_to_end --a "$first" --b "$second" --out "$work/quorvane.txt" |
    grep '^case=end_to_end ')
echo "$result"
quorvane_ms=$(sed -E 's/.* ms=([0-9.]+) .*/\1/' <<<"$result")
rss_mib=$(sed -E 's/.* rss_mib=([0-9]+).*/\1/' <<<"$result")

# Both write CR LF after every line (mawk keeps the CR and adds its LF), so the bytes compare.
reference=$work/mawk.txt
[[ $run_mawk != 0 ]] || reference=$work/cli.txt
identical=no
if cmp -s "$work/quorvane.txt" "$reference"; then identical=yes; fi

ratio_vs_mawk=skipped
[[ $run_mawk != 0 ]] && ratio_vs_mawk=$(ratio "$quorvane_ms" "$mawk_ms")
window_vs_duckdb=skipped
[[ $duckdb_ms != skipped ]] && window_vs_duckdb=$(ratio "$quorvane_ms" "$duckdb_ms")
printf 'quorvane_ms=%.0f mawk_ms=%s grep_ms=%s ratio_vs_mawk=%s rss_mib=%s identical=%s window_vs_duckdb=%s\n' \
    "$quorvane_ms" "$mawk_ms" "$grep_ms" "$ratio_vs_mawk" "$rss_mib" "$identical" "$window_vs_duckdb"
