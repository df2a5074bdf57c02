#!/bin/bash
# Checks the package quorvel-center on this machine (called by make test, as root or with sudo):
#   lintian without errors; the file list and the declared dependencies; installing it with apt
#   (user, certificate, nginx site); quorvel-center-setup against the local PostgreSQL (role,
#   database, URL file readable by the service user only, password never printed); the service
#   started as its unit says; through nginx over TLS with the made certificate: HTTP/2, a page,
#   /healthz, Chart.js from the system's copy, the body limit and the login's rate limit; an
#   account and a rating kept over reinstall; the alert unit (not enabled before set-up, its
#   systemd-analyze security exposure under 5, started as the unit starts it against the local
#   central database, an alert of a bad rating received by a recording robot, channels, rules and
#   alert.env kept over reinstall); purge removing what it says. The machine is left
#   as it was: package purged, the test's database and role dropped, the service user deleted
#   when the test created it, PostgreSQL and nginx stopped when the test started them.
#   Usage: packaging/center/test-package.sh BUILD_DIR
set -uo pipefail

BUILD=${1:-build}
OUT="$BUILD/package-test-center"
CONF_DIR=/etc/quorvel-center
URL_FILE=$CONF_DIR/central.url
SERVICE_USER=quorvel-center
DATABASE=quorvel_center
UNIT=/lib/systemd/system/quorvel-center.service
ALERT_UNIT=/lib/systemd/system/quorvel-center-alert.service
ALERT_ENV=$CONF_DIR/alert.env
SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

mapfile -t debs < <(ls "$BUILD"/quorvel-center_*.deb 2>/dev/null)
[ "${#debs[@]}" = 1 ] || fail "expected exactly one quorvel-center_*.deb in $BUILD, found ${#debs[@]}"
DEB=$(readlink -f "${debs[0]}")
rm -rf "$OUT" && mkdir -p "$OUT"

step "lintian $(basename "$DEB")"
lintian --fail-on error --tag-display-limit 0 "$DEB" 2>/dev/null | tee "$OUT/lintian.txt" ||
    fail "lintian reports errors"

step "file list and dependencies"
dpkg-deb -c "$DEB" | awk '{print $6}' | sed 's|^\./|/|' | sort > "$OUT/files.txt"
for f in /usr/bin/kiosk-web /usr/bin/kiosk-alert "$ALERT_UNIT" /usr/lib/quorvel-center/kiosk-mkdb /usr/sbin/quorvel-center-setup \
    "$UNIT" /etc/nginx/sites-available/quorvel-center /usr/share/doc/quorvel-center/copyright \
    /usr/share/doc/quorvel-center/changelog.gz /usr/share/man/man8/quorvel-center-setup.8.gz \
    /usr/share/man/man1/kiosk-web.1.gz /usr/share/man/man1/kiosk-alert.1.gz; do
    grep -qx "$f" "$OUT/files.txt" || fail "$f is not in the package"
done
# The certificate and the password are made on the machine, never shipped.
! grep -q "^$CONF_DIR" "$OUT/files.txt" || fail "the package ships files under $CONF_DIR"
depends=$(dpkg-deb -f "$DEB" Depends)
for d in postgresql nginx libjs-chart.js openssl adduser libqt6sql6-psql libqt6core6 libsodium23 libcpp-httplib; do
    [[ ",$depends," == *"$d"* ]] || fail "Depends lacks $d: $depends"
done

if dpkg-query -W -f='${Status}' quorvel-center 2>/dev/null | grep -q installed || [ -e "$CONF_DIR" ]; then
    echo "SKIP install test: quorvel-center or $CONF_DIR is already on this machine; a real dashboard is never touched."
    exit 0
fi

# The local PostgreSQL cluster the set-up command works on: the first one there, started for
# the test when it is down. A database of the test's name already there is somebody's data.
read -r PG_VERSION PG_CLUSTER PG_STATUS < <(pg_lsclusters -h 2>/dev/null | awk '{print $1, $2, $4; exit}')
[ -n "${PG_VERSION:-}" ] || fail "no PostgreSQL cluster on this machine (pg_createcluster 15 main)"
PG_STARTED=no
if [ "$PG_STATUS" != online ]; then
    $SUDO pg_ctlcluster "$PG_VERSION" "$PG_CLUSTER" start || fail "cannot start PostgreSQL $PG_VERSION/$PG_CLUSTER"
    PG_STARTED=yes
