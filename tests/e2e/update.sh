#!/usr/bin/env bash
# End-to-end checks of the update check under Wine: the real Torvane.exe asks a local HTTPS
# server on localhost:443 (a certificate from a test CA that the host's store, and with it
# Wine's, trusts) for its feed at the periodic check 15 s after start, and its log, balloon and
# requests are observed from outside. "Buscar ahora" in the settings window then runs a check
# per scenario in the same start.
# Usage: update.sh TORVANE_EXE TORVANE_CTL_EXE PREFIX ARTEFACTS VERSION
set -uo pipefail
exe=$1 ctl=$2 prefix=$3 artefacts=$4 version=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../checks.sh"
wine_test_prefix "$prefix"
build=${version##*.}
short_version=${version%.*}
. "$here/session.sh"
use_installed_copy

# Onboarded already: no greeting balloon in the way. A newer build is announced, not installed.
rm -rf "$data" && mkdir -p "$data"
printf '{\n  "onboarded": true\n}' >"$data/state.json"
printf '{\n  "autoInstallUpdates": false\n}' >"$data/prefs.json"

. "$here/update_host.sh"

requested() {  # requested PATH…: the server saw exactly these requests, in this order
    local got
    got=$(cut -d'|' -f1 "$requests" | tr '\n' ' ')
    [[ $got == "$* " ]] || { echo "   requested: $got"; return 1; }
}
# logged FROM_LINE TEXT: a line after FROM_LINE is exactly TEXT (a basic pattern) after its time.
logged() { wait_for_log "$1" "^[0-9-]* [0-9:]* $2\$"; }

echo "== A newer build behind three redirects, found by the periodic check"
echo newer >"$scenario"
: >"$requests"
start_torvane
check "newer: tray icon added" wait_for_tray
check "newer: log line 'Versión nueva en el feed: 0.2.0 (build 2); …'" \
    logged 0 "Versión nueva en el feed: 0\.2\.0 (build 2); instalada $short_version ($build)"
check "newer: the redirects were followed as resolved" requested \
    /software/torvane/appcast-windows.json /hop/one/a.json /hop/one/b.json?x=1 /feeds/newer.json
check "newer: user agent Torvane-Windows/$short_version and no-cache on every request" \
    test "$(sort -u <<<"$(cut -d'|' -f2,3 "$requests")")" = \
    "Torvane-Windows/$short_version|no-cache"
check "newer: balloon 'Torvane 0.2.0 disponible'" wait_for_balloon "0.2.0 disponible"
check "no failure logged for the newer build" \
    bash -c 'test -s "$0" && ! tail -n 2 "$0" | grep -q "No se pudo"' "$data/torvane.log"
quit_torvane

echo "== \"Buscar ahora\" in the settings window"
# Only manual checks in this start.
printf '{\n  "autoCheckUpdates": false\n}' >"$data/prefs.json"
start_torvane
check "manual: tray icon added" wait_for_tray

manual_check() {  # manual_check SCENARIO TEXT
    echo "$1" >"$scenario"
    : >"$requests"
    check "$1: \"Buscar ahora\" clicked" click_word "$settings_name" ahora
    check "$1: status reads '$2'" settings_reads "$2"
}

require "manual: settings window open" open_settings
settings_reads() { window_reads "$settings_name" "$1" settings-update; }

manual_check current "al d.a (${short_version})"
manual_check none "No se pudo consultar el servidor"
manual_check min-system "0.2.0 requiere Windows 10.0.99999"

# fetch_fails SCENARIO: "Buscar ahora" against SCENARIO logs the server failure.
fetch_fails() {
    local from
    from=$(log_lines)
    echo "$1" >"$scenario"
    : >"$requests"
    check "$1: \"Buscar ahora\" clicked" click_word "$settings_name" ahora
    check "$1: log line 'No se pudo consultar el servidor'" \
        logged "$from" "No se pudo consultar el servidor"
}
fetch_fails four-redirects
check "four-redirects: three followed, the fourth not" \
    requested /software/torvane/appcast-windows.json /r1 /r2 /r3
fetch_fails oversize

echo held-newer >"$scenario"
rm -f "$scenario.release"
: >"$requests"
check "held-newer: \"Buscar ahora\" clicked" click_word "$settings_name" ahora
check "held-newer: status reads 'Buscando'" settings_reads "Buscando"
touch "$scenario.release"
check "held-newer: status reads 'nueva: 0.2.0'" settings_reads "nueva: 0.2.0"
check "held-newer: the install button offers 0.2.0" settings_reads "Instalar 0.2.0"
quit_torvane

exit $((failures > 0))
