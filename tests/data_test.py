#!/usr/bin/env python3
"""The built place database against sources it was not built from: every
civilian place's point must lie in its state (or within 2 km of it) and in
its county (or within a few kilometres of it: a ZIP code's point is the
centre of its Census area, which may reach over a county line), by the
Census Bureau's cartographic boundaries (npm us-atlas 3.0.1, 1:10 million,
2017); its zone must keep the time, winter and summer, of the zone that a
time zone boundary map (npm geo-tz 8.1.9, timezone-boundary-builder's map
from OpenStreetMap) gives its point; and the weights' state shares among
the 50 states and DC must follow the 2020 census
(tests/data/census2020-states.tsv), by data/weights-report.py's distance;
every weight of a ZIP code with residents must be its ZCTA's count in the
Census table it was built from, and its county one that holds part of the
ZCTA's land by the Census's tables, those tables pinned by data/census.sha256;
every city's name must be spelled as the Census Gazetteer's place of its state
whose name reads the same but for case, accents and Saint written "St."
(tests/data/census-places.tsv), and none may keep a form that only an
upper-case list writes ("Mcallen", "Mc Lean", "Eglin Afb", "St John"); no two
counties of a state may share a name;
and the area codes of a sample of ZIP codes (the five boroughs of New York, Los
Angeles, Houston, Chicago, Minneapolis, Atlanta, Riverside and rural places)
must be those a hand-kept table of the numbering plan's geography gives
(tests/data/area-code-sample.tsv), and every place's codes must be in
service and of its state, with every code that overlays them, by the
administrator's NPA database (data/npas.tsv), none for a military post
office or the Marshall Islands. A disagreement
fails the test unless tests/data/data-exceptions.tsv lists it with its
reason; a listed exception the data no longer needs fails it too.

The npm packages are pinned with their hashes in tests/data/npm and
installed once (npm ci) into $ORVELLE_DATA_CACHE, else
~/.cache/orvelle/data-test. Without npm the test is skipped (exit 77): the
Debian package's build has none and no network.

Usage: data_test.py zipbase.mdb
"""
import datetime
import hashlib
import importlib.util
import json
import math
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import unicodedata
import zoneinfo

# Words that only a list in capitals title-cased writes: "Mcallen" and "Mc
# Lean" for McAllen and McLean, "Afb" for AFB, "St" without its dot.
CAPITALS = re.compile(r'\bMc[a-z ]|\b(Afb|Usaf|Jber|Jbphh|Jbsa|Dhs|Natl|Pk|Apo|Fpo|Dpo|St|Ste)\b(?!\.)')
STATE_KM = 2  # a point may lie this far outside its state's coast or border line
COUNTY_KM = 5  # and this far outside its county
TOWN_KM = 25  # and a ZIP code with residents this far outside its town, as a disc of its land,
TOWN_FAR = 100  # but for this many: the town of another place of the same name, a town whose
# Census place is a city's outlying ZIP areas (Tucson, Miami) or whose internal point lies
# offshore (San Francisco's, on the Farallon Islands)
RESIDENTS_CLEAR = 0.9  # a county that holds this share of a ZIP area's residents by the survey
RESIDENTS_FAR = 55  # is its county but for this many: the survey's towns are spread evenly over
# their land, which misplaces the people of a town at a county line


def fetch(cache, lock):
    """The installed packages of the lock folder (package.json and
    package-lock.json, every package pinned with its hash), installed into
    the cache with npm ci when the cache lacks them or holds another lock."""
    modules = os.path.join(cache, 'node_modules')
    wanted = open(os.path.join(lock, 'package-lock.json'), 'rb').read()
    installed = os.path.join(cache, 'package-lock.json')
    if not (os.path.isdir(modules) and os.path.exists(installed) and open(installed, 'rb').read() == wanted):
        if not shutil.which('npm'):
            print(f'SKIP: npm is not installed, and {cache} holds no maps')
            sys.exit(77)
        os.makedirs(cache, exist_ok=True)
        for name in ('package.json', 'package-lock.json'):
            shutil.copyfile(os.path.join(lock, name), os.path.join(cache, name))
        subprocess.run(['npm', 'ci', '--ignore-scripts', '--no-audit', '--no-fund', '--silent'], cwd=cache, check=True)
    return modules


