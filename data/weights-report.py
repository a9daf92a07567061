#!/usr/bin/env python3
"""Compares the state shares of draws weighted by places.tsv's population
column (exact expected shares, no sampling) and of uniform draws with the
2020 census shares of the 50 states and DC: total variation distance,
California's share and the military post offices' share.

Usage: weights-report.py places.tsv census2020-states.tsv
"""
import sys

places, census_path = sys.argv[1:3]
census = {}
with open(census_path, encoding='utf-8') as f:
    next(f)
    for line in f:
        state, people = line.split('\t')
        census[state] = int(people)
census_total = sum(census.values())
states, weights = [], []
with open(places, encoding='utf-8') as f:
    next(f)
    for line in f:
        cells = line.rstrip('\n').split('\t')
        states.append(cells[2])
        weights.append(float(cells[9]))


def report(name, weight_of):
    total = sum(weight_of)
    share = {}
    for state, weight in zip(states, weight_of):
        share[state] = share.get(state, 0) + weight / total
    distance = 0.5 * (sum(abs(share.get(s, 0) - n / census_total) for s, n in census.items())
                      + sum(v for s, v in share.items() if s not in census))
    military = sum(share.get(s, 0) for s in ('AA', 'AE', 'AP'))
    print(f'{name:8} total variation distance {distance:.4f}, California {share.get("CA", 0):.2%}, '
          f'military {military:.4%}')


report('uniform', [1.0] * len(states))
report('weighted', weights)
