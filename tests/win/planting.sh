#!/usr/bin/env bash
# DLL planting: a copy of Torvane.exe in a "Downloads" folder beside DLLs named like the system
# DLLs it uses (each leaves a marker when loaded). Wine prefers its own builtin DLLs, so it is
# told to prefer native copies, as Windows does; the control program, which imports
# wtsapi32.dll the ordinary way, shows that the set-up plants for real. Torvane must install
# itself, run, quit and ask its uninstall question without loading any of them. version.dll is not planted: under Wine its own
# advapi32 imports it, so any program would load a planted copy before running any code (on
# Windows advapi32 is a known DLL that does not); check_exe.sh shows that Torvane.exe does not
# import it directly.
# Usage: planting.sh TORVANE_EXE CONTROL_EXE PLANTED_DLL TORVANE_CTL_EXE PREFIX
set -uo pipefail
exe=$1 control=$2 planted=$3 ctl=$4 prefix=$5
. "$(dirname "$0")/../checks.sh"
wine_test_prefix "$prefix"
trap 'wineserver -k 2>/dev/null; xvfb_stop' EXIT

dlls="d2d1 dwrite wtsapi32 dwmapi uxtheme wintrust crypt32"
downloads="$prefix/drive_c/users/$(id -un)/Downloads/planting"
rm -rf "$downloads" && mkdir -p "$downloads"
cp "$exe" "$downloads/Torvane.exe"
cp "$control" "$downloads/control.exe"
for dll in $dlls; do cp "$planted" "$downloads/$dll.dll"; done
# No debugger for a program that loaded a planted DLL and missed a function in it: it just ends.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d;$(tr ' ' ',' <<<"$dlls")=n,b"
loaded() { ls "$downloads"/*.loaded 2>/dev/null | xargs -rn1 basename | tr '\n' ' '; }

timeout 60 wine "$downloads/control.exe"
check "the control loads the planted wtsapi32.dll (the set-up plants for real)" \
    test -n "$(loaded)"
rm -f "$downloads"/*.loaded

installed="$prefix/drive_c/users/$(id -un)/AppData/Local/Programs/Torvane"
rm -rf "$installed"
wait_running() {
    for _ in $(seq 1 100); do
        wine "$ctl" running && return 0
        sleep 0.2
    done
    return 1
}
stop_torvane() {
    sleep 2  # a few ticks: the tray icon, Direct2D and the session notifications are in use
    wine "$ctl" quit
    timeout 30 wine "$ctl" wait
}
# A first start installs (version resource, shell link, registry) and hands over to the
# installed copy.
timeout 60 wine "$downloads/Torvane.exe"
check "the first start installs and hands over (exit $?)" test -f "$installed/Torvane.exe"
check "and loads none of the planted DLLs (loaded: $(loaded))" test -z "$(loaded)"
check "the installed copy runs" wait_running
stop_torvane

# Any argument but "--uninstall" runs the program where it is, without the install check.
wine "$downloads/Torvane.exe" --run-here &
torvane=$!
check "Torvane started from the folder" wait_running
stop_torvane
timeout 30 tail --pid="$torvane" -f /dev/null
check "Torvane loaded none of the planted DLLs (loaded: $(loaded))" test -z "$(loaded)"

# The uninstaller's question, answered No.
wine "$downloads/Torvane.exe" --uninstall &
uninstaller=$!
timeout 30 wine "$ctl" dialog >/dev/null
wine "$ctl" answer 7
timeout 30 tail --pid="$uninstaller" -f /dev/null
check "the uninstall question loaded none of them (loaded: $(loaded))" test -z "$(loaded)"

exit $((failures > 0))