fi
pg() { $SUDO runuser -u postgres -- psql -X -qtA -v ON_ERROR_STOP=1 "$@"; }
if [ -n "$(pg -d postgres -c "select 1 from pg_database where datname = '$DATABASE'")" ]; then
    [ $PG_STARTED = yes ] && $SUDO pg_ctlcluster "$PG_VERSION" "$PG_CLUSTER" stop
    echo "SKIP install test: database $DATABASE already exists on this machine."
    exit 0
fi

NGINX_STARTED=no
USER_BEFORE=no
getent passwd "$SERVICE_USER" >/dev/null && USER_BEFORE=yes
SERVICE_PID=
ALERT_PID=
ROBOT_PID=
cleanup() {
    [ -n "$SERVICE_PID" ] && kill -- -"$SERVICE_PID" 2>/dev/null
    [ -n "$ALERT_PID" ] && kill -- -"$ALERT_PID" 2>/dev/null
    [ -n "$ROBOT_PID" ] && kill "$ROBOT_PID" 2>/dev/null
    [ -d /run/systemd/system ] && $SUDO systemctl stop quorvel-center-alert.service 2>/dev/null
    wait 2>/dev/null
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quorvel-center >/dev/null 2>&1
    $SUDO rm -rf "$CONF_DIR" /etc/nginx/sites-enabled/quorvel-center
    [ $NGINX_STARTED = yes ] && $SUDO nginx -s quit 2>/dev/null
    pg -d postgres -c "drop database if exists $DATABASE" >/dev/null 2>&1
    pg -d postgres -c "drop role if exists $DATABASE" >/dev/null 2>&1
    [ $PG_STARTED = yes ] && $SUDO pg_ctlcluster "$PG_VERSION" "$PG_CLUSTER" stop
    if [ "$USER_BEFORE" = no ] && getent passwd "$SERVICE_USER" >/dev/null; then
        $SUDO deluser --quiet --system "$SERVICE_USER" >/dev/null 2>&1
        getent group "$SERVICE_USER" >/dev/null && $SUDO delgroup --quiet --system "$SERVICE_USER" >/dev/null 2>&1
    fi
}
trap cleanup EXIT

apt_install() {
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" "$DEB" > "$OUT/apt.log" 2>&1 ||
        { cat "$OUT/apt.log"; fail "apt-get install $* failed"; }
}
as_service() { $SUDO runuser -u "$SERVICE_USER" -- "$@"; }

step "apt-get install $(basename "$DEB")"
apt_install
getent passwd "$SERVICE_USER" >/dev/null || fail "no user $SERVICE_USER"
for f in "$CONF_DIR/tls/center.crt" "$CONF_DIR/tls/center.key"; do
    [ -s "$f" ] || fail "$f was not made at install"
done
[ "$(stat -c %a "$CONF_DIR/tls/center.key")" = 600 ] || fail "the TLS key is readable by others"
openssl x509 -in "$CONF_DIR/tls/center.crt" -noout -ext subjectAltName | grep -q 'DNS:localhost' ||
    fail "the certificate does not name localhost"
