#!/bin/sh
# The completion scripts the build makes, in the real shells: bash through
# bash-completion, zsh through compinit in a pseudo-terminal, fish through
# its own "complete -C". Each line below is typed (the cursor at its end) and
# what the shell offers, sorted, must be what follows it.
set -eu
export LC_ALL=C
folder=$1 # orvelle (bash), _orvelle (zsh), orvelle.fish
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
touch places.csv notes.txt
failed=0
check() {
    line=$1
    expected=$(printf '%s' "$2" | tr ' ' '\n')
    for shell in bash zsh fish; do
        case $shell in
            bash) got=$(bash --norc "$here/completion/complete.bash" "$folder/orvelle" "$line") ;;
            zsh) got=$(zsh -f "$here/completion/complete.zsh" "$folder" "$line") ;;
            # fish 4 also offers what holds the word elsewhere (--list-formats
            # for --fo), by its own fuzzy matching: what begins with it is compared.
            fish) got=$(fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$folder/orvelle.fish" "$line" |
                            cut -f1 | awk -v word="${line##* }" 'index($0, word) == 1') ;;
        esac
        # After "=", bash offers the value alone, zsh and fish the whole word.
        got=$(printf '%s\n' "$got" | sed 's/^--[a-z-]*=//; /^$/d' | sort -u)
        if [ "$got" != "$expected" ]; then
            echo "$shell, '$line': offers [$(echo $got)], expected [$(echo $expected)]"
            failed=1
        fi
    done
}
# Options; the values of --format and --weight; comma lists of fields and
# of state codes and groups, each item after those before it, also after
# "="; file names after --output alone; nothing after --help or --version,
# nor for a value no shell can guess.
check 'orvelle --fo' '--format'
check 'orvelle -n 5 --uni' '--unique'
check 'orvelle --format geo' 'geojson geojsonseq'
check 'orvelle --weight p' 'population'
check 'orvelle --fields city,st' 'city,state city,state_name'
check 'orvelle -f zip,county' 'zip,county zip,county_fips'
check 'orvelle --exclude-state territories,V' 'territories,VA territories,VI territories,VT'
check 'orvelle --state territories,mil' 'territories,military'
check 'orvelle --fields=city,st' 'city,state city,state_name'
check 'orvelle --output=pla' 'places.csv'
check 'orvelle -o pla' 'places.csv'
check 'orvelle --count ' ''
check 'orvelle --help ' ''
check 'orvelle --version --f' ''
exit $failed
