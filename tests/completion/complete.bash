# Prints, one a line, what bash offers for LINE (the cursor at its end), as
# bash-completion calls the completion for it.
# Usage: bash complete.bash SCRIPT LINE
. /usr/share/bash-completion/bash_completion
. "$1"
line=$2
COMP_LINE=$line
COMP_POINT=${#line}
# The words as readline splits them: at blanks, and around the "=" of its word breaks.
read -ra COMP_WORDS <<<"${line//=/ = }"
[[ $line == *" " ]] && COMP_WORDS+=("")
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMPREPLY=()
# compopt speaks only to readline, which is not there.
complete -p orvelle >/dev/null && _orvelle 2>/dev/null
[ ${#COMPREPLY[@]} = 0 ] || printf '%s\n' "${COMPREPLY[@]}"
