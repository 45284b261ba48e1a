# bash completion for keyfold-cli: commands, options, option values, and entry names.
#
# Entry names need the key phrase, and completion never asks for it: names are
# completed only when KEYFOLD_PHRASE_COMMAND names a command that prints the phrase
# (such as `secret-tool lookup keyfold phrase`); its output goes to
# `keyfold-cli --phrase-stdin ls` and nowhere else. Without it, names are not completed.

_keyfold_cli_commands="ls show search clip add edit rm rekey seal unseal export import generate shell"

# The options each command takes (after the ones every command takes), as keyfold-cli's
# table of commands gives them (its tests compare the two).
_keyfold_cli_options() {
    local common="--file --phrase-stdin --phrase-fd --phrase-command --open-anyway --help --version"
    case $1 in
        ls) echo "$common --json" ;;
        show) echo "$common --show-password --field --json" ;;
        search) echo "$common --in-password --json" ;;
        clip) echo "$common --user --timeout --wait" ;;
        add) echo "$common --plain --url --user --comment --generate --length --no-symbols" ;;
        edit) echo "$common --url --user --comment --password" ;;
        rm) echo "$common --yes" ;;
        rekey) echo "$common --yes" ;;
        seal) echo "$common --yes" ;;
        unseal) echo "$common --yes" ;;
        export) echo "$common --csv" ;;
        import) echo "$common --plain --dry-run --json" ;;
        generate) echo "$common --length --no-symbols" ;;
        shell) echo "$common --plain" ;;
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

    # The command word, how many arguments follow it before the word completed (options
    # and their values aside), and the options that pick the data file.
    local command="" arguments=0 i word given
    local -a fileOptions=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            --file | --file=*)
                # --file=PATH arrives as one word, or split at "=" by bash.
                if [[ $word == --file=* ]]; then
                    given=${word#--file=}
                elif [[ ${COMP_WORDS[i + 1]} == = ]]; then
                    given=${COMP_WORDS[i + 2]}
                    ((i += 2))
                else
                    given=${COMP_WORDS[i + 1]}
                    ((i++))
                fi
                # The path as typed: a leading ~ is the home folder.
                [[ $given == "~" || $given == "~/"* ]] && given=$HOME${given:1}
                fileOptions+=(--file "$given") ;;
            --url | --comment | --csv | --length | --field | --timeout | --phrase-fd | --phrase-command)
                ((i++)) ;;
            --user) [[ $command == clip ]] || ((i++)) ;;
            --open-anyway) fileOptions+=(--open-anyway) ;;
            -*) ;;
            *) if [[ -z $command ]]; then command=$word; else ((arguments++)); fi ;;
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
        --url | --comment | --length | --timeout | --phrase-fd | --phrase-command) return 0 ;;
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
    if ((arguments == 0)); then
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
