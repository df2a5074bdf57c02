"""The dashboard's whole stack as private processes: a PostgreSQL 15 server in a temporary
folder, kiosk-web on a port the system picks, and nginx with a self-signed certificate in front.
Used by the browser tests and by `make run-center`. Everything stops with the stack."""

import os
import re
import shutil
import socket
import subprocess
import tempfile
import time

PG_BIN = "/usr/lib/postgresql/15/bin"
CHART_JS = "/usr/share/javascript/chart.js"


def _as_postgres(args):
    if os.getuid() == 0:
        return ["runuser", "-u", "postgres", "--"] + args
    return args


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class PgServer:
    """initdb, pg_ctl and psql as the postgres user, listening on 127.0.0.1 only."""

    def __init__(self, durable=False):
        self.dir = tempfile.mkdtemp(prefix="kiosk-web-pg-")
        os.chmod(self.dir, 0o755)
        self.data = os.path.join(self.dir, "data")
        self.sockets = os.path.join(self.dir, "sockets")
        self.log = os.path.join(self.dir, "server.log")
        os.mkdir(self.sockets)
        if os.getuid() == 0:
            shutil.chown(self.dir, "postgres")
            shutil.chown(self.sockets, "postgres")
        try:
            subprocess.run(_as_postgres([PG_BIN + "/initdb", "-D", self.data, "-U", "postgres",
                                         "-E", "UTF8", "--no-locale", "--auth-local=trust",
                                         "--auth-host=scram-sha-256", "--no-sync"]),
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        except BaseException:
            shutil.rmtree(self.dir, ignore_errors=True)
            raise
        self.durable = durable
        self.port = None

    def start(self):
        options = "-c listen_addresses=127.0.0.1 -c max_connections=60 -k " + self.sockets
        if not self.durable:
            options += " -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
        ports = [self.port] if self.port else [_free_port() for _ in range(5)]
        for port in ports:
            result = subprocess.run(_as_postgres([PG_BIN + "/pg_ctl", "-D", self.data, "-l",
                                                  self.log, "-w", "-t", "30", "-o",
                                                  "-p %d %s" % (port, options), "start"]),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if result.returncode == 0:
                self.port = port
                return
        raise RuntimeError("PostgreSQL did not start: " + open(self.log).read()[-2000:])

    def stop(self):
        subprocess.run(_as_postgres([PG_BIN + "/pg_ctl", "-D", self.data, "-m", "fast", "-w",
                                     "stop"]), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def psql(self, sql, database="postgres", values=()):
        """Runs sql as the superuser; values are passed as psql variables (:'v1', :'v2' ...),
        which psql quotes itself."""
        args = [PG_BIN + "/psql", "-h", self.sockets, "-p", str(self.port), "-U", "postgres",
                "-d", database, "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1"]
        for i, v in enumerate(values, 1):
            args += ["-v", "v%d=%s" % (i, v)]
        result = subprocess.run(_as_postgres(args), input=sql, capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError("psql: " + result.stderr)
        return result.stdout

    def create_database(self, name, owner, password):
        self.psql("create role %s login password '%s'" % (owner, password))
        self.psql("create database %s owner %s encoding 'UTF8' template template0" % (name, owner))

    def url(self, user, password, database):
        return "postgresql://%s:%s@127.0.0.1:%d/%s" % (user, password, self.port, database)

    def remove(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


class WebStack:
    """kiosk-web and nginx over a PgServer whose central database has the kiosks' schema."""

    def __init__(self, build_dir, clock_file=None):
        self.build = build_dir
        self.dir = tempfile.mkdtemp(prefix="kiosk-web-")
        # nginx's workers (www-data) read the error pages here.
        os.chmod(self.dir, 0o755)
        self.clock_file = clock_file
        self.web_log = os.path.join(self.dir, "kiosk-web.log")
        self.web = None
        self.nginx = None
        self.pg = None
        # A stack that fails half-way stops what it started and removes its folders.
        try:
            self._start_database(build_dir)
        except BaseException:
            self.close()
            raise

    def _start_database(self, build_dir):
        self.pg = PgServer()
        self.pg.start()
        self.password = "secret-pass-1"
        self.pg.create_database("pingjia", "kiosk", self.password)
        self.central = self.pg.url("kiosk", self.password, "pingjia")
        self.url_file = os.path.join(self.dir, "central.url")
        with open(self.url_file, "w") as f:
            f.write(self.central + "\n")
        subprocess.run([os.path.join(build_dir, "src/tools/kiosk-mkdb"), "--postgres", self.central],
                       check=True, stdout=subprocess.DEVNULL)

    def sql(self, text, values=()):
        return self.pg.psql(text, "pingjia", values)

    def kiosk_web(self, *args, stdin=None):
        return subprocess.run([os.path.join(self.build, "src/web/kiosk-web"), "--central-file",
                               self.url_file] + list(args), input=stdin, capture_output=True,
                              text=True)

    def add_user(self, name, password, role="admin", terminals=None):
        args = ["--add-user", name, "--role", role]
        if terminals:
            args += ["--terminals", ",".join(terminals)]
        result = self.kiosk_web(*args, stdin=password + "\n")
        if result.returncode != 0:
            raise RuntimeError(result.stderr)

    def start_web(self):
        args = [os.path.join(self.build, "src/web/kiosk-web"), "--central-file", self.url_file,
                "--listen", "127.0.0.1:0"]
        if self.clock_file:
            args += ["--clock-file", self.clock_file]
        log = open(self.web_log, "a")
        # Their own sessions: Ctrl+C in the terminal reaches the driver, which stops them in order.
        self.web = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=log, text=True,
                                    start_new_session=True)
        line = self.web.stdout.readline()
        match = re.search(r"127\.0\.0\.1:(\d+)", line)
        if not match:
            raise RuntimeError("kiosk-web did not start: " + line + open(self.web_log).read())
        self.web_port = int(match.group(1))

    def stop_web(self):
        if self.web:
            self.web.terminate()
            try:
                self.web.wait(30)
            except subprocess.TimeoutExpired:
                self.web.kill()
                self.web.wait()
            self.web = None

    def start_nginx(self, login_rate="30r/m"):
        key = os.path.join(self.dir, "key.pem")
        cert = os.path.join(self.dir, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                        key, "-out", cert, "-days", "2", "-subj", "/CN=localhost"],
                       check=True, capture_output=True)
        os.makedirs(os.path.join(self.dir, "errors"), exist_ok=True)
        for name, text in (("bad-request", "请求无效或过大"), ("unavailable", "服务暂时无法使用")):
            with open(os.path.join(self.dir, "errors", name + ".html"), "w") as f:
                f.write('<!DOCTYPE html><html lang="zh-CN"><meta charset="utf-8"><title>%s</title>'
                        '<p id="message">%s</p></html>\n' % (text, text))
        template = open(os.path.join(os.path.dirname(__file__), "nginx-test.conf")).read()
        for attempt in range(10):
            port = _free_port()
            conf = os.path.join(self.dir, "nginx.conf")
            with open(conf, "w") as f:
                f.write(template.replace("@DIR@", self.dir).replace("@PORT@", str(port))
                        .replace("@BACKEND@", "127.0.0.1:%d" % self.web_port)
                        .replace("@CERT@", cert).replace("@KEY@", key)
                        .replace("@CHARTJS@", CHART_JS)
                        .replace("@LOGINRATE@", login_rate))
            self.nginx = subprocess.Popen(["nginx", "-c", conf, "-p", self.dir, "-e",
                                           os.path.join(self.dir, "nginx-error.log")],
                                          stderr=subprocess.DEVNULL, start_new_session=True)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and self.nginx.poll() is None:
                try:
                    socket.create_connection(("127.0.0.1", port), 0.2).close()
                    self.port = port
                    self.base = "https://localhost:%d" % port
                    return
                except OSError:
                    time.sleep(0.05)
            self.nginx.kill()
            self.nginx.wait()
        raise RuntimeError("nginx did not start")

    def close(self):
        """Stops whatever runs, also when a step fails, and removes the folders."""
        try:
            try:
                self.stop_web()
            finally:
                if self.nginx:
                    self.nginx.terminate()
                    self.nginx.wait(30)
                    self.nginx = None
        finally:
            if self.pg:
                self.pg.remove()
                self.pg = None
            shutil.rmtree(self.dir, ignore_errors=True)
