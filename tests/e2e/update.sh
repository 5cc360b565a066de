#!/usr/bin/env bash
# End-to-end checks of the update check under Wine: the real Torvane.exe asks a local HTTPS
# server on localhost:443 (a certificate from a test CA that the host's store, and with it
# Wine's, trusts) for its feed at the periodic check 15 s after start, once per scenario, and
# its log, balloon and requests are observed from outside.
# Usage: update.sh TORVANE_EXE TORVANE_CTL_EXE PREFIX ARTEFACTS VERSION
set -uo pipefail
exe=$1 ctl=$2 prefix=$3 artefacts=$4 version=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../checks.sh"
wine_test_prefix "$prefix"
rm -rf "$artefacts" && mkdir -p "$artefacts"
data="$prefix/drive_c/users/$(id -un)/AppData/Roaming/Torvane"
build=${version##*.}
short_version=${version%.*}
. "$here/session.sh"

# The test CA and the server's certificate for "localhost", made once per prefix. Wine trusts
# what the host's store holds.
ca=$prefix.ca
if [[ ! -f $ca/server.crt ]]; then
    mkdir -p "$ca"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Torvane test CA" \
        -keyout "$ca/ca.key" -out "$ca/ca.crt" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$ca/server.key" \
        -out "$ca/server.csr" 2>/dev/null
    printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n' >"$ca/ext"
    openssl x509 -req -in "$ca/server.csr" -CA "$ca/ca.crt" -CAkey "$ca/ca.key" \
        -CAcreateserial -days 3650 -extfile "$ca/ext" -out "$ca/server.crt" 2>/dev/null
fi
trusted=/usr/local/share/ca-certificates/torvane-test-ca.crt
if ! cmp -s "$ca/ca.crt" "$trusted"; then
    cp "$ca/ca.crt" "$trusted" && update-ca-certificates >/dev/null 2>&1 ||
        { echo "FAILED: the test CA cannot be added to the host's store (run as root)"; exit 1; }
fi

scenario=$artefacts/scenario requests=$artefacts/requests.log
: >"$requests"
echo none >"$scenario"
python3 "$here/update_server.py" "$ca/server.crt" "$ca/server.key" "$scenario" "$requests" \
    >"$artefacts/server.log" 2>&1 &
server_pid=$!
finish() {
    end_session
    kill "$server_pid" 2>/dev/null
}
trap finish EXIT
for _ in $(seq 1 50); do grep -q ready "$artefacts/server.log" && break; sleep 0.1; done
check "test server listening on localhost:443" grep -q ready "$artefacts/server.log"

# The balloon opens below the tray window.
balloon_text() {
    import -window root "$artefacts/balloon.png"
    convert "$artefacts/balloon.png" -crop "700x70+0+$((tray_y + 20))" +repage -resize 300% \
        "$artefacts/.balloon-ocr.png"
    tesseract "$artefacts/.balloon-ocr.png" - 2>/dev/null | tr '\n' ' '
}

log_lines() { grep -c '' "$data/torvane.log" 2>/dev/null || echo 0; }
# wait_for_log FROM_LINE PATTERN: a line after FROM_LINE matches, within the first check's time.
wait_for_log() {
    for _ in $(seq 1 120); do
        tail -n +$(($1 + 1)) "$data/torvane.log" 2>/dev/null | tr -d '\r' | grep -q -- "$2" &&
            return 0
        sleep 0.25
    done
    return 1
}

# check_with SCENARIO LOG_PATTERN: one start, its periodic check against the scenario, quit.
check_with() {
    echo "$1" >"$scenario"
    : >"$requests"
    local from
    from=$(log_lines)
    start_torvane
    check "$1: tray icon added" wait_for_tray
    check "$1: log line '$2'" wait_for_log "$from" "^[0-9-]* [0-9:]* $2\$"
}

echo "== A redirect to another port is refused without connecting"
check_with other-port "No se pudo consultar el servidor"
check "other-port: only the feed requested" test "$(cut -d'|' -f1 "$requests")" = \
    /software/torvane/appcast-windows.json
quit_torvane

echo "== Four redirects are one too many"
check_with four-redirects "No se pudo consultar el servidor"
check "four-redirects: three followed, the fourth not" \
    test "$(cut -d'|' -f1 "$requests" | tr '\n' ' ')" = \
    "/software/torvane/appcast-windows.json /r1 /r2 /r3 "
quit_torvane

echo "== An oversize body without Content-Length, and a malformed version"
check_with oversize "No se pudo consultar el servidor"
quit_torvane
check_with invalid "No se pudo consultar el servidor"
quit_torvane

echo "== A newer build behind three redirects"
check_with newer \
    "Versión nueva en el feed: 0\.2\.0 (build 2); instalada $short_version ($build)"
check "newer: the redirects were followed as resolved" \
    test "$(cut -d'|' -f1 "$requests" | tr '\n' ' ')" = \
    "/software/torvane/appcast-windows.json /hop/one/a.json /hop/one/b.json?x=1 /feeds/newer.json "
check "newer: user agent Torvane-Windows/$short_version and no-cache on every request" \
    test "$(sort -u <<<"$(cut -d'|' -f2,3 "$requests")")" = \
    "Torvane-Windows/$short_version|no-cache"
for _ in $(seq 1 10); do
    balloon=$(balloon_text)
    grep -q "0.2.0 disponible" <<<"$balloon" && break
    sleep 1
done
check "newer: balloon 'Torvane 0.2.0 disponible' (read: $balloon)" \
    grep -q "0.2.0 disponible" <<<"$balloon"
check "no failure logged for the newer build" \
    bash -c 'test -s "$0" && ! tail -n 2 "$0" | grep -q "No se pudo"' "$data/torvane.log"
quit_torvane

exit $((failures > 0))
