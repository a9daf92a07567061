#!/usr/bin/env python3
"""The names data/make-places.py writes, by data/place_names.py on the tables
the data is built from (data/place-names.tsv, place-words.tsv,
census-counties.tsv): whatever form a source gives a name in, the town's
own spelling comes out.

Usage: place_names_test.py DATA_FOLDER
"""
import sys
import unittest

FOLDER = sys.argv.pop(1) if len(sys.argv) > 1 else 'data'
sys.path.insert(0, FOLDER)
import place_names  # noqa: E402

NAMES = place_names.Names(FOLDER)


class CityNames(unittest.TestCase):
    def check(self, cases):
        for (name, state, county), wanted in cases.items():
            with self.subTest(name=name, state=state):
                self.assertEqual(NAMES.city(name, state, county), wanted)

    def test_any_form_of_a_name_is_the_towns_spelling(self):
        self.check({('Mayaguez', 'PR', '72097'): 'Mayagüez', ('Mayagüez', 'PR', '72097'): 'Mayagüez',
                    ('MAYAGUEZ', 'PR', None): 'Mayagüez', ('MC LEAN', 'VA', None): 'McLean',
                    ('Ewa Beach', 'HI', '15003'): 'Ewa Beach', ('APO', 'AE', None): 'APO'})

    def test_saint_as_the_town_writes_it(self):
        self.check({('Saint John', 'KS', None): 'St. John', ('St Paul', 'MN', '27123'): 'Saint Paul',
                    ('St Thomas', 'VI', '78030'): 'St. Thomas', ('St Nowhere', 'KS', None): 'Saint Nowhere'})

    def test_names_run_together_otherwise_only_in_their_own_county(self):
        self.check({('Miramonte', 'CA', '06019'): 'Miramonte', ('Lanse', 'MI', '26013'): "L'Anse",
                    ('Lanse', 'MI', '26061'): 'Lanse'})

    def test_names_gnis_lacks_keep_their_letters_with_acronyms_and_mc(self):
        self.check({('Nowhere Afb', 'TX', None): 'Nowhere AFB', ('Mc Nowhere', 'TX', None): 'McNowhere',
                    ('Mcnowhere', 'TX', None): 'McNowhere', ('Mack Nowhere', 'TX', None): 'Mack Nowhere'})


class CountyNames(unittest.TestCase):
    def test_counties_are_named_with_their_kind(self):
        self.assertEqual(NAMES.county('24005'), 'Baltimore County')
        self.assertEqual(NAMES.county('24510'), 'Baltimore city')
        self.assertEqual(NAMES.county('78030'), 'St. Thomas Island')
        self.assertIsNone(NAMES.county(None))
        self.assertRaises(ValueError, NAMES.county, '99999')


if __name__ == '__main__':
    unittest.main()