def topology(path, key):
    """The polygons of a TopoJSON object by id: lists of rings of (lon, lat)."""
    with open(path, encoding='utf-8') as f:
        topo = json.load(f)
    (sx, sy), (tx, ty) = topo['transform']['scale'], topo['transform']['translate']
    arcs = []
    for arc in topo['arcs']:
        x = y = 0
        points = []
        for dx, dy in arc:
            x += dx
            y += dy
            points.append((x * sx + tx, y * sy + ty))
        arcs.append(points)

    def ring(indexes):
        points = []
        for i in indexes:
            arc = arcs[i] if i >= 0 else arcs[~i][::-1]
            points.extend(arc if not points else arc[1:])
        return points

    shapes = {}
    for geometry in topo['objects'][key]['geometries']:
        polygons = geometry['arcs'] if geometry['type'] == 'MultiPolygon' else [geometry['arcs']]
        rings = [ring(r) for polygon in polygons for r in polygon]
        lons = [p[0] for r in rings for p in r]
        lats = [p[1] for r in rings for p in r]
        shapes[geometry['id']] = (rings, (min(lons), min(lats), max(lons), max(lats)))
    return shapes


def inside(shape, lon, lat):
    rings, (x0, y0, x1, y1) = shape
    if not (x0 <= lon <= x1 and y0 <= lat <= y1):
        return False
    crossings = 0
    for r in rings:
        for (ax, ay), (bx, by) in zip(r, r[1:]):
            if (ay > lat) != (by > lat) and lon < ax + (lat - ay) * (bx - ax) / (by - ay):
                crossings += 1
    return crossings % 2 == 1


def distance_km(shape, lon, lat):
    """How far the point lies from the shape's boundary."""
    scale = math.cos(math.radians(lat))
    best = float('inf')
    for r in shape[0]:
        for (ax, ay), (bx, by) in zip(r, r[1:]):
            ax, bx = (ax - lon) * scale, (bx - lon) * scale
            ay, by = ay - lat, by - lat
            dx, dy = bx - ax, by - ay
            t = max(0.0, min(1.0, -(ax * dx + ay * dy) / (dx * dx + dy * dy))) if dx or dy else 0.0
            best = min(best, math.hypot(ax + t * dx, ay + t * dy))
    return best * 111.2


def outside_km(shape, lon, lat):
    return 0.0 if inside(shape, lon, lat) else distance_km(shape, lon, lat)


def offsets(zone):
    """A zone's UTC offsets in January and July: zones that keep the same time agree."""
    tz = zoneinfo.ZoneInfo(zone)
    return tuple(datetime.datetime(2025, month, 15, 12, tzinfo=tz).utcoffset() for month in (1, 7))


def map_zones(modules, points):
    """The zone of each point on the map, the first where it names several."""
    script = ('const {find} = require(process.argv[1]); let text = "";'
              'for (const [lat, lon] of JSON.parse(require("fs").readFileSync(0))) text += find(lat, lon)[0] + "\\n";'
              'process.stdout.write(text);')
    result = subprocess.run(['node', '-e', script, os.path.join(modules, 'geo-tz', 'dist', 'find-now.js')],
                            input=json.dumps(points), capture_output=True, text=True, check=True)
    return result.stdout.split()


def load(name, path):
    """A module of the build's scripts (data/weights-report.py, data/make-places.py),
    which import one another from their folder."""
    if os.path.dirname(path) not in sys.path:
        sys.path.insert(0, os.path.dirname(path))
    found = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def name_key(name):
    """A name as the Census writes it (Saint as "St."), without case and accents."""
    census = re.sub(r'\bSaint\b', 'St.', name)
    return census, ''.join(c for c in unicodedata.normalize('NFKD', census) if not unicodedata.combining(c)).lower()