[ -L /etc/nginx/sites-enabled/quorvel-center ] || fail "the nginx site is not enabled"
$SUDO nginx -t > "$OUT/nginx-t.log" 2>&1 || { cat "$OUT/nginx-t.log"; fail "nginx -t fails with the site"; }
ls /etc/systemd/system/*.wants/quorvel-center.service >/dev/null 2>&1 && fail "the unit was enabled before set-up"
ls /etc/systemd/system/*.wants/quorvel-center-alert.service >/dev/null 2>&1 && fail "the alert unit was enabled before set-up"

step "quorvel-center-setup"
$SUDO quorvel-center-setup --no-start > "$OUT/setup.log" 2>&1 || { cat "$OUT/setup.log"; fail "set-up failed"; }
sed 's/^/   /' "$OUT/setup.log"
[ "$(stat -c '%U %a' "$URL_FILE")" = "$SERVICE_USER 600" ] || fail "$URL_FILE is not readable by $SERVICE_USER only"
PASSWORD=$($SUDO sed -n 's|^postgresql://[^:]*:\([^@]*\)@.*|\1|p' "$URL_FILE")
[ ${#PASSWORD} -ge 24 ] || fail "$URL_FILE holds no generated password"
grep -qF "$PASSWORD" "$OUT/setup.log" "$OUT/apt.log" && fail "the password was printed"
[ "$(pg -d "$DATABASE" -c "select tableowner from pg_tables where tablename = '评价'")" = "$DATABASE" ] ||
    fail "kiosk-mkdb did not create table 评价 owned by the central role"
# The password file is the login: the role refuses any other password over TCP.
port=$($SUDO sed -n 's|.*@127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$URL_FILE")
PGPASSWORD=wrong psql -X -h 127.0.0.1 -p "$port" -U "$DATABASE" -d "$DATABASE" -c 'select 1' >/dev/null 2>&1 &&
    fail "the central role accepts a wrong password"

step "nginx with the site"
# The system's nginx, not one that a test started under a prefix of its own.
if ! { [ -s /run/nginx.pid ] && kill -0 "$(cat /run/nginx.pid)" 2>/dev/null; }; then
    $SUDO nginx || fail "nginx did not start"
    NGINX_STARTED=yes
else
    $SUDO nginx -s reload || fail "nginx did not reload"
fi
CURL=(curl -sS --max-time 20 --cacert "$CONF_DIR/tls/center.crt" --resolve "localhost:443:127.0.0.1")
# nginx answers these itself, whether kiosk-web runs or not.
code=$("${CURL[@]}" -o "$OUT/chart.js" -w '%{http_code} %{http_version}' https://localhost/javascript/chart.js/chart.min.js)
[ "$code" = "200 2" ] || fail "Chart.js over HTTP/2 from the system's copy: $code"
cmp -s "$OUT/chart.js" /usr/share/javascript/chart.js/chart.min.js || fail "Chart.js served is not the system's copy"
code=$(head -c 200000 /dev/zero | "${CURL[@]}" -o /dev/null -w '%{http_code}' --data-binary @- https://localhost/login)
[ "$code" = 413 ] || fail "a 200 kB POST got $code, not 413"
code=$(curl -sS -o /dev/null -w '%{http_code} %{redirect_url}' http://localhost/login)
[ "$code" = "301 https://localhost/login" ] || fail "plain HTTP is not sent to HTTPS: $code"

step "the service as its unit starts it"
grep -q '^ExecStart=.*--central-file /etc/quorvel-center/central.url' "$UNIT" || fail "the unit does not use --central-file"
if [ -d /run/systemd/system ]; then
    $SUDO systemctl start quorvel-center.service || fail "quorvel-center.service did not start"
else
    # No systemd on this machine: the unit's own command line, as the unit's user.
    exec_start=$(sed -n 's/^ExecStart=//p' "$UNIT")
    setsid $SUDO runuser -u "$(sed -n 's/^User=//p' "$UNIT")" -- $exec_start > "$OUT/service.log" 2>&1 &
    SERVICE_PID=$!
fi
healthy=no
for _ in $(seq 100); do
    [ "$("${CURL[@]}" https://localhost/healthz 2>/dev/null)" = ok ] && { healthy=yes; break; }
    sleep 0.2
done
[ $healthy = yes ] || { cat "$OUT/service.log" 2>/dev/null; fail "/healthz through nginx did not answer ok"; }
grep -qF "$PASSWORD" "$OUT/service.log" 2>/dev/null && fail "the service printed the password"
code=$("${CURL[@]}" -o "$OUT/login.html" -w '%{http_code} %{http_version}' https://localhost/login)
[ "$code" = "200 2" ] || fail "GET /login over TLS: $code"
grep -q 'name="csrf"' "$OUT/login.html" || fail "the login page has no csrf field"
# Beyond the burst, nginx refuses password attempts before kiosk-web sees them.
refused=0
for _ in $(seq 20); do
    code=$("${CURL[@]}" -o /dev/null -w '%{http_code}' -d 'name=x&password=y&csrf=z' https://localhost/login)
    [ "$code" = 429 ] && refused=$((refused + 1))
done
[ $refused -gt 0 ] || fail "20 logins in a row were never refused with 429"

step "the alert service as its unit starts it"
# Enabled by the set-up command into the target its [Install] names; hardened as the unit says.
[ "$(sed -n 's/^WantedBy=//p' "$ALERT_UNIT")" = multi-user.target ] || fail "the alert unit is not wanted by multi-user.target"
systemd-analyze verify --man=no "$ALERT_UNIT" > "$OUT/alert-verify.log" 2>&1 ||
    { cat "$OUT/alert-verify.log"; fail "systemd-analyze verify rejects $ALERT_UNIT"; }
systemd-analyze security --offline=yes "$ALERT_UNIT" > "$OUT/alert-security.log" 2>&1
exposure=$(sed -n 's/.*Overall exposure level for quorvel-center-alert.service: \([0-9.]*\).*/\1/p' "$OUT/alert-security.log")
[ -n "$exposure" ] || { cat "$OUT/alert-security.log"; fail "systemd-analyze security printed no exposure level"; }
echo "   systemd-analyze security quorvel-center-alert.service: exposure $exposure"
awk -v e="$exposure" 'BEGIN { exit !(e < 5) }' || fail "the alert unit's exposure $exposure is not under 5"

