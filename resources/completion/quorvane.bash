# Bash completion for quorvane: its commands, their options, and file names where a file goes:
# a command's files, and the files the window is to open.

# One line a command: its name, its operands in order (FILE: a file name is completed; TEXT:
# nothing is; a last operand ending in "..." may repeat), then its own options. Adding a command
# or an option is a change of this table alone.
_quorvane_commands='
subtract              | FILE FILE | -i --ignore-case MATCHING --crlf -o --output
intersect             | FILE FILE | -i --ignore-case MATCHING --crlf -o --output
distinct              | FILE      | -i --ignore-case MATCHING --crlf -o --output
compare               | FILE FILE | -i --ignore-case MATCHING --near-misses --show --crlf -o --output
sort                  | FILE      | -r --reverse --crlf -o --output
remove-containing     | TEXT FILE | --crlf -o --output
remove-not-containing | TEXT FILE | --crlf -o --output
'
# Options that every command takes, and those among all options that are followed by a file name.
_quorvane_common_options='-h --help -v --version'
_quorvane_file_options='-o --output'
# The matching options, which MATCHING in the table stands for; the options followed by a value
# that is no file, the values --separator names and the regions --show names.
_quorvane_matching_options='--trim --spaces --invisible --unicode --accents --field --separator --key'
_quorvane_value_options='--field --separator --key --show'
_quorvane_separators='tab comma semicolon bar space'
_quorvane_regions='only-first both only-second'
# Without a command the words are files for the window; those after this option go to List 2.
_quorvane_window_options='--second'

# Sets _quorvane_operands and _quorvane_options from the table's line for command $1; fails when
# there is none.
_quorvane_command_line() {
    local name operands options
    while IFS='|' read -r name operands options; do
        name=${name//[[:space:]]/}
        if [[ -n $name && $name == "$1" ]]; then
            read -ra _quorvane_operands <<<"$operands"
            _quorvane_options=${options/MATCHING/$_quorvane_matching_options}
            return 0
        fi
    done <<<"$_quorvane_commands"
    return 1
}

_quorvane_is_file_option() {
    local option
    for option in $_quorvane_file_options; do
        [[ $1 == "$option" ]] && return 0
    done
    return 1
}

_quorvane_is_value_option() {
    local option
    for option in $_quorvane_value_options; do
        [[ $1 == "$option" ]] && return 0
    done
    return 1
}

# The values option $1 takes that start with $2: the separators' names for --separator, the
# regions for --show, nothing to offer for a field number or a pattern.
_quorvane_values() {
    [[ $1 == --separator ]] && mapfile -t COMPREPLY < <(compgen -W "$_quorvane_separators" -- "$2")
    [[ $1 == --show ]] && mapfile -t COMPREPLY < <(compgen -W "$_quorvane_regions" -- "$2")
    return 0
}

# File and folder names that start with $1, one reply each, whatever characters they hold.
_quorvane_files() {
    compopt -o filenames 2>/dev/null
    local name
    while IFS= read -r name; do
        COMPREPLY+=("$name")
    done < <(compgen -f -- "$1")
}

_quorvane() {
    COMPREPLY=()
    local cur=${COMP_WORDS[COMP_CWORD]}
    local command='' operand=0 options_end=0 window=0 second=0 i=1 word

    # The words before the one completed: options (and the file that follows -o), the command,
    # and its operands; or, when the first operand is no command, the window's files. An option's
    # value may be given as "--output=FILE", which bash splits into three words at the "=".
    while ((i < COMP_CWORD)); do
        word=${COMP_WORDS[i]}
        if ((!options_end)) && [[ $word == -* && $word != - ]]; then
            if [[ $word == -- ]]; then
                options_end=1
            elif [[ $word == --second ]]; then
                window=1 second=1
            elif _quorvane_is_file_option "$word"; then
                if [[ ${COMP_WORDS[i + 1]} == = ]]; then
                    # "--output" "=" FILE: the "=" is this word's or the one completed.
                    if ((i + 1 == COMP_CWORD)); then
                        _quorvane_files ''
                        return 0
                    fi
                    ((i += 2))
                else
                    ((i += 1))
                fi
                if ((i == COMP_CWORD)); then
                    _quorvane_files "$cur"
                    return 0
                fi
            elif _quorvane_is_value_option "$word"; then
                if [[ ${COMP_WORDS[i + 1]} == = ]]; then
                    if ((i + 1 == COMP_CWORD)); then
                        _quorvane_values "$word" ''
                        return 0
                    fi
                    ((i += 2))
                else
                    ((i += 1))
                fi
                if ((i == COMP_CWORD)); then
                    _quorvane_values "$word" "$cur"
                    return 0
                fi
            fi
        elif ((window)); then
            :
        elif [[ -z $command ]] && ((!options_end)); then
            command=$word
        elif [[ -z $command ]]; then
            # After "--" every word is a file, a command's name too.
            window=1
        else
            ((operand += 1))
        fi
        ((i += 1))
    done

    local _quorvane_operands=() _quorvane_options=''
    local known=0
    if [[ -n $command ]]; then
        if _quorvane_command_line "$command"; then
            known=1
        else
            window=1
        fi
    fi

    if ((!options_end)) && [[ $cur == -* ]]; then
        # "--output=FILE" as one word, where "=" does not split words.
        local option
        for option in $_quorvane_file_options; do
            if [[ $option == --* && $cur == "$option="* ]]; then
                _quorvane_files "${cur#"$option="}"
                COMPREPLY=("${COMPREPLY[@]/#/$option=}")
                return 0
            fi
        done
        for option in $_quorvane_value_options; do
            if [[ $cur == "$option="* ]]; then
                _quorvane_values "$option" "${cur#"$option="}"
                ((${#COMPREPLY[@]} == 0)) || COMPREPLY=("${COMPREPLY[@]/#/$option=}")
                return 0
            fi
        done
        local all=$_quorvane_common_options
        if ((known)); then
            all="$_quorvane_options $all"
        elif ((!second)); then
            all="$_quorvane_window_options $all"
        fi
        mapfile -t COMPREPLY < <(compgen -W "$all" -- "$cur")
        return 0
    fi

    if ((window)) || ((!known && options_end)); then
        _quorvane_files "$cur"
        return 0
    fi
    if [[ -z $command ]]; then
        # The first word: a command, or a file for the window to open.
        local name names=''
        while IFS='|' read -r name _; do
            names+=" ${name//[[:space:]]/}"
        done <<<"$_quorvane_commands"
        mapfile -t COMPREPLY < <(compgen -W "$names" -- "$cur")
        _quorvane_files "$cur"
        return 0
    fi

    local count=${#_quorvane_operands[@]} kind
    if ((operand < count)); then
        kind=${_quorvane_operands[operand]}
    elif ((count > 0)) && [[ ${_quorvane_operands[count - 1]} == *... ]]; then
        kind=${_quorvane_operands[count - 1]}
    else
        return 0
    fi
    [[ ${kind%...} == FILE ]] && _quorvane_files "$cur"
    return 0
}

complete -F _quorvane quorvane