def check_names(db, census_places, gnis_places, check):
    """Cities spelled as the Census spells the same name; the territories',
    which no postal list here names, each a Census place of Puerto Rico, or in
    the island areas (which the Census's places leave out) a place of GNIS or
    the island or municipality of its one ZIP code, and named so; counties' names unique in their
    state; the number of places the Census names."""
    spellings = {}
    with open(census_places, encoding='utf-8') as f:
        next(f)
        for line in f:
            state, name = line.split('\t')[:2]
            census, key = name_key(name)
            spellings.setdefault((state, key), set()).add(census)
    islands = {'VI', 'GU', 'AS', 'MP'}
    with open(gnis_places, encoding='utf-8') as f:
        island_names = [(cells[0], cells[3]) for cells in (line.rstrip('\n').split('\t') for line in f)
                        if cells[0] in islands]
    # An island or municipality of one ZIP code only may name its post office
    # ("St. Thomas Island", "Saipan Municipality": the kind is the last word).
    for state, county in db.execute('SELECT state, county FROM places WHERE county IS NOT NULL'
                                    ' GROUP BY county_fips HAVING count(*) = 1'):
        if state in islands and ' ' in county:
            island_names.append((state, county.rsplit(' ', 1)[0]))
    for state, name in island_names:
        census, key = name_key(name)
        spellings.setdefault((state, key), set()).add(census)
    named = 0
    for zip_code, city, state in db.execute('SELECT zip, city, state FROM places'):
        census, key = name_key(city)
        if CAPITALS.search(city):
            check('name', zip_code, f'{city}, {state}: written as an upper-case list writes it')
        elif (state in islands or state == 'PR') and (state, key) not in spellings:
            check('name', zip_code, f'{city}, {state}: neither GNIS nor the Census names a place so')
        elif (state, key) in spellings:
            named += 1
            if census not in spellings[(state, key)]:
                check('name', zip_code, f'{city}, {state}: the Census writes {" or ".join(sorted(spellings[(state, key)]))}')
    counties = {}
    for state, county, fips in db.execute('SELECT DISTINCT state, county, county_fips FROM places'
                                          ' WHERE county_fips IS NOT NULL ORDER BY county_fips'):
        if counties.setdefault((state, county), fips) != fips:
            check('county name', fips, f'{county}, {state}: also the name of {counties[(state, county)]}')
    return named