# A recording robot on 127.0.0.1: each POST body appended to a file, answered errcode 0.
cat > "$OUT/robot.py" <<'PY'
import http.server, json, sys
class Robot(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        text = json.loads(body)["text"]["content"]
        with open(sys.argv[1], "a", encoding="utf-8") as f:
            f.write(self.path + "\n" + text + "\n====\n")
        answer = b'{"errcode":0,"errmsg":"ok"}'
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Robot)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
: > "$OUT/robot.txt"
/usr/bin/python3 "$OUT/robot.py" "$OUT/robot.txt" > "$OUT/robot.port" &
ROBOT_PID=$!
for _ in $(seq 100); do [ -s "$OUT/robot.port" ] && break; sleep 0.1; done
ROBOT_PORT=$(cat "$OUT/robot.port")
[ -n "$ROBOT_PORT" ] || fail "the recording robot did not start"

# The channel and rule as an administrator makes them, the dashboard's address for the link.
as_service kiosk-alert --central-file "$URL_FILE" --add-channel 值班 \
    --wecom "http://127.0.0.1:$ROBOT_PORT/wecom/send?key=package-test-key" > "$OUT/alert-add.log" 2>&1 &&
    as_service kiosk-alert --central-file "$URL_FILE" --add-rule bad --channel 值班 >> "$OUT/alert-add.log" 2>&1 ||
    { cat "$OUT/alert-add.log"; fail "kiosk-alert --add-channel/--add-rule failed"; }
printf 'ALERT_OPTIONS=--dashboard https://center.test\n' | $SUDO tee "$ALERT_ENV" >/dev/null
alert_listing() { as_service kiosk-alert --central-file "$URL_FILE" --list 2>&1; }
alert_listing > "$OUT/alert-list.txt"
grep -q 值班 "$OUT/alert-list.txt" && grep -q bad "$OUT/alert-list.txt" ||
    { cat "$OUT/alert-list.txt"; fail "--list shows no channel or rule"; }
grep -q package-test-key "$OUT/alert-list.txt" && fail "--list shows the robot's key"

