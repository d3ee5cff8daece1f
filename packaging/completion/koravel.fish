# fish completion for koravel: its options, and after --scan the divisions of the
# data.ini in the current folder, as `koravel --list` names them.
#
# fish quotes what it inserts for the quote the user opened. What its own completion
# cannot carry exactly is left out or left alone: a name with a TAB (fish takes what
# follows a TAB as the description) is not offered; from an empty word a name that
# starts with ~ is not offered either (fish would insert the ~ bare and then expand it),
# and comes back once \~ or a quote is typed; a typed * is a wildcard to fish even when
# escaped, so fish does not complete a word that holds one. The names are narrowed here
# to those that start with the word as typed, so fish's fuzzy matching adds no others.

function __koravel_after_scan
    set -l words (commandline -opc)
    test "$words[-1]" = --scan
end

function __koravel_divisions
    # The word typed so far, unquoted as fish reads it.
    set -l typed (string replace -r -- '^--scan=' '' "$(commandline -ot)")
    set -l names (koravel --list 2>/dev/null | string match -v -- '*'\t'*')
    test -z "$(commandline -ct)"; and set names (string match -v -- '~*' $names)
    string match -re -- '^'(string escape --style=regex -- "$typed") $names
end

complete -c koravel -f
complete -c koravel -n __koravel_after_scan -x -a '(__koravel_divisions)'
complete -c koravel -n 'not __koravel_after_scan' -l scan -x -d 'Scan a division of data.ini' -a '(__koravel_divisions)'
complete -c koravel -n 'not __koravel_after_scan' -l save -d 'Append the list to save.txt after the scan'
complete -c koravel -n 'not __koravel_after_scan' -l json -d 'Print JSON Lines'
complete -c koravel -n 'not __koravel_after_scan' -l list -d 'Print the divisions of data.ini'
complete -c koravel -n 'not __koravel_after_scan' -l help -d 'Print the help'
complete -c koravel -n 'not __koravel_after_scan' -l version -d 'Print the version'
