#!/usr/bin/env python3
"""Writes places.tsv, the one table the place database is built from: every
ZIP code with its city, state, state name, county, county FIPS code,
coordinates, time zone and population weight. From the GeoNames US postal
codes (US.txt: the ZIP codes and their cities), the Census Bureau's and the
USGS's tables that make-census.sh writes into CENSUSDIR (which ZIP codes are
Census ZIP Code Tabulation Areas, with their points: zcta-points.tsv; their
residents: zcta-residents.tsv; their land and residents by county and
residents by town: zcta-counties.tsv, zcta-county-residents.tsv,
zcta-place-residents.tsv; the counties' names: census-counties.tsv; the
towns' points: town-points.tsv; GNIS's town names: place-names.tsv, which
place_names.py spells with the hand-kept place-words.tsv), the hand-kept
island areas' post offices (island-post-offices.tsv) and the hand-kept time
zone table (timezones.tsv).

Usage: make-places.py US.txt CENSUSDIR timezones.tsv OUTDIR
"""
import collections
import math
import os
import re
import sys

import place_names

STATES = {  # postal code: (FIPS code, name)
    'AL': ('01', 'Alabama'), 'AK': ('02', 'Alaska'), 'AZ': ('04', 'Arizona'),
    'AR': ('05', 'Arkansas'), 'CA': ('06', 'California'), 'CO': ('08', 'Colorado'),
    'CT': ('09', 'Connecticut'), 'DE': ('10', 'Delaware'), 'DC': ('11', 'District of Columbia'),
    'FL': ('12', 'Florida'), 'GA': ('13', 'Georgia'), 'HI': ('15', 'Hawaii'),
    'ID': ('16', 'Idaho'), 'IL': ('17', 'Illinois'), 'IN': ('18', 'Indiana'),
    'IA': ('19', 'Iowa'), 'KS': ('20', 'Kansas'), 'KY': ('21', 'Kentucky'),
    'LA': ('22', 'Louisiana'), 'ME': ('23', 'Maine'), 'MD': ('24', 'Maryland'),
    'MA': ('25', 'Massachusetts'), 'MI': ('26', 'Michigan'), 'MN': ('27', 'Minnesota'),
    'MS': ('28', 'Mississippi'), 'MO': ('29', 'Missouri'), 'MT': ('30', 'Montana'),
    'NE': ('31', 'Nebraska'), 'NV': ('32', 'Nevada'), 'NH': ('33', 'New Hampshire'),
    'NJ': ('34', 'New Jersey'), 'NM': ('35', 'New Mexico'), 'NY': ('36', 'New York'),
    'NC': ('37', 'North Carolina'), 'ND': ('38', 'North Dakota'), 'OH': ('39', 'Ohio'),
    'OK': ('40', 'Oklahoma'), 'OR': ('41', 'Oregon'), 'PA': ('42', 'Pennsylvania'),
    'RI': ('44', 'Rhode Island'), 'SC': ('45', 'South Carolina'), 'SD': ('46', 'South Dakota'),
    'TN': ('47', 'Tennessee'), 'TX': ('48', 'Texas'), 'UT': ('49', 'Utah'),
    'VT': ('50', 'Vermont'), 'VA': ('51', 'Virginia'), 'WA': ('53', 'Washington'),
    'WV': ('54', 'West Virginia'), 'WI': ('55', 'Wisconsin'), 'WY': ('56', 'Wyoming'),
    'AS': ('60', 'American Samoa'), 'GU': ('66', 'Guam'), 'MH': ('68', 'Marshall Islands'),
    'MP': ('69', 'Northern Mariana Islands'), 'PR': ('72', 'Puerto Rico'),
    'VI': ('78', 'U.S. Virgin Islands'),
    'AA': (None, 'Armed Forces Americas'), 'AE': (None, 'Armed Forces Europe'),
    'AP': (None, 'Armed Forces Pacific'),
}
# GeoNames' county codes are FIPS county codes in the states; the freely
# associated states have none (GeoNames' own code there is not a FIPS code).
NO_FIPS_COUNTIES = {'MH'}
# The places outside the states whose country code is their postal code.
TERRITORIES = {'AS', 'GU', 'MH', 'MP', 'PR', 'VI'}


