#!/usr/bin/env bash
# The bash completion, driven as bash drives it: COMP_WORDS and COMP_CWORD set, the completion
# function called, COMPREPLY read. Then its table against the program's own --help.
#
#     bash tests/tst_completion.sh COMPLETION_FILE QUORVANE_EXECUTABLE
set -uo pipefail
completion=$(realpath "$1")
program=$(realpath "$2")
export LC_ALL=C

# shellcheck source=../resources/completion/quorvane.bash
source "$completion" || { echo "FAIL  sourcing $completion"; exit 1; }
[[ $(complete -p quorvane 2>/dev/null) == "complete -F _quorvane quorvane" ]] \
    || { echo "FAIL  no completion registered for quorvane: $(complete -p quorvane 2>&1)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch alpha.txt 'alpine list.txt' beta.csv notes.txt sorted.txt ./-dash.txt
mkdir albums empty

passed=0
failed=0
# The replies for the command line given as words, the last one being completed; sorted, one a
# line.
replies() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _quorvane
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort
}
# check NAME "EXPECTED REPLIES, one a line" WORD...
check() {
    local name=$1 expected=$2
    shift 2
    local actual
    actual=$(replies "$@")
    if [[ $actual == "$expected" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL  $name: quorvane completion of '${*:2}'"
        echo "      expected: $(echo "$expected" | paste -sd '|')"
        echo "      actual:   $(echo "$actual" | paste -sd '|')"
    fi
}
lines() { printf '%s\n' "$@" | sort; }

all_commands=$(lines compare distinct intersect remove-containing remove-not-containing sort subtract)
common=(-h --help -v --version)
files_al=$(lines albums alpha.txt 'alpine list.txt')

all_files=$(lines -dash.txt albums alpha.txt 'alpine list.txt' beta.csv notes.txt sorted.txt empty)
check "every command and every file" "$(sort <<<"$all_commands"$'\n'"$all_files")" quorvane ''
check "command from a prefix" subtract quorvane su
check "commands from a shared prefix" "$(lines remove-containing remove-not-containing)" \
    quorvane re
check "options before a command" "$(lines --second "${common[@]}")" quorvane -
check "sort's options" "$(lines -r --reverse --crlf -o --output "${common[@]}")" quorvane sort -
matching=(--trim --spaces --invisible --unicode --accents --field --separator --key)
check "subtract's options" \
    "$(lines -i --ignore-case "${matching[@]}" --crlf -o --output "${common[@]}")" \
    quorvane subtract -
check "distinct takes -i and the matching options" \
    "$(lines -i --ignore-case "${matching[@]}" --crlf -o --output "${common[@]}")" \
    quorvane distinct -
check "compare's options" \
    "$(lines -i --ignore-case "${matching[@]}" --near-misses --show --crlf -o --output \
        "${common[@]}")" quorvane compare -
check "regions for --show" "$(lines only-first only-second)" quorvane compare --show only
check "regions in one word" --show=both quorvane compare --show=b
check "files after the region" "$files_al" quorvane compare --show both al
check "separators by name" "$(lines semicolon space)" quorvane subtract --field 2 --separator s
check "separators after --separator=, split at =" "$(lines bar)" \
    quorvane subtract --separator = b
check "separators in one word" --separator=comma quorvane intersect --separator=c
check "nothing for a field number" "" quorvane subtract --field ''
check "a pattern is no operand" "$files_al" quorvane subtract --key '@(.*)' alpha.txt al
check "a long option from its start" --ignore-case quorvane intersect --ig
check "no option of another command" "" quorvane distinct --rev
check "the filters' options" "$(lines --crlf -o --output "${common[@]}")" \
    quorvane remove-not-containing -
check "first file" "$files_al" quorvane subtract al
check "second file" beta.csv quorvane subtract alpha.txt b
check "nothing after the last operand" "" quorvane subtract alpha.txt beta.csv ''
check "one file only for sort" "" quorvane sort alpha.txt ''
check "file after -o" beta.csv quorvane distinct -o b
check "file after --output" "$files_al" quorvane sort --output al
check "file after --output=, split at =" "$files_al" quorvane sort --output = al
check "every file after a bare --output=" "$all_files" quorvane sort --output =
check "-o's file is no operand" "$files_al" quorvane distinct -o rest.txt al
check "options before the command" "$files_al" quorvane -i subtract al
check "no file for TEXT" "" quorvane remove-containing al
check "file after TEXT" "$files_al" quorvane remove-containing draft al
check "TEXT and file after -o" "$files_al" quorvane remove-not-containing -o out.txt draft al
check "after --, a dash starts a file name" -dash.txt quorvane subtract -- -
check "after --, no options" "" quorvane distinct -- --c
check "a file where no command starts so" notes.txt quorvane no
check "commands and files alike" "$(lines sort sorted.txt)" quorvane so
check "the window's next file" beta.csv quorvane alpha.txt b
check "the window's files, whatever their names" notes.txt quorvane alpha.txt sort no
check "--second after the window's files" --second quorvane alpha.txt --s
check "--second once only" "" quorvane alpha.txt --second beta.csv --s
check "List 2's files after --second" "$files_al" quorvane alpha.txt --second al
check "List 2 only" "$files_al" quorvane --second al
check "after --, the first word is a file" sorted.txt quorvane -- so
check "no --second for a command" "" quorvane sort --s
check "- is an operand, not an option" "$files_al" quorvane remove-containing - al

# Every command and option that the program's help lists is completed: a command or option added
# to the program but not to the completion's table fails here. A command's usage line names its
# options; the Options section lists each option's short and long form.
help=$("$program" --help) || { echo "FAIL  $program --help"; exit 1; }
commands=$(grep -oE '^  [a-z][-a-z]* ' <<<"$help" | tr -d ' ')
[[ -n $commands ]] || { echo "FAIL  no commands found in the help"; exit 1; }
cd empty || exit 1
check "the help's commands" "$(sort <<<"$commands")" quorvane ''
cd .. || exit 1
offered_anywhere=$(replies quorvane -)
for command in $commands; do
    offered=$(replies quorvane "$command" -)
    offered_anywhere+=$'\n'$offered
    usage=$(grep -E "^  $command " <<<"$help")
    for option in $(grep -oE -- '\[-[-a-z]+' <<<"$usage" | tr -d '['); do
        if grep -qxF -- "$option" <<<"$offered"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            echo "FAIL  $command's option $option (in the help) is not completed"
        fi
    done
done
options=$(sed -n '/^Options:/,/^$/p' <<<"$help" | grep -oE -- '^ +(-[a-z], )?--[a-z][-a-z]*' \
    | tr ',' ' ')
[[ -n $options ]] || { echo "FAIL  no options found in the help"; exit 1; }
for option in $options; do
    if grep -qxF -- "$option" <<<"$offered_anywhere"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL  the help's option $option is never completed"
    fi
done

echo "$passed passed, $failed failed"
((failed == 0))
