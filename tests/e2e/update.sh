#!/usr/bin/env bash
# End-to-end checks of the update check under Wine: the real Torvane.exe asks a local HTTPS
# server on localhost:443 (a certificate from a test CA that the host's store, and with it
# Wine's, trusts) for its feed at the periodic check 15 s after start, once per scenario, and
# its log, balloon and requests are observed from outside.
# "Buscar ahora" in the settings window then runs a check per scenario in one start.
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

# Onboarded already: no greeting balloon in the way.
rm -rf "$data" && mkdir -p "$data"
printf '{\n  "onboarded": true\n}' >"$data/state.json"

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

echo "== \"Buscar ahora\" in the settings window"
# Only manual checks in this start.
printf '{\n  "autoCheckUpdates": false\n}' >"$data/prefs.json"
start_torvane
check "manual: tray icon added" wait_for_tray

# The settings window's client area is its X window (no window manager draws a frame).
sx= sy= swidth= sheight=
find_settings() {
    local window geometry
    window=$(xdotool search --onlyvisible --name '^Preferencias de Torvane$' 2>/dev/null |
        head -n 1)
    [[ -n $window ]] || return 1
    geometry=$(xdotool getwindowgeometry --shell "$window") || return 1
    sx=$(sed -n 's/^X=//p' <<<"$geometry") sy=$(sed -n 's/^Y=//p' <<<"$geometry")
    swidth=$(sed -n 's/^WIDTH=//p' <<<"$geometry") sheight=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
}
wait_for_settings() {
    for _ in $(seq 1 100); do find_settings && return 0; sleep 0.05; done
    return 1
}
settings_text() {  # the window read with OCR, at twice its size
    find_settings
    import -window root "$artefacts/.root.png"
    convert "$artefacts/.root.png" -crop "${swidth}x${sheight}+${sx}+${sy}" +repage \
        -resize 200% "$artefacts/.settings-ocr.png"
    tesseract "$artefacts/.settings-ocr.png" - "${@}" 2>/dev/null
}
click_check_now() {  # the "Buscar ahora" button, found by its second word
    local found
    for _ in $(seq 1 6); do
        found=$(settings_text tsv | awk -F'\t' '$12 == "ahora" {
            print int(($7 + $9 / 2) / 2), int(($8 + $10 / 2) / 2); exit }')
        [[ -n $found ]] && break
        sleep 0.5
    done
    [[ -n $found ]] || return 1
    read -r bx by <<<"$found"
    xdotool mousemove $((sx + bx)) $((sy + by))
    sleep 0.1
    xdotool click 1
}
shows() {  # shows TEXT: the window reads TEXT within a few seconds
    local text
    for _ in $(seq 1 12); do
        text=$(settings_text | tr '\n' ' ')
        grep -q -- "$1" <<<"$text" && return 0
        sleep 0.5
    done
    echo "   read: $text"
    return 1
}
manual_check() {  # manual_check SCENARIO TEXT
    echo "$1" >"$scenario"
    : >"$requests"
    check "$1: \"Buscar ahora\" clicked" click_check_now
    check "$1: status reads '$2'" shows "$2"
}

# The panel's footer holds the settings icon.
click_icon
for _ in $(seq 1 60); do
    panel=$(xdotool search --onlyvisible --name '^Torvane$' 2>/dev/null | head -n 1)
    [[ -n $panel ]] && break
    sleep 0.05
done
sleep 0.5
geometry=$(xdotool getwindowgeometry --shell "$panel")
xdotool mousemove $(($(sed -n 's/^X=//p' <<<"$geometry") + 253)) \
    $(($(sed -n 's/^Y=//p' <<<"$geometry") + $(sed -n 's/^HEIGHT=//p' <<<"$geometry") - 30))
sleep 0.2
xdotool click 1
check "manual: settings window open" wait_for_settings
sleep 1

manual_check current "al d.a (${short_version})"
manual_check none "No se pudo consultar el servidor"
manual_check min-system "0.2.0 requiere Windows 10.0.99999"

echo held-newer >"$scenario"
rm -f "$scenario.release"
: >"$requests"
check "held-newer: \"Buscar ahora\" clicked" click_check_now
check "held-newer: status reads 'Buscando'" shows "Buscando"
check "held-newer: a second click while it runs" click_check_now
sleep 1
touch "$scenario.release"
check "held-newer: status reads 'nueva: 0.2.0'" shows "nueva: 0.2.0"
check "held-newer: the install button offers 0.2.0" shows "Instalar 0.2.0"
check "held-newer: the second click asked nothing" test "$(grep -c '' "$requests")" -eq 1
import -window root "$artefacts/manual-newer.png"
quit_torvane

exit $((failures > 0))
