# bash completion for koravel: its options, and after --scan the divisions of the
# data.ini in the current folder, as `koravel --list` names them.
#
# A division name may hold anything but a line end, so the word is taken apart here
# rather than by compgen: the line up to the cursor is split into shell words as bash
# will split it, the last one unquoted to the name typed so far, and each matching name
# is quoted for the quote state readline leaves open (none, ' or "). One `koravel --list`
# per Tab, and no process per name.

# Splits $1 into shell words. Sets _koravel_words (raw), _koravel_text (the last word's
# unquoted text), _koravel_quote (the quote open at its end: '' , \' or \"), and
# _koravel_start (where readline's own word starts inside the last word: after an open
# quote, else after the last unquoted word-break character).
_koravel_split() {
    local line=$1 word='' text='' quote='' start=0 c i
    local breaks=${COMP_WORDBREAKS-$' \t\n"\'><=;|&(:'}
    _koravel_words=()
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        if [[ $quote == \' ]]; then
            word+=$c
            [[ $c == \' ]] && quote='' || text+=$c
        elif [[ $quote == \" ]]; then
            word+=$c
            if [[ $c == \" ]]; then
                quote=''
            elif [[ $c == \\ && ${line:i+1:1} == [\"\\\$\`] ]]; then
                word+=${line:i+1:1}
                text+=${line:i+1:1}
                ((i++))
            else
                text+=$c
            fi
        elif [[ $c == [$' \t\n'] ]]; then
            [[ -n $word ]] && _koravel_words+=("$word")
            word='' text='' start=0
        elif [[ $c == \\ ]]; then
            word+=$c${line:i+1:1}
            text+=${line:i+1:1}
            ((i++))
        elif [[ $c == [\'\"] ]]; then
            word+=$c
            quote=$c
            start=${#word}
        else
            word+=$c
            text+=$c
            [[ $breaks == *"$c"* ]] && start=${#word}
        fi
    done
    _koravel_words+=("$word")
    _koravel_text=$text _koravel_quote=$quote _koravel_start=$start
}

# Fills COMPREPLY with the divisions that start with $1 (unquoted), each as the text
# that replaces readline's word: $2 is what the shell word holds before that word,
# unquoted, and $3 the quote left open. awk filters and quotes: it compares bytes, as
# the names are, and a loop of bash's own over 50,000 names takes seconds.
_koravel_divisions() {
    # Taken as one command substitution: mapfile reads a pipe a byte at a time.
    local quote=$3 IFS=$'\n' -
    set -f
    COMPREPLY=($(koravel --list 2>/dev/null |
        KORAVEL_TYPED=$1 KORAVEL_DONE=$2 KORAVEL_QUOTE=$quote LC_ALL=C awk '
            BEGIN { typed = ENVIRON["KORAVEL_TYPED"]; quote = ENVIRON["KORAVEL_QUOTE"] }
            substr($0, 1, length(typed)) == typed {
                rest = substr($0, length(ENVIRON["KORAVEL_DONE"]) + 1)
                if (quote == "\047") gsub(/\047/, "\047\\\\\047\047", rest)
                else if (quote == "\"") gsub(/[\\"$`]/, "\\\\&", rest)
                else gsub(/[^A-Za-z0-9_.\/,+%\200-\377-]/, "\\\\&", rest)
                print rest
            }'))
    # readline closes the quote after a single match, except when the match already ends
    # with that quote character, as an escaped one does.
    if [[ -n $quote && ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *"$quote" ]]; then
        COMPREPLY[0]+=$quote
    fi
}

_koravel() {
    COMPREPLY=()
    _koravel_split "${COMP_LINE:0:COMP_POINT}"
    local n=${#_koravel_words[@]}
    local word=${_koravel_words[n - 1]} prev=''
    [[ $n -ge 2 ]] && prev=${_koravel_words[n - 2]}
    local lead=0
    if [[ $word == --scan=* ]]; then
        lead=7
    elif [[ $prev != --scan ]]; then
        [[ $word == -* ]] &&
            mapfile -t COMPREPLY < <(compgen -W '--scan --save --json --list --help --version' -- "$word")
        return 0
    fi
    # The text before readline's word, unquoted, is what the names keep of their start.
    local start=$_koravel_start text=$_koravel_text quote=$_koravel_quote
    ((start < lead)) && start=$lead
    _koravel_split "${word:lead:start - lead}"
    _koravel_divisions "${text#"${word:0:lead}"}" "$_koravel_text" "$quote"
    return 0
}
complete -F _koravel koravel
