# bash completion for koravel: its options, and after --scan the divisions of the
# data.ini in the current folder, as `koravel --list` names them.
_koravel() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if [[ $prev == --scan ]]; then
        # What was typed so far, without its backslashes or opening quote.
        local typed=$cur
        case $typed in
            \'* | \"*) typed=${typed:1} ;;
            *) typed=$(printf '%s' "$typed" | sed 's/\\\(.\)/\1/g') ;;
        esac
        local name
        while IFS= read -r name; do
            [[ $name == "$typed"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
        done < <(koravel --list 2>/dev/null)
        return 0
    fi
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--scan --save --json --list --help --version' -- "$cur")
    fi
    return 0
}
complete -F _koravel koravel
