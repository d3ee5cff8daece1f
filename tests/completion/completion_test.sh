#!/usr/bin/env bash
# The shell completions in the real interactive bash, zsh and fish: a line is typed in a
# pseudo-terminal, then Tab and Enter, and what koravel then receives must be the exact
# division name, whatever quote was opened. The names are the hostile ones: quotes, a
# space, ~, $, *, a leading -, a TAB, a backslash, Cyrillic. `koravel --list` is the real
# program; any other call only records its arguments.
# Usage: completion_test.sh KORAVEL_BINARY COMPLETION_DIR
set -euo pipefail
binary=$1
completions=$(cd "$2" && pwd)
keys="$(cd "$(dirname "$0")" && pwd)/shell_keys.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/home"
cat >"$work/bin/koravel" <<EOF
#!/bin/sh
[ "\$1" = --list ] && exec "$binary" "\$@"
for word; do printf '%s\\0' "\$word"; done >>"$work/calls"
echo >>"$work/calls"
EOF
chmod +x "$work/bin/koravel"
cd "$work"
printf '[%s]\nteam1=1\n' "it's" 'say "hi"' 'two words' '~root' '$HOME' '*star' '-dash' \
    "$(printf 'tab\there')" 'Прочее дело' 'back\slash' "tail'" >data.ini
export PATH="$work/bin:$PATH" HOME="$work/home" TERM=xterm
failures=0

# The shell's command, its set-up line, then the typed lines and the expected calls, one
# per line.
check() {
    local shell=$1 setup=$2 typed=$3 expected=$4 actual
    rm -f calls
    # shellcheck disable=SC2086 # the command's words
    actual=$(printf '%s\n%s\n' "$setup" "$typed" | python3 "$keys" calls $shell 2>&1) || true
    if [ "$actual" = "$expected" ]; then
        echo "ok: ${shell%% *}"
    else
        echo "FAILED: ${shell%% *} (typed, expected, received)"
        paste -d '|' <(echo "$typed") <(echo "$expected") <(echo "$actual")
        failures=$((failures + 1))
    fi
}

# Typed in every shell alike.
common_typed="koravel --ver
koravel --scan it
koravel --scan 'it
koravel --scan \"it
koravel --scan 'sa
koravel --scan \"sa
koravel --scan two\\ w
koravel --scan \\~
koravel --scan '~
koravel --scan \\\$
koravel --scan \"\\\$
koravel --scan -
koravel --scan '-
koravel --scan Про
koravel --scan \"Про
koravel --scan ba
koravel --scan \"ba
koravel --scan tai
koravel --scan 'tai
koravel --scan=it"
common_expected="[--version]
[--scan] [it's]
[--scan] [it's]
[--scan] [it's]
[--scan] [say \"hi\"]
[--scan] [say \"hi\"]
[--scan] [two words]
[--scan] [~root]
[--scan] [~root]
[--scan] [\$HOME]
[--scan] [\$HOME]
[--scan] [-dash]
[--scan] [-dash]
[--scan] [Прочее дело]
[--scan] [Прочее дело]
[--scan] [back\\slash]
[--scan] [back\\slash]
[--scan] [tail']
[--scan] [tail']
[--scan=it's]"

# bash also takes a bare ~, a typed * and a TAB.
check "bash --norc --noprofile -i" "PS1='$ '; source '$completions/koravel.bash'; koravel ready" "$common_typed
koravel --scan ~
koravel --scan \\*
koravel --scan '*
koravel --scan tab
koravel --scan 'tab" "$common_expected
[--scan] [~root]
[--scan] [*star]
[--scan] [*star]
[--scan] [tab\\there]
[--scan] [tab\\there]"

# zsh: a bare ~ starts zsh's own user-folder completion, so it is not typed here.
check "zsh -f -i" "fpath=('$completions' \$fpath); autoload -U compinit; compinit -u -D; PS1='$ '; koravel ready" \
    "$common_typed
koravel --scan \\*
koravel --scan tab
koravel --scan \"tab" "$common_expected
[--scan] [*star]
[--scan] [tab\\there]
[--scan] [tab\\there]"

# fish cannot carry a TAB: the name is not offered, and the word stays as typed.
check "fish --no-config -i" "function fish_prompt; echo '$ '; end; source '$completions/koravel.fish'; koravel ready" \
    "$common_typed
koravel --scan tab" "$common_expected
[--scan] [tab]"

[ "$failures" -eq 0 ]
