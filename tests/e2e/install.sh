#!/usr/bin/env bash
# End-to-end: self-installation under Wine as a user meets it: builds started from the Downloads
# folder (the first installation, the same build again, a newer and an older build), the
# installed copy taking over, the uninstall entry read back with reg.exe, and the uninstaller
# with its question answered through torvane_ctl.
# Usage: install.sh TORVANE_EXE NEXT_EXE TORVANE_CTL_EXE PREFIX ARTEFACTS VERSION NEXT_VERSION
set -uo pipefail
build_exe=$1 next_exe=$2 ctl=$3 prefix=$4 artefacts=$5 version=$6 next_version=$7
here=$(dirname "$0")
. "$here/../checks.sh"
wine_test_prefix "$prefix"
user=$(id -un)
profile="$prefix/drive_c/users/$user"
exe=$build_exe
. "$here/session.sh"

installed=$installed_exe
exe=$installed
install_folder=$(dirname "$installed")
downloads="$profile/Downloads"
shortcut="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Torvane.lnk"
win_profile="C:\\users\\$user"
win_folder="$win_profile\\AppData\\Local\\Programs\\Torvane"
win_installed="$win_folder\\Torvane.exe"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
entry_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Torvane'
build=${version##*.} next_build=${next_version##*.}

# A new prefix links Downloads to the host's home folder: the test's files stay in the prefix.
[[ -L $downloads ]] && rm "$downloads"
mkdir -p "$downloads"

quiet() { "$@" >>"$artefacts/wine.log" 2>&1; }

# Stops any running copy and removes every trace of an installation; the data folder keeps
# only the first-run mark, so that no greeting or settings window opens.
clean_install() {
    stop_running
    rm -rf "$install_folder" "$data" "$shortcut"
    quiet wine reg delete "$entry_key" /f
    quiet wine reg delete "$run_key" /v Torvane /f
    mkdir -p "$data"
    printf '{\n  "onboarded": true\n}' >"$data/state.json"
}

# from_downloads [EXE]: starts Torvane.exe in Downloads (copied from EXE first, when given) and
# waits for it; its exit code.
from_downloads() {
    [[ -n ${1:-} ]] && cp "$1" "$downloads/Torvane.exe"
    wine "$downloads/Torvane.exe" >>"$artefacts/wine.log" 2>&1
}

log_has() { grep -qF "$1" "$data/torvane.log" 2>/dev/null; }
started_log() { echo "Inicio $1 ($2) en $3"; }

# reg_value KEY NAME → "TYPE DATA" as reg.exe shows it.
reg_value() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v name="$2" '$1 == name { type = $2; sub("^ *" name " +" type " *", ""); print type, $0 }'
}
reg_names() {
    wine reg query "$1" 2>/dev/null | tr -d '\r' | awk '$2 ~ /^REG_/ { print $1 }' | sort | tr '\n' ' '
}
version_is() { test "$(reg_value "$entry_key" DisplayVersion)" = "REG_SZ $1"; }

echo "== First start from Downloads"
clean_install
from_downloads "$build_exe"
check "the Downloads copy exits 0 (exit $?)" test $? -eq 0
check "the program is copied into Programs\\Torvane" cmp -s "$build_exe" "$installed"
check "no .new file left" test ! -e "$installed.new"
check "the installed copy runs" until_true 10 running
check "with its tray icon" wait_for_tray
check "its log names the installed path" \
    until_true 5 log_has "$(started_log "${version%.*}" "$build" "$win_installed")"
check "with its uninstall entry" version_is "${version%.*}"
check "and its Start-menu shortcut" test -f "$shortcut"
check "a first installation does not switch on the log-on start" test -z "$(reg_value "$run_key" Torvane)"

echo "== The same build again while the installed copy runs"
touch -d '2020-01-01 00:00' "$installed"
from_downloads
check "exits 0 (exit $?)" test $? -eq 0
check "the installed file is untouched" test "$(stat -c %Y "$installed")" = "$(date -d '2020-01-01 00:00' +%s)"
check "the running copy shows its panel" until_true 5 find_panel
stop_running

echo "== A newer build replaces the running older copy"
printf '{\n  "onboarded": true\n}' >"$data/state.json"
start_torvane
wait_for_tray
from_downloads "$next_exe"
check "the newer build's Downloads copy exits 0 (exit $?)" test $? -eq 0
wait_for_exit_code
check "the older copy quit with code 0 (exit $?)" test $? -eq 0
check "and saved its run state" grep -q '"state.v1"' "$data/state.json"
check "the installed file is the newer build" cmp -s "$next_exe" "$installed"
check "the newer build runs from the installed place" \
    until_true 10 log_has "$(started_log "${next_version%.*}" "$next_build" "$win_installed")"
check "the uninstall entry names the newer version" version_is "${next_version%.*}"

echo "== An older build never downgrades"
# A copy that has only just started may not listen for the signal yet: started again.
shows_panel() { from_downloads "$build_exe" && until_true 3 find_panel; }
check "it hands over: the running copy shows its panel" until_true 20 shows_panel
check "the installed file stays the newer build" cmp -s "$next_exe" "$installed"
check "and so does the uninstall entry" version_is "${next_version%.*}"
stop_running

echo "== Uninstall"
clean_install
from_downloads "$build_exe"
until_true 10 running
quiet wine reg add "$run_key" /v Torvane /d "\"$win_installed\"" /f
uninstall_answered() {  # uninstall_answered BUTTON → the uninstaller's exit code
    wine "$installed" --uninstall >>"$artefacts/wine.log" 2>&1 &
    local pid=$! question
    question=$(wine "$ctl" dialog 2>/dev/null)
    [[ $question == "¿Desinstalar Torvane? Se borran la app y sus preferencias." ]] ||
        echo "   question read: $question"
    quiet wine "$ctl" answer "$1"
    exit_code_of "$pid"
}
uninstall_answered 7
check "answered No: exit 1 (exit $?)" test $? -eq 1
check "the copy still runs" running
check "the log-on start stays" test -n "$(reg_value "$run_key" Torvane)"
check "the shortcut stays" test -f "$shortcut"
check "the uninstall entry stays" test -n "$(reg_names "$entry_key")"
check "the data folder stays" test -f "$data/state.json"
check "the program stays" cmp -s "$build_exe" "$installed"
uninstall_answered 6
check "answered Yes: exit 0 (exit $?)" test $? -eq 0
check "the running copy has quit" not_running
check "the log-on start is gone" test -z "$(reg_value "$run_key" Torvane)"
check "the shortcut is gone" test ! -e "$shortcut"
check "the uninstall entry is gone" test -z "$(reg_names "$entry_key")"
check "the data folder is gone" test ! -e "$data"
check "the install folder is gone a few seconds later" until_true 10 test ! -e "$install_folder"

echo
echo "install: $failures failed checks"
exit $((failures > 0))
