"""Names as the places write themselves, for make-places.py.

A town's name is the one the USGS Geographic Names Information System gives
it (place-names.tsv, written by make-census.sh) where a name of the town's
state reads the same but for case, accents, dots, apostrophes, hyphens,
blanks and the abbreviations Saint, Sainte, Fort, Mount, North, South, East
and West: "Mcallen" is McAllen, "Mc Lean" McLean, "Mayaguez" Mayagüez, "St
John" in Kansas St. John (its legal name) and "Saint Paul" stays Saint Paul.
Of several such names, the one in the row's county, then the town's legal
name before a populated place's or a census designated place's. A name GNIS
lacks keeps its letters, with the words of place-words.tsv spelled as there
(AFB, USAF, JBER) and "Mc" joined to the capital that follows it.

A county is named as the Census Bureau names it, with its kind ("Baltimore
County", "Baltimore city", "Orleans Parish", "Bethel Census Area",
"Mayagüez Municipio"), so that no two counties of a state share a name.
"""
import re
import unicodedata

ABBREVIATIONS = {'st': 'saint', 'ste': 'sainte', 'ft': 'fort', 'mt': 'mount',
                 'n': 'north', 's': 'south', 'e': 'east', 'w': 'west'}
# The island areas' county equivalents, which the Gazetteer's counties leave
# out, by the Census's names for them.
ISLAND_COUNTIES = {
    '60010': 'Eastern District', '60020': "Manu'a District", '60030': 'Rose Island',
    '60040': 'Swains Island', '60050': 'Western District', '66010': 'Guam',
    '69085': 'Northern Islands Municipality', '69100': 'Rota Municipality',
    '69110': 'Saipan Municipality', '69120': 'Tinian Municipality',
    '78010': 'St. Croix Island', '78020': 'St. John Island', '78030': 'St. Thomas Island',
}

# The Virgin Islands' islands, which GNIS's populated places leave out, as the
# Census names them.
ISLAND_TOWNS = {'VI': ('St. Croix', 'St. John', 'St. Thomas')}

# The ʻokina and the kahakō, which GNIS writes in Hawaiian and Samoan names
# (ʻEwa Beach, Wahiawā) and the Census and the postal service do not.
POLYNESIAN_MARKS = {'\u02bb', '\u2018', '\u0304'}


def words(name):
    """The words two spellings of one name share: letters and digits, lower
    case, without accents, the abbreviations written out, "Mc" joined to the
    word after it."""
    plain = ''.join(c for c in unicodedata.normalize('NFKD', name) if not unicodedata.combining(c))
    found = [ABBREVIATIONS.get(word, word) for word in re.findall(r'[a-z0-9]+', plain.lower())]
    return re.sub(r'\bmc ', 'mc', ' '.join(found))


def read_table(path):
    with open(path, encoding='utf-8') as f:
        header = next(f).rstrip('\n').split('\t')
        for number, line in enumerate(f, 2):
            cells = line.rstrip('\n').split('\t')
            if len(cells) < len(header) or not all(cells[:len(header)]):
                raise ValueError(f'{path}:{number}: expected {", ".join(header)}')
            yield cells


class Names:
    """The names of places and counties: place-names.tsv, place-words.tsv and
    census-counties.tsv of the folder given."""

    def __init__(self, folder):
        self.places = {}
        for state, county, rank, name in read_table(folder + '/place-names.tsv'):
            self.places.setdefault((state, words(name).replace(' ', '')), []).append((int(rank), county, name))
        for state, towns in ISLAND_TOWNS.items():
            for name in towns:
                self.places.setdefault((state, words(name).replace(' ', '')), []).append((4, None, name))
        self.words = {word.lower(): spelling for word, spelling, _ in read_table(folder + '/place-words.tsv')}
        self.counties = dict(ISLAND_COUNTIES)
        self.counties.update(read_table(folder + '/census-counties.tsv'))

    def city(self, name, state, county=None):
        """The town's own spelling of a city's name in a state (county: its FIPS code)."""
        if name.isupper():
            name = re.sub(r"[^\s'-]+", lambda m: m[0].capitalize(), name)
        # A name whose words are run together or split otherwise than the
        # row's is the town's only in the row's own county (Miramonte in
        # Fresno County is not Mira Monte in Ventura County).
        found = [place for place in self.places.get((state, words(name).replace(' ', '')), [])
                 if place[1] == county or words(place[2]) == words(name)]
        if found:
            best = min(found, key=lambda place: (place[1] != county, place[0], words(place[2]) != words(name),
                                                 place[2]))[2]
            return unicodedata.normalize('NFC', ''.join(c for c in unicodedata.normalize('NFD', best)
                                                        if c not in POLYNESIAN_MARKS))
        name = re.sub(r'[^\s]+', lambda m: self.words.get(m[0].lower(), m[0]), name)
        return re.sub(r'\bMc ?([A-Za-z])', lambda m: 'Mc' + m[1].upper(), name)

    def county(self, fips):
        """A county's name by its FIPS code, kind and all (none for none)."""
        if fips is None:
            return None
        if fips not in self.counties:
            raise ValueError(f'no county {fips} in census-counties.tsv')
        return self.counties[fips]
