# Prints, one a line, what zsh offers for LINE (the cursor at its end): an
# interactive zsh in a pseudo-terminal, with compinit and FOLDER in its
# fpath, is sent LINE and a Tab; each match it adds, with what is before it
# in the word, is printed as it is added, and the shell ends after the
# completion. Usage: zsh -f complete.zsh FOLDER LINE
zmodload zsh/zpty
setup=$(mktemp)
trap 'rm -f $setup' EXIT
cat >$setup <<SETUP
PS1=''
fpath=(${(q)1} \$fpath)
autoload -Uz compinit && compinit -u -D
compadd() {
    # Calls that only look for matches are not the ones that add them.
    if [[ \${@[1,(i)(-|--)]} == *-[OAD]\ * ]]; then
        builtin compadd "\$@"
        return
    fi
    local -a found
    builtin compadd -O found "\$@"
    local match
    for match in \$found; do print -r -- "MATCH:\$IPREFIX\$match"; done
    builtin compadd "\$@"
}
ended() { print -r -- ENDED; exit }
comppostfuncs=(ended)
SETUP
zpty shell zsh -f -i
zpty -w shell "source $setup"
zpty -w -n shell "$2"$'\t'
out=
for i in {1..200}; do
    if zpty -r -t shell chunk; then
        out+=$chunk
        [[ $out == *ENDED* ]] && break
    else
        sleep 0.05
    fi
done
zpty -d shell
[[ $out == *ENDED* ]] || { print -u2 "zsh did not complete: $out"; exit 1 }
# The terminal echoes the line too, and a match may follow it on the same line.
out=${out//$'\r'/}
matches=(${(M)${(f)out//MATCH:/$'\n'MATCH:}:#MATCH:*})
(( $#matches == 0 )) || print -r -- ${(F)matches#MATCH:}
