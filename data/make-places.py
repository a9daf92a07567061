#!/usr/bin/env python3
"""Writes zipcodes.tsv (zip, city, state) and places.tsv (the same rows with
state name, county, county FIPS code, coordinates, time zone and a population
weight) from the GeoNames US postal codes (US.txt), the hand-kept time zone
table (timezones.tsv) and, when given, the GeoNames populated places
(cities.tsv: name, country, feature code, admin code, population, lon, lat).

Usage: make-places.py US.txt timezones.tsv OUTDIR [cities.tsv]
"""
import math
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


def read_cities(path):
    cities = []
    with open(path, encoding='utf-8') as f:
        for line in f:
            name, country, feature, admin, population, lon, lat = line.rstrip('\n').split('\t')
            cities.append({'name': name, 'country': country, 'feature': feature, 'admin': admin,
                           'population': int(population), 'lon': float(lon), 'lat': float(lat)})
    return cities


def main():
    if len(sys.argv) not in (4, 5):
        fail('usage: make-places.py US.txt timezones.tsv OUTDIR [cities.tsv]')
    rows = read_postal(sys.argv[1])
    zones = read_timezones(sys.argv[2], rows)
    out = sys.argv[3]
    weights = [1.0] * len(rows)
    if len(sys.argv) == 5:
        import weights as w
        weights = w.weights(rows, read_cities(sys.argv[4]))
    with open(out + '/zipcodes.tsv', 'w', encoding='utf-8', newline='\n') as f:
        f.write('zip\tcity\tstate\n')
        for r in rows:
            f.write(f"{r['zip']}\t{r['city']}\t{r['state']}\n")
    with open(out + '/places.tsv', 'w', encoding='utf-8', newline='\n') as f:
        f.write('zip\tcity\tstate\tstate_name\tcounty\tcounty_fips\tlatitude\tlongitude\ttimezone\tpopulation\n')
        for r, weight in zip(rows, weights):
            zone = zone_of(r, zones)
            cells = [r['zip'], r['city'], r['state'], STATES[r['state']][1], r['county'], r['fips'],
                     r['lat'], r['lon'], zone, f'{weight:g}']
            f.write('\t'.join('' if c is None else c for c in cells) + '\n')
    print(f'{len(rows)} rows written to {out}/zipcodes.tsv and {out}/places.tsv')


if __name__ == '__main__':
    main()