start_alert() {
    if [ -d /run/systemd/system ]; then
        $SUDO systemctl restart quorvel-center-alert.service || fail "quorvel-center-alert.service did not start"
    else
        # The unit's command line with its environment file, as the unit's user.
        [ -n "$ALERT_PID" ] && { kill -- -"$ALERT_PID" 2>/dev/null; wait "$ALERT_PID" 2>/dev/null; }
        exec_start=$(sed -n 's/^ExecStart=//p' "$ALERT_UNIT")
        ALERT_OPTIONS=
        eval "$($SUDO sed -n 's/^ALERT_OPTIONS=\(.*\)$/ALERT_OPTIONS="\1"/p' "$ALERT_ENV")"
        exec_start=${exec_start//\$ALERT_OPTIONS/$ALERT_OPTIONS}
        setsid $SUDO runuser -u "$(sed -n 's/^User=//p' "$ALERT_UNIT")" -- $exec_start >> "$OUT/alert.log" 2>&1 &
        ALERT_PID=$!
    fi
}
# A bad rating inserted at the central database reaches the robot with the case's link.
expect_alert() {
    local number=$1
    pg -d "$DATABASE" -c "insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) values ('告警终端', $number, '告警窗口', '2026-12-08', '10:0$number:00', '非常不满意')" ||
        fail "cannot insert a bad rating"
    for _ in $(seq 300); do
        grep -q "case?terminal=.*&seq=$number\$" "$OUT/robot.txt" && return 0
        sleep 0.1
    done
    cat "$OUT/robot.txt" "$OUT/alert.log" 2>/dev/null
    fail "the alert of bad rating $number did not reach the robot after $2"
}
start_alert
expect_alert 1 "the first start"
grep -q '名称：告警窗口' "$OUT/robot.txt" && grep -q '评价：非常不满意' "$OUT/robot.txt" &&
    grep -q '^/wecom/send?key=package-test-key$' "$OUT/robot.txt" &&
    grep -q 'https://center.test/case?terminal=' "$OUT/robot.txt" ||
    { cat "$OUT/robot.txt"; fail "the alert text lacks its name, grade or link"; }
grep -qF "$PASSWORD" "$OUT/alert.log" 2>/dev/null && fail "the alert service printed the password"
grep -q package-test-key "$OUT/alert.log" 2>/dev/null && fail "the alert service printed the robot's key"

step "an account and a rating kept over reinstall"
printf 'ein-langes-Passwort-1\n' | as_service kiosk-web --central-file "$URL_FILE" --add-user chef --role admin \
    > "$OUT/add-user.log" 2>&1 || { cat "$OUT/add-user.log"; fail "kiosk-web --add-user failed"; }
pg -d "$DATABASE" -c "insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) values ('测试终端', 1, '测试窗口', '2026-12-08', '10:00:00', '非常满意')" ||
    fail "cannot insert a rating"
url_before=$($SUDO md5sum "$URL_FILE" | cut -d' ' -f1)
env_before=$($SUDO md5sum "$ALERT_ENV" | cut -d' ' -f1)
check_kept() {
    [ "$(alert_listing)" = "$(cat "$OUT/alert-list.txt")" ] || fail "alert channels or rules changed by $1"
    [ "$($SUDO md5sum "$ALERT_ENV" | cut -d' ' -f1)" = "$env_before" ] || fail "$ALERT_ENV changed by $1"
    [ "$(pg -d "$DATABASE" -c "select count(*) from 评价 where 终端 = '测试终端'")" = 1 ] || fail "rating lost after $1"
    as_service kiosk-web --central-file "$URL_FILE" --list-users 2>&1 | grep -q chef || fail "account lost after $1"
    [ "$($SUDO md5sum "$URL_FILE" | cut -d' ' -f1)" = "$url_before" ] || fail "$URL_FILE changed by $1"
}
apt_install --reinstall
check_kept reinstall
# The reinstalled program with the kept channel, rule and options.
start_alert
expect_alert 2 "reinstall"
# Under systemd the second set-up starts the services and enables them, as an administrator's does.
setup_again=(--no-start)
[ -d /run/systemd/system ] && setup_again=()
$SUDO quorvel-center-setup "${setup_again[@]}" > "$OUT/setup2.log" 2>&1 || { cat "$OUT/setup2.log"; fail "set-up again failed"; }
check_kept "set-up again"
if [ -d /run/systemd/system ]; then
    systemctl is-enabled --quiet quorvel-center-alert.service || fail "set-up did not enable quorvel-center-alert.service"
    systemctl is-active --quiet quorvel-center-alert.service || fail "set-up did not start quorvel-center-alert.service"
fi

step "purge"
[ -n "$SERVICE_PID" ] && { kill -- -"$SERVICE_PID" 2>/dev/null; wait "$SERVICE_PID" 2>/dev/null; SERVICE_PID=; }
[ -n "$ALERT_PID" ] && { kill -- -"$ALERT_PID" 2>/dev/null; wait "$ALERT_PID" 2>/dev/null; ALERT_PID=; }
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quorvel-center > "$OUT/apt.log" 2>&1 ||
    fail "apt-get purge failed"
grep -q "deleting $CONF_DIR" "$OUT/apt.log" || fail "purge did not say that it deletes $CONF_DIR"
grep -q "central database on PostgreSQL is kept" "$OUT/apt.log" || fail "purge did not say that the database stays"
[ ! -e "$CONF_DIR" ] || fail "$CONF_DIR is still there after purge"
[ ! -e /etc/nginx/sites-enabled/quorvel-center ] || fail "the nginx site is still enabled after purge"
[ ! -e /etc/nginx/sites-available/quorvel-center ] || fail "the nginx site is still there after purge"
[ "$(pg -d "$DATABASE" -c "select count(*) from 评价")" = 3 ] || fail "purge touched the central database"
for f in /usr/bin/kiosk-alert "$ALERT_UNIT"; do
    [ ! -e "$f" ] || fail "$f is still there after purge"
done

echo "PASS: quorvel-center checked (lintian, files, install, set-up, TLS, HTTP/2, limits, service, alert service, reinstall, purge)"
