#!/usr/bin/env bash
# End-to-end: installing updates under Wine. The running build, signed by the publisher, is
# installed in its place; the release tool publishes the next build on the local update host
# (update_host.sh). Then, as a user would:
#   - one refused release per proof, each made as an attacker could (a changed byte, another
#     key, another certificate, the wrong build, an archive without the program), is offered
#     through "Buscar ahora" and "Instalar" in the settings window, and must keep the offer and
#     show why (every other attack, and that each leaves the program as it was, is the unit
#     tests');
#   - the genuine release, installed from the panel, restarts the program into the next build
#     with its state and shows the release notes; the leftovers are gone after the start.
# Usage: update_install.sh TORVANE_EXE NEXT_EXE TORVANE_CTL_EXE PREFIX ARTEFACTS
#        VERSION NEXT_VERSION RELEASE_TOOL
set -uo pipefail
exe=$1 next=$2 ctl=$3 prefix=$4 artefacts=$5 version=$6 next_version=$7 release=$8
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../checks.sh"
if [[ ! -x $release ]]; then
    echo "FAILED: no release tool at $release (the native build makes it)"
    exit 1
fi
wine_test_prefix "$prefix"
. "$here/session.sh"
temp="$prefix/drive_c/users/$(id -un)/AppData/Local/Temp"
short_version=${version%.*}
next_short=${next_version%.*} next_build=${next_version##*.}

echo "== The publisher's release, made with the release tool"
keys=$artefacts/keys www=$artefacts/www
mkdir -p "$keys" "$www"
# The private half of the key the test builds carry, and a new one for an impostor.
grep -o '"[0-9a-f]\{64\}"' "$here/../core/signing.h" | tr -d '"' >"$keys/publisher.key"
chmod 600 "$keys/publisher.key"
check "keygen makes the impostor's key" "$release" keygen "$keys/impostor.key"
for who in publisher impostor; do
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Torvane test $who" \
        -addext extendedKeyUsage=codeSigning -keyout "$keys/$who-cert.key" \
        -out "$keys/$who-cert.pem" 2>/dev/null
done
sign_exe() {  # sign_exe WHO IN OUT
    "$release" sign-exe "$2" "$keys/$1-cert.pem" "$keys/$1-cert.key" "$3" >/dev/null
}
check "the running build is signed by the publisher" sign_exe publisher "$exe" \
    "$artefacts/Torvane.exe"
exe=$artefacts/Torvane.exe
url=https://localhost/software/torvane/
package=Torvane-$next_short.zip
check "publish signs, packs and describes the next build" \
    "$release" publish --exe "$next" --key "$keys/publisher.key" \
    --cert "$keys/publisher-cert.pem" --cert-key "$keys/publisher-cert.key" --url-base "$url" \
    --out "$www/genuine" --notes "Arreglos varios y un detalle" --allow-test-key
check "the feed names build $next_build at its URL" \
    grep -q "\"build\": *$next_build" "$www/genuine/appcast-windows.json"
signed_next=$www/genuine/Torvane.exe

# release_of NAME ZIP [KEY [BUILD]]: a folder serving ZIP with a feed signed by KEY. Written
# here rather than by the tool's "feed", which refuses to describe a package the program would
# not accept.
release_of() {
    mkdir -p "$www/$1"
    cp "$2" "$www/$1/$package"
    python3 - "$www/$1" "$package" "$url" "$next_short" "${4:-$next_build}" \
        "$("$release" sign "${3:-$keys/publisher.key}" "$2")" <<'EOF'
import hashlib, json, os, sys
folder, name, url, version, build, signature = sys.argv[1:7]
data = open(os.path.join(folder, name), "rb").read()
json.dump({"version": version, "build": int(build), "size": len(data), "url": url + name,
           "sha256": hashlib.sha256(data).hexdigest(), "signature": signature,
           "notes": "Arreglos varios y un detalle"},
          open(os.path.join(folder, "appcast-windows.json"), "w"))
EOF
}
pack() { "$release" pack "$1" "$2" >/dev/null; }

genuine_zip=$www/genuine/$package
cp -r "$www/genuine" "$www/flipped"
python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(f.seek(0, 2) // 2); b = f.read(1)
f.seek(-1, 1); f.write(bytes([b[0] ^ 1]))' "$www/flipped/$package"
release_of other-key "$genuine_zip" "$keys/impostor.key"
sign_exe impostor "$next" "$artefacts/impostor.exe"
pack "$artefacts/impostor.exe" "$artefacts/impostor.zip" && release_of impostor "$artefacts/impostor.zip"
release_of other-build "$genuine_zip" "" $((next_build + 1))
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[2], "w").write(sys.argv[1], "Other.exe")' \
    "$signed_next" "$artefacts/no-app.zip" && release_of no-app "$artefacts/no-app.zip"

use_installed_copy
. "$here/update_host.sh"
# The old process watches the new build's first 30 s before it ends.
old_process_ended() { until_true 45 ended "$torvane_pid" && torvane_pid=; }

echo "== Attacks: offered, installed, refused"
rm -rf "$data" && mkdir -p "$data"
printf '{\n  "onboarded": true\n}' >"$data/state.json"
printf '{\n  "autoCheckUpdates": false,\n  "autoInstallUpdates": false\n}' >"$data/prefs.json"
start_torvane
check "tray icon added" wait_for_tray
require "settings window open" open_settings

offered() {  # offered FROM_LINE: "Buscar ahora" clicked, and the next build found
    click_word "$settings_name" ahora &&
        wait_for_log "$1" "Versión nueva en el feed: $next_short "
}
no_work_folder() { test -z "$(ls -d "$temp"/torvane-update-* 2>/dev/null)"; }

# attack SCENARIO STATUS [WORDS]: offered, "Instalar" clicked, refused with STATUS in the log
# and WORDS (a part of STATUS that OCR reads reliably) on screen beside the offer.
attack() {
    local from name="${1%% *} ${1##*/}"
    from=$(log_lines)
    echo "$1" >"$scenario"
    check "$name: \"Buscar ahora\" offers $next_short" offered "$from"
    check "$name: \"Instalar $next_short\" clicked" click_word "$settings_name" Instalar
    check "$name: refused with '$2'" wait_for_log "$from" "Actualización fallida: $2"
    check "$name: no work folder left" no_work_folder
    if [[ -n ${3:-} ]]; then
        check "$name: the window shows '$3' and still offers $next_short" \
            window_reads "$settings_name" "$3.*Instalar $next_short" "$name"
    fi
}

# The window shows each refusal alike: read once. Each status text is the unit tests'.
attack "files $www/flipped" "El archivo descargado no coincide" "no coincide"
attack "files $www/other-key" "Firma de la actualización inválida"
attack "files $www/impostor" "La actualización no está firmada por brisol"
attack "files $www/other-build" "La versión descargada no es válida"
attack "files $www/no-app" "El paquete no contiene la app"
wine "$ctl" close-settings
quit_torvane

echo "== The genuine release, installed from the panel"
# Switched on before, so that the restart must carry the state over.
rm -f "$data/torvane.log"
start_torvane
check "tray icon added" wait_for_tray
click_icon 3
check "switched on with a right click" wait_for_color "#0067C0" before-update
echo "slow $www/genuine" >"$scenario"
rm -f "$scenario.release"
require "settings window open" open_settings
check "a newer build offered" offered 0
wine "$ctl" close-settings
until_true 5 settings_gone
open_panel
click_at 255 81
button_reads() {  # the update row's button reads TEXT; faded while busy
    ocr panel-installing "120x30+$((wx0 + 188))+$((wy0 + 65))" 7 -colorspace Gray \
        -level 55%,85% | grep -q -- "$1"
}
check "the panel's install button reads 'Instalando…' while it downloads" \
    until_true 5 button_reads "Instalando"
touch "$scenario.release"
check "log: installed, restarting" wait_for_log 0 "Instalada la build $next_build; reiniciando"
check "log: the new build starts in the installed place" \
    wait_for_log 0 "Inicio $next_short ($next_build) en "
check "the installed program is the published one" cmp -s "$installed_exe" "$signed_next"
check "tray icon back" wait_for_tray
# Wine's balloon cuts the title after "0.1.".
check "balloon 'Torvane actualizado a …'" wait_for_balloon "Torvane actualizado a"
check "balloon body: the release notes (read: $balloon)" grep -q "varios .* detalle" <<<"$balloon"
check "still switched on after the restart" wait_for_color "#0067C0" after-update
check "the old process quits by itself" old_process_ended
old="$(dirname "$installed_exe")/Torvane.old.exe"
check "Torvane.old.exe removed after the start" until_true 6 test ! -e "$old"
check "no work folder left" no_work_folder
check "the notes were handed over once: updatedTo is gone" \
    bash -c '! grep -q updatedTo "$0"' "$data/state.json"
check "the new build quits" stop_running

exit $((failures > 0))
