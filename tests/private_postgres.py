#!/usr/bin/python3
"""A private PostgreSQL server for one test or bench: made in a temporary
folder, reached by its own socket there, gone at the end.

As a module: `with PrivatePostgres() as server: server.psql(...)`.
As a program: private_postgres.py QUERY < SQL loads the SQL through psql,
then prints what QUERY gives (psql -At); exit status 77 when no server can
be started here (no PostgreSQL installed).
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile


class Unavailable(Exception):
    pass


class PrivatePostgres:
    def __enter__(self):
        binaries = sorted(glob.glob('/usr/lib/postgresql/*/bin/initdb'))
        if not binaries or not shutil.which('psql'):
            raise Unavailable('no PostgreSQL server installed (Debian package postgresql)')
        self.bin = os.path.dirname(binaries[-1])
        self.folder = tempfile.mkdtemp(prefix='orvelle-pg.')
        os.chmod(self.folder, 0o777)
        # The server refuses to run as root: then as nobody.
        self.as_user = ['runuser', '-u', 'nobody', '--'] if os.geteuid() == 0 else []
        data = os.path.join(self.folder, 'data')
        self._server(['initdb', '-D', data, '-A', 'trust', '-U', 'postgres', '--no-sync'])
        self._server(['pg_ctl', '-D', data, '-l', os.path.join(self.folder, 'log'), '-w', 'start', '-o',
                      f'-k {self.folder} -c listen_addresses= -c fsync=off'])
        return self

    def _server(self, command):
        command[0] = os.path.join(self.bin, command[0])
        result = subprocess.run(self.as_user + command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if result.returncode != 0:
            raise Unavailable(result.stderr.decode(errors='replace').strip())

    def psql(self, *arguments, stdin=None, input=None, capture=False):
        """psql on the private server, stopping at the first error."""
        return subprocess.run(['psql', '-h', self.folder, '-U', 'postgres', '-X', '-q', '-v', 'ON_ERROR_STOP=1',
                               *arguments], stdin=stdin, input=input, check=True,
                              env=dict(os.environ, PGOPTIONS='-c client_min_messages=warning'),
                              stdout=subprocess.PIPE if capture else subprocess.DEVNULL).stdout

    def __exit__(self, *exc):
        subprocess.run(self.as_user + [os.path.join(self.bin, 'pg_ctl'), '-D', os.path.join(self.folder, 'data'),
                                       '-m', 'immediate', 'stop'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.folder, ignore_errors=True)


if __name__ == '__main__':
    try:
        with PrivatePostgres() as server:
            server.psql(stdin=sys.stdin)
            sys.stdout.buffer.write(server.psql('-At', '-c', sys.argv[1], capture=True))
    except Unavailable as error:
        print(error, file=sys.stderr)
        sys.exit(77)