def read_exceptions(path):
    exceptions = {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            if line.startswith('#') or not line.strip():
                continue
            cells = line.rstrip('\n').split('\t')
            if len(cells) != 3 or not cells[2].strip():
                sys.exit(f'data_test: {path}:{number}: expected check, zip and a reason')
            exceptions[(cells[0], cells[1])] = cells[2]
    return exceptions


def check_area_codes(db, npas_path, sample_path):
    """The area codes against the hand-kept sample and the administrator's
    codes in service: (check, zip, why) for each disagreement."""
    npas, complexes = {}, {}
    for line in open(npas_path, encoding='utf-8'):
        if line.startswith('#') or line.startswith('npa\t'):
            continue
        npa, state, _, overlays = line.rstrip('\n').split('\t')
        npas[npa] = state
        complexes[npa] = [set(c.split('/')) for c in overlays.split(',') if c]
    faults = []
    codes = {}
    for zip_code, state, listed in db.execute('SELECT zip, state, area_codes FROM places'):
        mine = listed.split(',') if listed else []
        codes[zip_code] = mine
        if (state in ('AA', 'AE', 'AP', 'MH')) != (not mine):
            faults.append(('area_codes', zip_code, f'{state}: "{listed or ""}"'))
        for npa in mine:
            if npas.get(npa) != state:
                faults.append(('area_codes', zip_code, f'{state}: {npa} is no code of {state} in service'))
        # The whole overlay complex of at least one of its codes (the rows of
        # codes that overlay two complexes, as 470 or 679, name their union
        # or only one of them).
        whole = [npa for npa in mine if len(complexes.get(npa, [])) == 1
                 and {n for n in complexes[npa][0] if npas.get(n) == state} <= set(mine)]
        if mine and not whole and any(complexes.get(npa) for npa in mine):
            faults.append(('area_codes', zip_code, f'{state}: {listed} holds no overlay complex whole'))
    for line in open(sample_path, encoding='utf-8'):
        if line.startswith('#') or not line.strip():
            continue
        zip_code, wanted, where = line.rstrip('\n').split('\t')
        if sorted(codes.get(zip_code, [])) != sorted(wanted.split(',')):
            faults.append(('area_code', zip_code, f'{where}: {",".join(codes.get(zip_code, [])) or "none"},'
                                                  f' the sample {wanted}'))
    return faults


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    data = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'data')
    cache = os.environ.get('ORVELLE_DATA_CACHE') or os.path.join(
        os.environ.get('XDG_CACHE_HOME') or os.path.expanduser('~/.cache'), 'orvelle', 'data-test')
    modules = fetch(cache, os.path.join(data, 'npm'))
    states = topology(os.path.join(modules, 'us-atlas', 'states-10m.json'), 'states')
    counties = topology(os.path.join(modules, 'us-atlas', 'counties-10m.json'), 'counties')
    exceptions = read_exceptions(os.path.join(data, 'data-exceptions.tsv'))
    census_path = os.path.join(data, 'census2020-states.tsv')

    db = sqlite3.connect(f'file:{sys.argv[1]}?mode=ro', uri=True)
    rows = db.execute("SELECT zip, city, state, county, county_fips, latitude, longitude, timezone, population"
                      " FROM places WHERE state NOT IN ('AA', 'AE', 'AP') AND latitude IS NOT NULL").fetchall()
    faults, used = [], set()

    def check(kind, zip_code, text):
        if (kind, zip_code) in exceptions:
            used.add((kind, zip_code))
        else:
            faults.append(f'{kind}\t{zip_code}\t{text}')

    state_fips = {}
    for (fips,) in db.execute("SELECT DISTINCT substr(county_fips, 1, 2) || state FROM places"
                              " WHERE county_fips IS NOT NULL"):
        state_fips[fips[2:]] = fips[:2]
    far = {'state': 0, 'county': 0}
    for zip_code, city, state, county, fips, lat, lon, zone, people in rows:
        place = f'{city}, {state}: {lat:.4f},{lon:.4f}'
        shape = states.get(state_fips.get(state, ''))
        if shape:
            km = outside_km(shape, lon, lat)
            if km > STATE_KM:
                far['state'] += 1
                check('state', zip_code, f'{place} lies {km:.1f} km outside {state}')
        if fips and fips in counties:
            km = outside_km(counties[fips], lon, lat)
            if km > COUNTY_KM:
                far['county'] += 1
                check('county', zip_code, f'{place} lies {km:.1f} km outside {county} ({fips})')
        elif fips:
            # A county younger than the boundaries is listed once, by its code.
            check('county', fips, f'{county} ({fips}) is no county of the Census boundaries')
    zones = map_zones(modules, [(lat, lon) for *_, lat, lon, _, _ in rows])
    for (zip_code, city, state, _, _, lat, lon, zone, _), mapped in zip(rows, zones):
        if zone and offsets(zone) != offsets(mapped):
            check('zone', zip_code, f'{city}, {state}: {zone}, the map {mapped} at {lat:.4f},{lon:.4f}')

    # Every ZIP code with residents lies near its town: the Census Gazetteer's
    # place of the post office's name in its state, its internal point and
    # land as a disc (a ZIP code whose town is no Census place is not checked).
    source = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'data')
    places = load('make_places', os.path.join(source, 'make-places.py'))
    towns = {}
    with open(os.path.join(data, 'census-places.tsv'), encoding='utf-8') as f:
        next(f)
        for state, name, lat, lon, land in (line.rstrip('\n').split('\t') for line in f):
            towns.setdefault((state, places.town_key(name)), []).append((float(lat), float(lon), float(land)))
    far['town'] = 0
    for zip_code, city, state, _, _, lat, lon, _, people in rows:
        if people > 1 and (state, places.town_key(city)) in towns:
            # Of the towns of that name in the state, the nearest.
            km = min(places.distance_km(lat, lon, t_lat, t_lon) - math.sqrt(land / math.pi)
                     for t_lat, t_lon, land in towns[state, places.town_key(city)])
            if km > TOWN_KM:
                far['town'] += 1
    if far['town'] > TOWN_FAR:
        faults.append(f'town\t-\t{far["town"]} ZIP codes with residents over {TOWN_KM} km outside their town '
                      f'(at most {TOWN_FAR})')

    # The county where most of a ZIP area's residents live, by the survey's
    # residents of the counties' subdivisions (2019-2023) over their land:
    # where it names one county clearly, the place's county is that one.
    estimate = {}
    with open(os.path.join(data, 'county-residents-2023.tsv'), encoding='utf-8') as f:
        next(f)
        for zip_code, fips, people in (line.rstrip('\n').split('\t') for line in f):
            estimate.setdefault(zip_code, {})[fips] = int(people)
    far['residents'] = 0
    for zip_code, _, state, _, fips, _, _, _, people in rows:
        counts = {code: n for code, n in estimate.get(zip_code, {}).items() if fips and code[:2] == fips[:2]}
        if people > 1 and counts and max(counts.values()) >= RESIDENTS_CLEAR * sum(counts.values()) > 0:
            far['residents'] += max(counts, key=counts.get) != fips
    if far['residents'] > RESIDENTS_FAR:
        faults.append(f'county\t-\t{far["residents"]} ZIP codes name another county than the one where '
                      f'the survey puts {RESIDENTS_CLEAR:.0%} of their residents (at most {RESIDENTS_FAR})')

    # The distance of data/weights-report.py, over every state of the database.
    report = load('weights_report', os.path.join(source, 'weights-report.py'))
    weights = dict(db.execute('SELECT state, sum(population) FROM places GROUP BY state'))
    distance = report.census_distance(weights, report.read_census(census_path))
    if distance > 0.01:
        faults.append(f'weights\t-\tstate shares {distance:.4f} from the 2020 census (at most 0.01)')

    # The residents: the pinned Census table, and no weight but its counts
    # (the island areas apart, whose census counts are spread over their ZIP codes).
    for line in open(os.path.join(source, 'census.sha256'), encoding='utf-8'):
        digest, name = line.split()
        if hashlib.sha256(open(os.path.join(source, name), 'rb').read()).hexdigest() != digest:
            faults.append(f'census\t-\tdata/{name} is not the file data/census.sha256 pins')
    residents = dict(line.rstrip('\n').split('\t') for line in open(os.path.join(source, 'zcta-residents.tsv')))
    # Every ZIP code with residents names a county that holds part of its ZCTA's land.
    parts = {tuple(line.split('\t')[:2]) for line in open(os.path.join(source, 'zcta-counties.tsv'))}
    for zip_code, state, people, fips in db.execute("SELECT zip, state, population, county_fips FROM places"
                                                    " WHERE population > 1"
                                                    " AND state NOT IN ('VI', 'GU', 'AS', 'MP')"):
        if residents.get(zip_code) != f'{people:.0f}':
            faults.append(f'residents\t{zip_code}\t{state}: weight {people:.0f}, the Census table '
                          f'{residents.get(zip_code, "no count")}')
        if (zip_code, fips) not in parts:
            faults.append(f'county\t{zip_code}\t{state}: {fips} holds none of its Census area')

    # Every build input is a listed source under terms a Debian archive may
    # redistribute: the pinned Census tables, the npm packages the scripts
    # pack, and the tables the build reads.
    free = {'public-domain', 'CC-BY-4.0', 'MIT', 'Apache-2.0'}
    sources = {}
    for line in open(os.path.join(source, 'sources.tsv'), encoding='utf-8'):
        if not line.startswith('#') and line.strip():
            name, _, terms = line.rstrip('\n').split('\t')
            sources[name] = terms
    inputs = {line.split()[1] for line in open(os.path.join(source, 'census.sha256'))}
    inputs |= {'timezones.tsv', 'areacodes.tsv', 'npas.tsv', 'place-words.tsv', 'island-post-offices.tsv'}
    for script in ('make-zipcodes.sh', 'make-areacodes.sh'):
        for line in open(os.path.join(source, script), encoding='utf-8'):
            if line.startswith('npm pack'):
                inputs |= {'npm:' + word for word in line.split() if '@' in word}
    for name in sorted(inputs):
        if sources.get(name) not in free:
            faults.append(f'source\t{name}\t{sources.get(name, "not listed in data/sources.tsv")}')

    named = check_names(db, os.path.join(data, 'census-places.tsv'), os.path.join(source, 'place-names.tsv'), check)

    area_faults = check_area_codes(db, os.path.join(source, 'npas.tsv'), os.path.join(data, 'area-code-sample.tsv'))
    for kind, zip_code, text in area_faults:
        if kind == 'area_code':
            check(kind, zip_code, text)
        else:
            faults.append(f'{kind}\t{zip_code}\t{text}')

    stale = [f'{kind}\t{zip_code}' for kind, zip_code in exceptions if (kind, zip_code) not in used]
    print(f'{len(rows)} places checked: {far["state"]} outside their state by over {STATE_KM} km, '
          f'{far["county"]} outside their county by over {COUNTY_KM} km, {far["town"]} outside their town by '
          f'over {TOWN_KM} km, {far["residents"]} in another county than their residents\'; state shares {distance:.4f} '
          f'from the census; {named} names the Census writes too; {len(used)} listed exceptions met')
    for fault in faults:
        print('FAULT\t' + fault)
    for line in stale:
        print('STALE\t' + line + '\t(listed, but the data now agrees: take it off the list)')
    sys.exit(1 if faults or stale else 0)


if __name__ == '__main__':
    main()
