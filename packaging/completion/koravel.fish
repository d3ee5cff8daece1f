# fish completion for koravel: its options, and after --scan the divisions of the
# data.ini in the current folder, as `koravel --list` names them.
complete -c koravel -f
complete -c koravel -l scan -x -d 'Scan a division of data.ini' -a '(koravel --list 2>/dev/null)'
complete -c koravel -l save -d 'Append the list to save.txt after the scan'
complete -c koravel -l json -d 'Print JSON Lines'
complete -c koravel -l list -d 'Print the divisions of data.ini'
complete -c koravel -l help -d 'Print the help'
complete -c koravel -l version -d 'Print the version'
