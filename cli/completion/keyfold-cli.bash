# bash completion for keyfold-cli: commands, options, option values, and entry names.
#
# Entry names need the key phrase, and completion never asks for it: names are
# completed only when KEYFOLD_PHRASE_COMMAND names a command that prints the phrase
# (such as `secret-tool lookup keyfold phrase`); its output goes to
# `keyfold-cli --phrase-stdin ls` and nowhere else. Without it, names are not completed.

_keyfold_cli_commands="ls show search clip add edit rm rekey seal unseal export import generate"

# The options each command takes (after the ones every command takes).
_keyfold_cli_options() {
    local common="--file --phrase-stdin --open-anyway --help --version"
    case $1 in
        ls) echo "$common --json" ;;
        show) echo "$common --show-password --field --json" ;;
        search) echo "$common --in-password --json" ;;
        clip) echo "$common --user --timeout --wait" ;;
        add) echo "$common --plain --url --user --comment --generate --length --no-symbols" ;;
        edit) echo "$common --url --user --comment --password" ;;
        rm | rekey | seal | unseal) echo "$common --yes" ;;
        export) echo "$common --csv" ;;
        import) echo "$common --plain --dry-run --json" ;;
        generate) echo "$common --length --no-symbols" ;;
        *) echo "$common" ;;
    esac
}

# The names in the list, one a line, when the phrase is at hand; nothing otherwise.
# $1: the program as typed; the rest: the options of the line that pick the file.
_keyfold_cli_names() {
    [[ -n ${KEYFOLD_PHRASE_COMMAND-} ]] || return 0
    local program=$1
    shift
    sh -c "$KEYFOLD_PHRASE_COMMAND" 2>/dev/null </dev/null |
        "$program" --phrase-stdin "$@" ls 2>/dev/null
}

_keyfold_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    # The command word, the place of the first argument after it, and the options
    # that pick the data file.
    local command="" at=0 i word
    local -a fileOptions=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            --file | --url | --comment | --csv | --length | --field | --timeout)
                [[ $word == --file ]] && fileOptions+=(--file "${COMP_WORDS[i + 1]}")
                ((i++)) ;;
            --user) [[ $command == clip ]] || ((i++)) ;;
            --open-anyway) fileOptions+=(--open-anyway) ;;
            -*) ;;
            *) if [[ -z $command ]]; then command=$word; at=$((i + 1)); fi ;;
        esac
    done

    case $prev in
        --field)
            mapfile -t COMPREPLY < <(compgen -W "name url user password comment" -- "$cur")
            return 0 ;;
        --file | --csv)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            [[ $prev == --csv && -z $cur ]] && COMPREPLY+=(-)
            compopt -o filenames 2>/dev/null
            return 0 ;;
        --url | --comment | --length | --timeout) return 0 ;;
        --user) [[ $command == clip ]] || return 0 ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_keyfold_cli_options "$command")" -- "$cur")
        return 0
    fi
    if [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$_keyfold_cli_commands" -- "$cur")
        return 0
    fi
    if ((COMP_CWORD == at)); then
        case $command in
            show | clip | edit | rm)
                # Names are kept in upper case; what is typed matches in either.
                local name wanted=${cur^^}
                while IFS= read -r name; do
                    [[ ${name^^} == "$wanted"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
                done < <(_keyfold_cli_names "${COMP_WORDS[0]}" "${fileOptions[@]}")
                ;;
            import)
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                compopt -o filenames 2>/dev/null
                ;;
        esac
    fi
    return 0
}

complete -F _keyfold_cli keyfold-cli
