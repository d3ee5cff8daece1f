#!/usr/bin/env bash
# The shell completions in real shells: options complete, and after --scan the divisions
# of data.ini do, a Cyrillic name with a space whole. Runs the real program for --list.
# Usage: completion_test.sh KORAVEL_BINARY COMPLETION_DIR
set -euo pipefail
binary=$1
completions=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$binary" "$work/bin/koravel"
export PATH="$work/bin:$PATH"
cd "$work"
printf '[Демо 2]\nteam1=1\n[Демо-1]\nteam1=2\n[Прочее дело]\nteam1=3\n' >data.ini
failures=0
expect() {  # what, expected, actual
    if [ "$2" = "$3" ]; then echo "ok: $1"; else
        echo "FAILED: $1"; echo "  expected: $(printf '%q' "$2")"; echo "  actual:   $(printf '%q' "$3")"
        failures=$((failures + 1))
    fi
}

bash_completes() {  # the words of the line as readline breaks them, the last one unfinished
    bash --norc -c 'source "$1"; complete -p koravel >/dev/null || exit 9; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _koravel; printf "%s\n" "${COMPREPLY[@]}"' \
        _ "$completions/koravel.bash" "$@"
}
expect "bash: options" "--save
--scan" "$(bash_completes koravel --s | sort)"
expect "bash: a name with a space, whole" 'Прочее\ дело' "$(bash_completes koravel --scan Про)"
expect "bash: after a typed backslash" 'Демо\ 2' "$(bash_completes koravel --scan 'Демо\ ')"
expect "bash: every division" 'Демо\ 2
Демо-1
Прочее\ дело' "$(bash_completes koravel --scan '')"

fish_completes() {
    fish --no-config -c "source '$completions/koravel.fish'; complete -C '$1'" | cut -f1
}
expect "fish: options" "--save
--scan" "$(fish_completes 'koravel --s' | sort)"
expect "fish: a name with a space, whole" "Прочее дело" "$(fish_completes 'koravel --scan Про')"

# zsh completes only in its line editor: a pseudo-terminal (zpty) types the line and a
# Tab, then a key whose widget writes out the edited line.
zsh -f -c '
    zmodload zsh/zpty || exit 9
    zpty -b shell "zsh -f -i"
    zpty -w shell "fpath=($1 \$fpath); autoload -U compinit; compinit -u -D; PS1=\"\""
    zpty -w shell "dump() { print -r -- \"\$BUFFER\" >zsh.out }; zle -N dump; bindkey \"^X\" dump"
    sleep 1
    zpty -w -n shell "koravel --scan Про"$'"'"'\t'"'"'
    sleep 1
    zpty -w -n shell $'"'"'\x18'"'"'
    sleep 1
    zpty -d shell' _ "$completions" || true
expect "zsh: a name with a space, whole" 'koravel --scan Прочее\ дело ' "$(cat zsh.out 2>/dev/null)"

[ "$failures" -eq 0 ]
