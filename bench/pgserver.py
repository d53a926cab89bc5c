"""A PostgreSQL server of a benchmark's own: initdb into a temporary folder,
127.0.0.1 on a free port, password login for the superuser "station", and a
database. As root the server's programs run as the "postgres" user of
Debian's package (the server refuses root).

    with PgServer() as pg:
        pg.create_database("factory", benchreport)  # and the administrator's step
        pg.station_ini("factory")   # [factory_db] text for config/station.ini
"""

import glob
import os
import shutil
import socket
import subprocess
import tempfile


def bin_dir():
    found = os.environ.get("STATION_PG_BINDIR")
    if found:
        return found
    dirs = sorted(glob.glob("/usr/lib/postgresql/*/bin"),
                  key=lambda d: int(d.split("/")[-2]) if d.split("/")[-2].isdigit() else 0)
    for d in reversed(dirs):
        if os.path.exists(os.path.join(d, "initdb")):
            return d
    raise SystemExit("no PostgreSQL server programs (Debian's postgresql package)")


class PgServer:
    def __init__(self):
        self.bin = bin_dir()
        self.root = os.geteuid() == 0
        self.dir = tempfile.mkdtemp(prefix="bench-pg-")
        os.chmod(self.dir, 0o755)
        self.data = os.path.join(self.dir, "data")
        self.password = "bench-results"
        self.password_file = os.path.join(self.dir, "password")
        with open(self.password_file, "w") as f:
            f.write(self.password + "\n")
        os.chmod(self.password_file, 0o600)
        if self.root:
            shutil.chown(self.dir, "postgres")
            shutil.chown(self.password_file, "postgres")
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        self.port = s.getsockname()[1]
        s.close()
        self.running = False

    def _run(self, program, *args):
        cmd = [os.path.join(self.bin, program)] + list(args)
        if self.root:
            cmd = ["runuser", "-u", "postgres", "--"] + cmd
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def __enter__(self):
        self._run("initdb", "-D", self.data, "-U", "station", "--auth=scram-sha-256",
                  "--pwfile=" + self.password_file, "-E", "UTF8", "--locale=C", "--no-sync")
        self._run("pg_ctl", "-D", self.data, "-w", "-t", "60", "-l",
                  os.path.join(self.dir, "log"), "-o",
                  "-c listen_addresses=127.0.0.1 -c port=%d -c unix_socket_directories=''"
                  % self.port, "start")
        self.running = True
        return self

    def __exit__(self, *exc):
        if self.running:
            self._run("pg_ctl", "-D", self.data, "-w", "-m", "fast", "stop")
        shutil.rmtree(self.dir, ignore_errors=True)

    def create_database(self, name, benchreport, station="bench"):
        """The database, set up by the administrator's step (benchreport
        --init-factory with the superuser's login) with a login for
        `station` named as the station, with the server's password."""
        env = dict(os.environ, PGPASSWORD=self.password)
        subprocess.run([os.path.join(self.bin, "createdb"), "-h", "127.0.0.1", "-p",
                        str(self.port), "-U", "station", name], check=True, env=env)
        admin = os.path.join(self.dir, "admin-%s.ini" % name)
        with open(admin, "w") as f:
            f.write(self.station_ini(name, station).replace("user=%s" % station, "user=station"))
        subprocess.run([benchreport, "--init-factory", "--config", admin, "--station-login",
                        "%s=%s" % (station, station)], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([os.path.join(self.bin, "psql"), "-h", "127.0.0.1", "-p", str(self.port),
                        "-U", "station", "-d", name, "-v", "ON_ERROR_STOP=1", "-q", "-c",
                        "ALTER ROLE \"%s\" PASSWORD '%s'" % (station, self.password)],
                       check=True, env=env)

    def station_ini(self, name, station="bench"):
        """[factory_db] text for `station`'s own login."""
        return ("[station]\nid=%s\n\n[factory_db]\nhost=127.0.0.1\nport=%d\nname=%s\n"
                "user=%s\npassword_file=%s\n" % (station, self.port, name, station,
                                                 self.password_file))