MILITARY = {'AA', 'AE', 'AP'}


def range_state(zip_code):
    """The postal service's state for a ZIP code by its first three digits,
    for the military ranges and the Hawaiian range of the two naval FPOs."""
    prefix = int(zip_code[:3])
    if prefix == 340:
        return 'AA'
    if 90 <= prefix <= 98:
        return 'AE'
    if 962 <= prefix <= 966:
        return 'AP'
    if 967 <= prefix <= 968:
        return 'HI'
    return None


def fail(message):
    sys.exit('make-places: ' + message)


def read_postal(path):
    rows = []
    with open(path, encoding='utf-8') as f:
        for line in f:
            c = line.rstrip('\n').split('\t')
            zip_code, city, state, county, county_code = c[1], c[2], c[4], c[5], c[6]
            lat, lon = c[9], c[10]
            military = city.split(' ')[0] in ('APO', 'FPO', 'DPO') and not state
            if military:
                # The text's code is often wrong ("APO AA" in the Pacific);
                # the ZIP range decides.
                city = city.split(' ')[0]
                state = range_state(zip_code)
                if state is None:
                    fail('military ZIP code outside the military ranges: ' + zip_code)
            if not zip_code or not city or state not in STATES:
                fail('row without zip, city or a known state: ' + line.rstrip('\n'))
            fips = None
            if county and state not in NO_FIPS_COUNTIES:
                if len(county_code) != 3 or not county_code.isdigit():
                    fail('county without a three-digit code: ' + line.rstrip('\n'))
                fips = STATES[state][0] + county_code
            else:
                county = None
            rows.append({'zip': zip_code, 'city': city, 'state': state, 'county': county,
                         'fips': fips, 'lat': lat or None, 'lon': lon or None, 'military': military})
    return rows


