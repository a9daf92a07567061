#!/usr/bin/env python3
"""Compares the state shares of draws weighted by places.tsv's population
column (exact expected shares, no sampling) and of uniform draws with the
2020 census shares of the 50 states and DC. The distance is taken among the
places of those 51, as `--state states` draws them: the territories and the
military post offices, which that census does not count, are left out of it
and reported apart, as their share of all draws. tests/data_test.py holds the
built database's weights to the same distance.

Usage: weights-report.py places.tsv census2020-states.tsv
"""
import sys


def read_census(path):
    """The census's residents by state code."""
    census = {}
    with open(path, encoding='utf-8') as f:
        next(f)
        for line in f:
            state, people = line.split('\t')
            census[state] = int(people)
    return census


def census_distance(weights, census):
    """Total variation distance between the shares of the weights by state
    (state code to weight), among the census's states alone, and the
    census's shares."""
    counted = {state: weight for state, weight in weights.items() if state in census}
    total, people = sum(counted.values()), sum(census.values())
    return sum(abs(counted.get(state, 0) / total - n / people) for state, n in census.items()) / 2


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    census = read_census(sys.argv[2])
    states, weights = [], []
    with open(sys.argv[1], encoding='utf-8') as f:
        next(f)
        for line in f:
            cells = line.rstrip('\n').split('\t')
            states.append(cells[2])
            weights.append(float(cells[9]))
    for name, weight_of in (('uniform', [1.0] * len(states)), ('weighted', weights)):
        by_state = {}
        for state, weight in zip(states, weight_of):
            by_state[state] = by_state.get(state, 0) + weight
        total = sum(by_state.values())
        military = sum(by_state.get(s, 0) for s in ('AA', 'AE', 'AP')) / total
        elsewhere = sum(w for s, w in by_state.items() if s not in census) / total - military
        print(f'{name:8} total variation distance {census_distance(by_state, census):.4f} (50 states and DC), '
              f'California {by_state.get("CA", 0) / total:.2%}, territories {elsewhere:.2%}, military {military:.4%}')


if __name__ == '__main__':
    main()
