#!/usr/bin/env bash
# End-to-end: the README's command for the main job. scripts/run in a fresh prefix installs
# Torvane, which hands over to the installed copy; the script keeps it running with its icon,
# and Ctrl+C asks it to quit and ends the script with its exit code.
# Usage: run.sh PREFIX ARTEFACTS TORVANE_CTL_EXE
set -uo pipefail
prefix=$1 artefacts=$2 ctl=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../checks.sh"
rm -rf "$prefix" "$artefacts" && mkdir -p "$artefacts"
# A display of its own, as the other end-to-end tests have.
unset DISPLAY
xvfb_start || exit 1
export WINEPREFIX=$prefix
data="$prefix/drive_c/users/$(id -un)/AppData/Roaming/Torvane"
. "$here/session.sh"
run=
finish() {
    [[ -n $run ]] && kill "$run" 2>/dev/null
    end_session
}
trap finish EXIT

# With job control the script runs in its own process group and takes Ctrl+C's signal.
set -m
"$here/../../scripts/run" --prefix "$prefix" >"$artefacts/run.log" 2>&1 &
run=$!
set +m
installed_started() { log_after_has 0 ' Inicio .* en C:\\users\\.*\\AppData\\Local\\Programs\\Torvane\\Torvane\.exe'; }
check "the installed copy starts" until_true 180 installed_started
check "with its tray icon" wait_for_tray
check "the script goes on while it runs" kill -0 "$run"
kill -INT "$run"
exit_code_of "$run"
rc=$?
run=
check "Ctrl+C quits it and the script ends with its exit code 0 (exit $rc)" test $rc -eq 0
check "no copy runs any more" not_running
echo
echo "run: $failures failed checks"
exit $((failures > 0))
