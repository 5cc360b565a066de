#!/usr/bin/env bash
# End-to-end checks of self-installation under Wine, as a user meets it: builds started from the
# Downloads folder, the installed copy taking over, the uninstall entry read back with reg.exe,
# the Start-menu shortcut, the warning and confirmation boxes read and answered through
# torvane_ctl, and the uninstaller.
# Usage: install.sh TORVANE_EXE NEXT_EXE UNVERSIONED_EXE TORVANE_CTL_EXE PREFIX ARTEFACTS VERSION
#        NEXT_VERSION
set -uo pipefail
build_exe=$1 next_exe=$2 plain_exe=$3 ctl=$4 prefix=$5 artefacts=$6 version=$7 next_version=$8
here=$(dirname "$0")
. "$here/../checks.sh"
wine_test_prefix "$prefix"
rm -rf "$artefacts" && mkdir -p "$artefacts"
user=$(id -un)
profile="$prefix/drive_c/users/$user"
data="$profile/AppData/Roaming/Torvane"
exe=$build_exe
. "$here/session.sh"
trap end_session EXIT

installed=$exe
install_folder=$(dirname "$installed")
downloads="$profile/Downloads"
shortcut="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Torvane.lnk"
win_profile="C:\\users\\$user"
win_folder="$win_profile\\AppData\\Local\\Programs\\Torvane"
win_installed="$win_folder\\Torvane.exe"
win_downloaded="$win_profile\\Downloads\\Torvane.exe"
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

# A copy that has just started may not listen yet: asked again until it has gone.
stop_running() {
    for _ in 1 2 3 4 5; do
        running || break
        quiet wine "$ctl" quit
        until_true 3 not_running && break
    done
    tray_gone
}

exit_code_of() {  # exit_code_of PID: its exit code, or 124 when it has not ended within 20 s
    timeout 20 tail --pid="$1" -f /dev/null || return 124
    wait "$1"
}

