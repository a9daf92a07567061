#!/usr/bin/python3
"""How fast --format sql loads, beside each database's own bulk import of the
same rows as CSV, measured in the same run (median wall time of RUNS):
- SQLite: sqlite3 reading the SQL, beside sqlite3's .import of the CSV into
  the same typed table (and into its own TEXT table);
- PostgreSQL (a private server, fsync off): psql reading the SQL, beside
  psql's \\copy of the CSV into the same table.
Target: at most 2 x the bulk import with --rows-per-insert 1000 and --copy.

Usage: bench_sql_load.py PATH_TO_ORVELLE [PLACES]
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests'))
from private_postgres import PrivatePostgres, Unavailable  # noqa: E402

RUNS = 3
program = sys.argv[1]
places = sys.argv[2] if len(sys.argv) > 2 else '1000000'
folder = tempfile.mkdtemp(prefix='bench-sql.')


def orvelle(name, *arguments):
    path = os.path.join(folder, name)
    subprocess.run([program, '-n', places, '--seed', '1', '--fields', 'all', '-o', path, *arguments], check=True)
    return path


def timed(action):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


csv = orvelle('places.csv', '--format', 'csv')
create = subprocess.run([program, '-n', '0', '--fields', 'all', '--format', 'sql'], check=True,
                        capture_output=True).stdout.decode()
sql = {'one INSERT a place': orvelle('one.sql', '--format', 'sql'),
       '--rows-per-insert 1000': orvelle('many.sql', '--format', 'sql', '--rows-per-insert', '1000')}

database = os.path.join(folder, 'places.db')


def sqlite(*arguments, stdin=None):
    if os.path.exists(database):
        os.remove(database)
    with open(stdin) if stdin else open(os.devnull) as source:
        subprocess.run(['sqlite3', database, *arguments], stdin=source, check=True)


typed = timed(lambda: sqlite('-cmd', create, '.import --csv --skip 1 %s places' % csv))
untyped = timed(lambda: sqlite('.import --csv %s places' % csv))
print(f'{places} places, all fields, into SQLite: .import of the CSV into the typed table {typed:.2f} s, '
      f'into its own TEXT table {untyped:.2f} s')
for name, path in sql.items():
    seconds = timed(lambda: sqlite(stdin=path))
    print(f'  sqlite3 < sql, {name}: {seconds:.2f} s = {seconds / typed:.2f} x .import typed, '
          f'{seconds / untyped:.2f} x .import untyped (target: <= 2 x with --rows-per-insert)')

sql['--copy'] = orvelle('copy.sql', '--format', 'sql', '--copy')
try:
    with PrivatePostgres() as server:
        def postgres(*arguments, stdin=None):
            server.psql('-c', 'DROP TABLE IF EXISTS places')
            with open(stdin) if stdin else open(os.devnull) as source:
                server.psql(*arguments, stdin=source)

        copy = timed(lambda: postgres('-c', create.replace('BEGIN;', '').replace('COMMIT;', ''),
                                      '-c', "\\copy places FROM '%s' WITH (FORMAT csv, HEADER)" % csv))
        print(f'{places} places, all fields, into PostgreSQL: psql \\copy of the CSV {copy:.2f} s')
        for name, path in sql.items():
            seconds = timed(lambda: postgres(stdin=path))
            print(f'  psql < sql, {name}: {seconds:.2f} s = {seconds / copy:.2f} x \\copy (target: <= 2 x with '
                  f'--rows-per-insert or --copy)')
except Unavailable as error:
    print(f'PostgreSQL not measured: {error}')
subprocess.run(['rm', '-rf', folder])