def read_timezones(path, rows):
    """State defaults, county zones and ZIP-code zones of the hand-kept table."""
    counties = {(r['state'], r['county']) for r in rows if r['county']}
    zips = {r['zip'] for r in rows}
    by_state, by_county, by_zip = {}, {}, {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            if line.startswith('#') or not line.strip():
                continue
            c = line.rstrip('\n').split('\t')
            if len(c) < 4:
                fail(f'{path}:{number}: expected state, county, zip, zone')
            state, county, zip_code, zone = c[:4]
            if not os.path.exists('/usr/share/zoneinfo/' + zone):
                fail(f'{path}:{number}: {zone} is not a zone of the tz database (package tzdata)')
            if zip_code:
                if zip_code not in zips:
                    fail(f'{path}:{number}: no ZIP code {zip_code}')
                by_zip[zip_code] = zone
            elif county:
                if (state, county) not in counties:
                    fail(f'{path}:{number}: no county {county} in {state}')
                by_county[(state, county)] = zone
            else:
                by_state[state] = zone
    return by_state, by_county, by_zip


def zone_of(row, zones):
    by_state, by_county, by_zip = zones
    return by_zip.get(row['zip']) or by_county.get((row['state'], row['county'])) or by_state.get(row['state'])


# The county-equivalents of the island areas, which the Gazetteer's counties
# and the ZCTA counts leave out, and their residents: the 2020 Island Areas
# censuses, spread evenly over the county's ZIP codes.
ISLAND_STATES = {'AS', 'GU', 'MP', 'VI'}
ISLAND_AREAS = {
    '66010': ('Guam', 153836),
    '60010': ('Eastern', 17059), '60020': ("Manu'a", 1143), '60040': ('Swains Island', 0),
    '60050': ('Western', 31508),
    '69085': ('Northern Islands', 7), '69100': ('Rota', 1893), '69110': ('Saipan', 43385),
    '69120': ('Tinian', 2044),
    '78010': ('St. Croix', 41004), '78020': ('St. John', 3881), '78030': ('St. Thomas', 42261),
}
# The kinds of county the Census writes after a county's name, left out here
# ("Baltimore city" is "Baltimore", as "Baltimore County").
COUNTY_KINDS = (' City and Borough', ' Census Area', ' Planning Region', ' County', ' Parish', ' Borough',
                ' Municipality', ' Municipio', ' city')
# A ZIP code where nobody lives (post office boxes, one firm or building, a
# military post office, a ZCTA without residents) weighs this much: drawable,
# rarely; all of them together take well under 1% of weighted draws.
NO_RESIDENTS = 1
# A ZIP code farther than this from every ZCTA of its state borrows no county
# (Wake Island, 3,700 km from Honolulu).
BORROW_KM = 50
# ZCTAs whose residents by county are even to a point (2010): the county of
# the town.
COUNTIES = {
    '96076': '06089',  # Platina: Shasta (63 residents), not Trinity (64)
}
# ZCTAs whose point (the Census's internal point) lies offshore or in the
# wilds, far from its town: GeoNames' point of the ZIP code stands for them.
POINTS = {
    '93042': (None, None),  # Point Mugu: the ZCTA holds San Nicolas Island; GeoNames' point, the base
    '97759': (None, None),  # Sisters: its point lies in the Linn wilderness; GeoNames' point, the town
    '03905': (None, None),  # Kittery Point: mostly water, its point on the Isles of Shoals
    '11957': (None, None),  # Orient: mostly water, its point on Great Gull Island
    '04674': (None, None),  # Seal Cove: mostly water, its point offshore
    '78402': (None, None),  # Corpus Christi's port: mostly water, its point offshore
}


def read_census(path):
    """A Census table of make-census.sh: its cells after the ZIP code, by ZCTA."""
    with open(path, encoding='utf-8') as f:
        next(f)
        return {cells[0]: cells[1:] for cells in (line.rstrip('\n').split('\t') for line in f)}


def read_land(path):
    """The land of each ZCTA by county (make-census.sh's zcta-counties.tsv)."""
    land = {}
    with open(path, encoding='utf-8') as f:
        next(f)
        for line in f:
            zip_code, county, area = line.rstrip('\n').split('\t')
            land.setdefault(zip_code, {})[county] = float(area)
    return land


def county_names(path):
    """Every county's name, without its kind, by FIPS code."""
    names = {fips: name for fips, (name, _) in ISLAND_AREAS.items()}
    for fips, (name,) in read_census(path).items():
        names[fips] = next((name[:-len(kind)] for kind in COUNTY_KINDS if name.endswith(kind)), name)
    return names


def read_parts(path):
    """A table of residents by part of a ZCTA (make-census.sh): residents by
    code (county or place) by ZCTA."""
    parts = {}
    for zip_code, code, people in read_rows(path):
        parts.setdefault(zip_code, {})[code] = parts.get(zip_code, {}).get(code, 0) + int(people)
    return parts


def read_rows(path):
    with open(path, encoding='utf-8') as f:
        next(f)
        return [line.rstrip('\n').split('\t') for line in f]


# The counties of 2010 that the Census has since renamed or split: their
# residents count in the county of today that holds the ZCTA's land.
RENAMED_COUNTIES = {'46113': ('46102',), '02270': ('02158',), '51515': ('51019',), '02261': ('02063', '02066')}


def county_residents(shares, parts):
    """The residents of the ZCTA's land parts (of its state) by county at the
    2010 census: none where no part counted any (a ZCTA new since 2010, or
    Connecticut, whose counties of 2010 are gone)."""
    people = dict.fromkeys(shares, 0)
    for code, count in (parts or {}).items():
        counties = [c for c in RENAMED_COUNTIES.get(code, (code,)) if c in shares]
        land = sum(shares[c] for c in counties)
        for c in counties:
            people[c] += count * (shares[c] / land if land else 1 / len(counties))
    return people


# Residents by county even to this share of a ZCTA's: the town's county.
EVEN_RESIDENTS = 0.1


def town_key(name):
    """A town's name as compared with a post office's: lower case, without
    the GNIS civil division's kind, "St." as "Saint", no punctuation."""
    name = name.lower()
    for prefix in ('city of ', 'town of ', 'village of ', 'borough of ', 'township of ', 'municipality of '):
        name = name.removeprefix(prefix)
    name = name.removesuffix(' census designated place').replace('-', ' ').replace('.', '').replace("'", '')
    words = ['saint' if w in ('st', 'ste') else 'fort' if w == 'ft' else 'mount' if w == 'mt' else w
             for w in name.split()]
    return ' '.join(words)


# How far a ZCTA's internal point may lie from the point of its town before
# the town's stands for it (see town_point): a town of one ZCTA, whose people
# are the area's, whose point GeoNames confirms; a town of several ZCTAs that
# holds most of this one's residents; and any other.
TOWN_ALONE_KM = 5
TOWN_MOST_KM = 10
TOWN_KM = 20
# GeoNames' point of a ZIP code and a town's point this near are the same town.
TOWN_SAME_KM = 10
# A county by residents that holds less than this share of a ZCTA's land
# (percent) may well not hold its internal point.
LAND_MOST = 60


def town_point(point, town, fips, shares, land, near_km, alone, confirmed):
    """The ZCTA's point: its internal point, or its town's (town: latitude,
    longitude and county) where the internal point lies away from the
    town's residents. Only where the ZCTA's county by residents is the
    town's; then where another county holds more of its land (the internal
    point lies in that county's part, as Anchorage's 99503 in Bethel's
    wilds) or, where a second source confirms the town's point, much of it
    (Pleasanton CA 94588, 98% of whose residents live in Alameda County and
    49% of whose land lies in Contra Costa), or where the internal point
    lies farther than near_km from the
    town: the town's point for a town of one ZCTA (alone), else only in a
    ZCTA large enough to reach the town (its land, as a disc, at least half
    as wide as the distance: not a city's outlying ZIP area)."""
    if not town or not point[0] or town[2] != fips:
        return point
    moved = f'{town[0]:.5f}', f'{town[1]:.5f}'
    if max(shares.values()) > shares[fips] or (confirmed and shares[fips] < LAND_MOST):
        return moved
    km = distance_km(float(point[0]), float(point[1]), town[0], town[1])
    if km > near_km and (alone or 2 * math.sqrt(land * 2.59 / math.pi) >= km):
        return moved
    return point


def county_and_point(point, fips, shares, land, key, state, geonames, people_by_county, places, towns,
                     zctas_of_town, by_hand):
    """A ZCTA's county and point, given its internal point, its county by
    residents (fips), its land shares by county, the post office's town
    (key, as town_key writes it), GeoNames' point and county of the ZIP
    code, its residents by county and by Census place, the towns' points and
    how many ZCTAs the town names."""
    # The town that the post office names: the Census place of that name
    # that counts residents of the ZCTA, else GeoNames' point of the ZIP code.
    town, people = next((((towns[p][3], towns[p][4], towns[p][2]), people) for p, people in places.items()
                         if people and p in towns and towns[p][0] == state
                         and towns[p][1] in (key, key + ' city')), (None, 0))
    # A town of one ZCTA, and whether GeoNames' point of the ZIP code, the
    # same town as another source places it, confirms the town's point.
    alone = bool(town) and zctas_of_town == 1
    confirmed = bool(town and geonames[0]
                     and distance_km(town[0], town[1], float(geonames[0]), float(geonames[1])) <= TOWN_SAME_KM)
    # Where the town's county counts nearly as many of its residents as
    # the leading one (Lower Peach Tree AL, 438 and 419), the town's.
    everyone = sum(people_by_county.values())
    if (town and town[2] in shares and not by_hand
            and people_by_county[fips] - people_by_county[town[2]] < EVEN_RESIDENTS * everyone):
        fips = town[2]
    if not town and geonames[0]:
        town = (float(geonames[0]), float(geonames[1]), geonames[2])
    if (not town or town[2] != fips) and max(shares.values()) > shares[fips]:
        # The internal point lies in another county's part than its
        # residents' and the post office's town is not there either: the
        # point of the most populous town of the ZCTA in its county.
        town = max(((towns[p][3], towns[p][4], towns[p][2], people) for p, people in places.items()
                    if people and p in towns and towns[p][2] == fips), key=lambda t: t[3], default=town)
    most = 2 * people >= everyone > 0
    near_km = TOWN_ALONE_KM if alone and confirmed else TOWN_MOST_KM if most else TOWN_KM
    return fips, town_point(point, town, fips, shares, land, near_km, alone, confirmed)


def read_towns(census):
    """The towns' points by Census place: state, name (as town_key writes
    it), county, latitude and longitude."""
    return {place: (state, town_key(name), county, float(lat), float(lon))
            for place, state, name, county, lat, lon in read_rows(census + '/town-points.tsv')}


# Puerto Rico's ZIP areas whose most populous Census place is not the town
# the post office is named for: they bear their municipio's name.
MUNICIPIO_TOWNS = {
    '00617': "Imbéry: Barceloneta's own town counts nearly as many",
    '00687': "Barahona: Morovis' own town lies in the area too",
    '00688': 'La Alianza: the post office is Sabana Hoyos, nearly as many',
    '00704': 'Coquí: the post office is Aguirre (Central Aguirre)',
    '00707': "Emajagua: Maunabo's own town lies in the area too",
    '00715': "Capitanejo: the post office is Mercedita, Ponce's",
    '00751': "Coco: Salinas' own town lies in the area too",
    '00953': "Pájaros: Toa Alta's own town lies in the area too",
}
# The kinds of Puerto Rico's Census places, left out of their names.
PLACE_KINDS = re.compile(r' (Zona Urbana|Comunidad)$')


def read_post_offices(path):
    """The island areas' post offices' towns by ZIP code (island-post-offices.tsv)."""
    with open(path, encoding='utf-8') as f:
        rows = [line.rstrip('\n').split('\t') for line in f if not line.startswith('#')]
    if rows[0][:2] != ['zip', 'city'] or any(len(r) < 2 or not r[1] for r in rows[1:]):
        fail(f'{path}: expected zip, city, note')
    return {r[0]: r[1] for r in rows[1:]}


def territory_town(zip_code, fips, names, people, town_names, post_offices):
    """The town of a territory's ZIP area, which GeoNames lacks: in the island
    areas its post office's (island-post-offices.tsv); in Puerto Rico the
    Census place (zona urbana or comunidad) where most of its residents live
    by the 2010 census, else, or where MUNICIPIO_TOWNS says that place is not
    the post office's town, the municipio's name."""
    if fips[:2] != STATES['PR'][0]:
        if zip_code not in post_offices:
            fail(f'ZCTA {zip_code} has no post office in island-post-offices.tsv')
        return post_offices[zip_code]
    place = max(people, key=lambda p: (people[p], p), default=None)
    if zip_code not in MUNICIPIO_TOWNS and place in town_names:
        return town_names[place]
    return names[fips]


def read_zctas(census, postal, names, towns, post_offices_path):
    """The ZCTAs by ZIP code, every one of the Census Gazetteer: state and
    city (GeoNames' post office; in the territories, which GeoNames' US
    dump lacks, territory_town's), county (where most of its residents live), point
    and residents (none for the island areas, which the survey leaves
    out)."""
    residents = read_census(census + '/zcta-residents.tsv')
    land = read_land(census + '/zcta-counties.tsv')
    county_people = read_parts(census + '/zcta-county-residents.tsv')
    place_people = read_parts(census + '/zcta-place-residents.tsv')
    town_names = {place: PLACE_KINDS.sub('', name) for place, state, name, *_ in read_rows(census + '/town-points.tsv')
                  if state == 'PR'}
    post_offices = read_post_offices(post_offices_path)
    by_fips = {fips: code for code, (fips, _) in STATES.items() if fips}
    cities = {}
    for r in postal:
        if not r['military']:
            cities.setdefault(r['zip'], (r['state'], r['city'], r['lat'], r['lon'], r['fips']))
    points = read_rows(census + '/zcta-points.tsv')
    zctas_of_town = collections.Counter((cities[z][0], town_key(cities[z][1])) for z, *_ in points if z in cities)
    zctas = {}
    for zip_code, lat, lon in points:
        if zip_code not in land:
            fail(f'ZCTA {zip_code} has no county in the Census tables')
        total = sum(land[zip_code].values()) or 1
        if zip_code in cities:
            state, city, town_lat, town_lon, town_fips = cities[zip_code]
        else:
            # A ZCTA that GeoNames lacks: a territory's, named for its county.
            state = by_fips.get(max(land[zip_code], key=land[zip_code].get)[:2])
            if state not in TERRITORIES:
                fail(f'ZCTA {zip_code} of {state} is no postal code of GeoNames')
            city = town_lat = town_lon = town_fips = None
        if zip_code not in residents and state not in ISLAND_STATES:
            fail(f'ZCTA {zip_code} has no residents in the Census table')
        # The counties of its state, by share of the ZCTA's land in percent
        # (a few reach over a state line).
        shares = {code: 100 * area / total for code, area in land[zip_code].items()
                  if code[:2] == STATES[state][0]}
        if not shares:
            fail(f'ZCTA {zip_code}: no county in its state {state}')
        people_by_county = county_residents(shares, county_people.get(zip_code))
        fips = COUNTIES.get(zip_code) or max(shares, key=lambda code: (people_by_county[code], shares[code], code))
        if not city:
            city = territory_town(zip_code, fips, names, place_people.get(zip_code, {}), town_names, post_offices)
        lat, lon = POINTS.get(zip_code, (f'{float(lat):.5f}', f'{float(lon):.5f}'))
        fips, (lat, lon) = county_and_point(
            (lat, lon), fips, shares, total, town_key(city), state, (town_lat, town_lon, town_fips),
            people_by_county, place_people.get(zip_code, {}), towns, zctas_of_town[state, town_key(city)],
            zip_code in COUNTIES)
        # Where most of a ZCTA lies in another state, its centre lies there:
        # the ZIP code keeps GeoNames' point, its town's.
        if sum(shares.values()) < 50 and state not in TERRITORIES:
            lat = lon = None
        zctas[zip_code] = {'zip': zip_code, 'city': city, 'state': state,
                           'county': names[fips], 'fips': fips, 'lat': lat, 'lon': lon, 'parts': set(shares),
                           'people': int(residents[zip_code][0]) if zip_code in residents else None}
    for zip_code in post_offices:
        if zip_code not in zctas:
            fail(f'island-post-offices.tsv: {zip_code} is no ZCTA')
    return zctas


def distance_km(lat1, lon1, lat2, lon2):
    scale = math.cos(math.radians((lat1 + lat2) / 2))
    return 111.2 * math.hypot(lat1 - lat2, (lon1 - lon2) * scale)


def with_zctas(rows, zctas, names, places):
    """Each postal row takes its ZCTA's county, point and residents; a ZIP
    code that is no ZCTA takes the county and point of its town's most
    populous ZCTA, else those of the Census place of its town's name in its
    state nearest GeoNames' point (within BORROW_KM), else keeps its own
    county where one of the five nearest ZCTAs of its state reaches into it
    (else it takes the nearest one's), and has no residents. The
    territories' ZCTAs, missing from the postal codes, are added. Every
    ZCTA's residents are counted once."""
    towns, by_state, by_name = {}, {}, {}
    for state, key, county, lat, lon in places.values():
        by_name.setdefault((state, key), []).append((lat, lon, county))
    for z in zctas.values():
        by_state.setdefault(z['state'], []).append(z)
        key = (z['state'], z['city'].lower())
        if key not in towns or (z['people'] or 0) > (towns[key]['people'] or 0):
            towns[key] = z
    placed = set()
    for r in rows:
        r['people'] = 0
        if r['military'] or r['state'] in MILITARY:
            continue
        z = zctas.get(r['zip'])
        if z and r['zip'] not in placed:
            placed.add(r['zip'])
            r.update(county=z['county'], fips=z['fips'], people=z['people'] or 0)
            if z['lat'] is not None:
                r.update(lat=z['lat'], lon=z['lon'])
            continue
        town = towns.get((r['state'], r['city'].lower()))
        if town and town['lat'] is not None:
            r.update(county=town['county'], fips=town['fips'], lat=town['lat'], lon=town['lon'])
            continue
        if r['lat'] is None:
            r.update(county=None, fips=None)
            continue
        lat, lon = float(r['lat']), float(r['lon'])
        place = min(((distance_km(lat, lon, t_lat, t_lon), t_lat, t_lon, fips) for t_lat, t_lon, fips
                     in by_name.get((r['state'], town_key(r['city'])), []) if fips in names), default=None)
        if place and place[0] <= BORROW_KM:
            r.update(county=names[place[3]], fips=place[3], lat=f'{place[1]:.5f}', lon=f'{place[2]:.5f}')
            continue
        near = sorted((distance_km(lat, lon, float(z['lat']), float(z['lon'])), z['fips'], z['county'], z['parts'])
                      for z in by_state.get(r['state'], []) if z['lat'] is not None)[:5]
        if not near or near[0][0] > BORROW_KM:
            r.update(county=None, fips=None)
        elif r['fips'] not in {fips for *_, parts in near for fips in parts}:
            r.update(county=near[0][2], fips=near[0][1])
        else:
            r.update(county=names[r['fips']])
    postal = {r['zip'] for r in rows}
    added = sorted((z for z in zctas.values() if z['zip'] not in postal), key=lambda z: z['zip'])
    for z in added:
        if z['state'] not in TERRITORIES:
            fail(f"ZCTA {z['zip']} of {z['state']} is no postal code of GeoNames")
        if z['lat'] is None:
            fail(f"ZCTA {z['zip']} of {z['state']} has no point")
        rows.append(dict(z, military=False))
    counties = {}
    for r in rows:
        if r['fips'] in ISLAND_AREAS:
            counties.setdefault(r['fips'], []).append(r)
            r['people'] = 0
    for fips, (_, people) in ISLAND_AREAS.items():
        # A county equivalent without a ZIP code (American Samoa's Eastern
        # District and Manu'a, which share Pago Pago's) counts on those of its
        # island area.
        members = counties.get(fips) or [r for code in counties if code[:2] == fips[:2] for r in counties[code]]
        for r in members:
            r['people'] += people / len(members)
    return rows


def main():
    if len(sys.argv) != 5:
        fail('usage: make-places.py US.txt CENSUSDIR timezones.tsv OUTDIR')
    postal = read_postal(sys.argv[1])
    names = county_names(sys.argv[2] + '/census-counties.tsv')
    towns = read_towns(sys.argv[2])
    zctas = read_zctas(sys.argv[2], postal, names, towns, sys.argv[2] + '/island-post-offices.tsv')
    rows = with_zctas(postal, zctas, names, towns)
    zones = read_timezones(sys.argv[3], rows)
    out = sys.argv[4]
    spelling = place_names.Names(sys.argv[2])
    with open(out + '/places.tsv.new', 'w', encoding='utf-8', newline='\n') as f:
        f.write('zip\tcity\tstate\tstate_name\tcounty\tcounty_fips\tlatitude\tlongitude\ttimezone\tpopulation\n')
        for r in rows:
            zone = None if r['state'] in MILITARY else zone_of(r, zones)
            weight = max(r['people'], NO_RESIDENTS)
            cells = [r['zip'], spelling.city(r['city'], r['state'], r['fips']), r['state'], STATES[r['state']][1],
                     spelling.county(r['fips']), r['fips'],
                     r['lat'], r['lon'], zone, f'{weight:.0f}']
            f.write('\t'.join('' if c is None else c for c in cells) + '\n')
    os.replace(out + '/places.tsv.new', out + '/places.tsv')
    print(f'{len(rows)} rows written to {out}/places.tsv')


if __name__ == '__main__':
    main()
