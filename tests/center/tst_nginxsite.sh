#!/bin/bash
# The package's nginx site under a private nginx: its own prefix, certificate and ports (the
# first free pair of a fixed range), the paths of /etc and /usr/share pointed into the prefix.
# nginx -t accepts the site; then rows of requests that nginx answers itself, without kiosk-web
# behind it: HTTP/2 over TLS, Chart.js from the system's copy, the body limit, the rate limit of
# password attempts, plain HTTP sent to HTTPS.
#   Usage: tst_nginxsite.sh SITE_FILE ERROR_PAGES_FOLDER
set -uo pipefail

SITE=$1
ERRORS=$2
CHARTJS=/usr/share/javascript/chart.js
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -r "$CHARTJS/chart.min.js" ] || fail "libjs-chart.js is not installed"

DIR=$(mktemp -d)
cleanup() {
    [ -s "$DIR/nginx.pid" ] && kill "$(cat "$DIR/nginx.pid")" 2>/dev/null
    rm -rf "$DIR"
}
trap cleanup EXIT
mkdir -p "$DIR/tls" "$DIR/static" "$DIR/logs"
# The workers (user nobody) read the static folder; the key stays for the master alone.
chmod 0755 "$DIR" "$DIR/static" && chmod 0700 "$DIR/tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost -keyout "$DIR/tls/center.key" -out "$DIR/tls/center.crt" 2>/dev/null ||
    fail "openssl could not make a certificate"
printf 'body{}' > "$DIR/static/site.css"
cp -r "$ERRORS" "$DIR/errors" && chmod -R a+rX "$DIR/errors"

start() {
    local https=$1 http=$2
    sed -e "s|/etc/quorvel-center/tls/|$DIR/tls/|" -e "s|/usr/share/quorvel-center/static/|$DIR/static/|" \
        -e "s|/usr/share/quorvel-center/errors/|$DIR/errors/|" \
        -e "s|listen 443 |listen 127.0.0.1:$https |" -e "s|listen 80;|listen 127.0.0.1:$http;|" \
        -e '/listen \[::\]/d' -e "s|https://\$host\$request_uri|https://\$host:$https\$request_uri|" \
        "$SITE" > "$DIR/site.conf"
    cat > "$DIR/nginx.conf" <<CONF
pid $DIR/nginx.pid;
error_log $DIR/logs/error.log;
events { worker_connections 64; }
http {
    include /etc/nginx/mime.types;
    access_log off;
    client_body_temp_path $DIR/body;
    proxy_temp_path $DIR/proxy;
    fastcgi_temp_path $DIR/fastcgi;
    uwsgi_temp_path $DIR/uwsgi;
    scgi_temp_path $DIR/scgi;
    include $DIR/site.conf;
}
CONF
    nginx -p "$DIR" -c "$DIR/nginx.conf" -t > "$DIR/t.log" 2>&1 || { cat "$DIR/t.log"; fail "nginx -t rejects the site"; }
    nginx -p "$DIR" -c "$DIR/nginx.conf" 2>/dev/null
}
HTTPS=
for port in $(seq 58443 2 58541); do
    if start "$port" $((port + 1)); then HTTPS=$port; HTTP=$((port + 1)); break; fi
done
[ -n "$HTTPS" ] || fail "nginx found no free pair of ports in 58443-58542"

CURL=(curl -sS --max-time 20 --cacert "$DIR/tls/center.crt" --resolve "localhost:$HTTPS:127.0.0.1")
BASE=https://localhost:$HTTPS

# name | what curl answers | what it must be
check() {
    local name=$1 got=$2 want=$3
    [ "$got" = "$want" ] || fail "$name: got '$got', want '$want'"
    echo "PASS: $name"
}
check "Chart.js over HTTP/2" \
    "$("${CURL[@]}" -o "$DIR/chart.js" -w '%{http_code} %{http_version}' "$BASE/javascript/chart.js/chart.min.js")" "200 2"
check "Chart.js is the system's copy" "$(cmp -s "$DIR/chart.js" "$CHARTJS/chart.min.js" && echo same)" same
check "static file" "$("${CURL[@]}" -w ' %{http_code}' "$BASE/static/site.css")" "body{} 200"
for path in /static/../tls/center.key /static/..%2ftls/center.key /static../tls/center.key; do
    check "no way out of the static folder: $path" \
        "$("${CURL[@]}" --path-as-is "$BASE$path" | grep -c 'PRIVATE KEY')" 0
done
check "a 200 kB POST is refused" \
    "$(head -c 200000 /dev/zero | "${CURL[@]}" -o /dev/null -w '%{http_code}' --data-binary @- "$BASE/login")" 413
# (Over HTTP/2, nginx 1.22 answers a body announced too big with its own page.)
check "a refused body gets the Chinese page (HTTP/1.1)" \
    "$(head -c 200000 /dev/zero | "${CURL[@]}" --http1.1 --data-binary @- "$BASE/login" | grep -c 请求无效或过大)" 1
check "no kiosk-web behind: the Chinese page" \
    "$("${CURL[@]}" -w ' %{http_code}' "$BASE/" | grep -o '服务暂时无法使用</h1>\| 502')" "服务暂时无法使用</h1>
 502"
check "plain HTTP goes to HTTPS" \
    "$(curl -sS -o /dev/null -w '%{http_code} %{redirect_url}' "http://localhost:$HTTP/login")" \
    "301 https://localhost:$HTTPS/login"
# Password attempts beyond the burst of 5 are refused before they reach kiosk-web (502 here,
# since nothing listens behind); GETs of the login page are not counted.
codes=
for _ in $(seq 8); do codes+="$("${CURL[@]}" -o /dev/null -w '%{http_code}' -d 'name=a&password=b' "$BASE/login") "; done
check "password attempts past the burst" "$codes" "502 502 502 502 502 502 429 429 "
check "GET /login is not limited" "$("${CURL[@]}" -o /dev/null -w '%{http_code}' "$BASE/login")" 502
exit 0