until_true() {  # until_true SECONDS COMMAND…
    local tries=$(($1 * 5))
    shift
    for _ in $(seq 1 $tries); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
running() { wine "$ctl" running 2>/dev/null; }
not_running() { ! running; }
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
expect_value() {  # expect_value KEY NAME "TYPE DATA"
    local found
    found=$(reg_value "$1" "$2")
    check "$2 is '$3' (found '$found')" test "$found" = "$3"
}

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
# Wine's registry lists values by name, not in the order they were written.
check "every uninstall value and no other (found: $(reg_names "$entry_key"))" test \
    "$(reg_names "$entry_key")" = \
    "DisplayIcon DisplayName DisplayVersion EstimatedSize InstallLocation NoModify NoRepair Publisher UninstallString "
expect_value "$entry_key" DisplayName "REG_SZ Torvane"
expect_value "$entry_key" DisplayVersion "REG_SZ ${version%.*}"
expect_value "$entry_key" Publisher "REG_SZ brisol"
expect_value "$entry_key" DisplayIcon "REG_SZ \"$win_installed\",0"
expect_value "$entry_key" InstallLocation "REG_SZ $win_folder"
expect_value "$entry_key" UninstallString "REG_SZ \"$win_installed\" --uninstall"
expect_value "$entry_key" NoModify "REG_DWORD 0x1"
expect_value "$entry_key" NoRepair "REG_DWORD 0x1"
expect_value "$entry_key" EstimatedSize "REG_DWORD $(printf '0x%x' $(($(stat -c %s "$installed") / 1024)))"
check "the Start-menu shortcut exists" test -f "$shortcut"
link=$(wine "$ctl" link "$(winepath -w "$shortcut" 2>/dev/null)" 2>/dev/null | tr -d '\r' | tr '\n' '|')
check "it starts the installed copy in its folder (found: $link)" test "$link" = \
    "$win_installed|$win_folder|$win_installed,0|Mantiene la PC despierta|"
check "a first installation does not switch on the log-on start" test -z "$(reg_value "$run_key" Torvane)"

echo "== The same build again while the installed copy runs"
touch -d '2020-01-01 00:00' "$installed"
from_downloads
check "exits 0 (exit $?)" test $? -eq 0
check "the installed file is untouched" test "$(stat -c %Y "$installed")" = "$(date -d '2020-01-01 00:00' +%s)"
check "the running copy shows its panel" until_true 5 find_panel
stop_running

echo "== The same build again with no copy running"
starts=$(grep -c ' Inicio ' "$data/torvane.log")
from_downloads
check "exits 0 (exit $?)" test $? -eq 0
check "the installed copy is started" until_true 10 running
started_installed() { test "$(grep -cF "en $win_installed" "$data/torvane.log")" -gt "$starts"; }
check "from its installed place" until_true 5 started_installed
check "nothing copied" test "$(stat -c %Y "$installed")" = "$(date -d '2020-01-01 00:00' +%s)"
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
expect_value "$entry_key" DisplayVersion "REG_SZ ${next_version%.*}"
# Signals reach a copy once it listens, right after its tray icon is added.
wait_for_tray
sleep 1

echo "== An older build never downgrades"
from_downloads "$build_exe"
check "exits 0 (exit $?)" test $? -eq 0
check "the installed file stays the newer build" cmp -s "$next_exe" "$installed"
check "the running copy shows its panel" until_true 5 find_panel
expect_value "$entry_key" DisplayVersion "REG_SZ ${next_version%.*}"
stop_running

echo "== Two builds without version resources keep the installed one"
clean_install
from_downloads "$plain_exe"
check "the first installs (exit $?)" cmp -s "$plain_exe" "$installed"
expect_value "$entry_key" DisplayVersion "REG_SZ "
check "and runs" until_true 10 running
stop_running
# The second differs from the first in bytes after its image.
cp "$plain_exe" "$downloads/Torvane.exe"
printf 'another build' >>"$downloads/Torvane.exe"
from_downloads
check "the second exits 0 (exit $?)" test $? -eq 0
check "the installed file is kept" cmp -s "$plain_exe" "$installed"
check "and started" until_true 10 running
stop_running

echo "== An installed copy that cannot be started: the download runs itself"
printf 'not a program' >"$installed"
from_downloads "$plain_exe" &
downloaded_pid=$!
check "it runs from Downloads" until_true 10 log_has "$(started_log dev 0 "$win_downloaded")"
stop_running
exit_code_of "$downloaded_pid"
check "and ends normally (exit $?)" test $? -eq 0

echo "== A failed installation warns and runs from Downloads"
clean_install
mkdir -p "$(dirname "$install_folder")"
printf 'in the way' >"$install_folder"
from_downloads "$build_exe" &
downloaded_pid=$!
box=$(wine "$ctl" dialog 2>/dev/null)
printf '%s' "$box" >"$artefacts/install-warning.txt"
expected_start=$(printf 'No se pudo instalar Torvane en %s.\n\n' "$win_folder")
check "the warning names the folder (read: $box)" test "${box:0:${#expected_start}}" = "$expected_start"
check "and the system's error with its code" grep -Eq '.+ \(os error 183\)$' <<<"${box:${#expected_start}}"
check "the warning is answered" wine "$ctl" answer 1
check "the program runs from Downloads" until_true 10 log_has "$(started_log "${version%.*}" "$build" "$win_downloaded")"
check "with its tray icon" wait_for_tray
check "no uninstall entry" test -z "$(reg_names "$entry_key")"
stop_running
exit_code_of "$downloaded_pid"
check "and ends normally (exit $?)" test $? -eq 0
rm -f "$install_folder"

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
    exit_code_of $pid
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

echo "== An install folder with '&' keeps only that folder"
shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
odd_local="$profile/A&B"
# The system hands out a redirected folder only when it exists.
mkdir -p "$odd_local"
quiet wine reg add "$shell_folders" /v "Local AppData" /t REG_EXPAND_SZ /d "$win_profile\\A&B" /f
clean_install
from_downloads "$build_exe"
check "installed below the folder with '&'" cmp -s "$build_exe" "$odd_local/Programs/Torvane/Torvane.exe"
until_true 10 running
wine "$odd_local/Programs/Torvane/Torvane.exe" --uninstall >>"$artefacts/wine.log" 2>&1 &
pid=$!
quiet wine "$ctl" dialog
quiet wine "$ctl" answer 6
exit_code_of $pid
check "answered Yes: exit 0 (exit $?)" test $? -eq 0
check "the shortcut is gone" test ! -e "$shortcut"
check "the uninstall entry is gone" test -z "$(reg_names "$entry_key")"
check "the data folder is gone" test ! -e "$data"
sleep 4
check "the install folder stays" test -f "$odd_local/Programs/Torvane/Torvane.exe"
quiet wine reg add "$shell_folders" /v "Local AppData" /t REG_EXPAND_SZ \
    /d "%USERPROFILE%\\AppData\\Local" /f
rm -rf "$odd_local"

echo
echo "install: $failures failed checks"
exit $((failures > 0))
