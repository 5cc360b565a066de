#!/usr/bin/env bash
# End-to-end checks of the real Torvane.exe under Wine, driven and observed from outside as a
# user would: the notification-area icon's pixels, its tooltip (read back with OCR), mouse and
# keyboard input with xdotool, the files in the data folder, and the instance objects through
# torvane_ctl. Screenshots are kept in ARTEFACTS.
# Usage: e2e.sh TORVANE_EXE TORVANE_CTL_EXE PREFIX ARTEFACTS VERSION
set -uo pipefail
exe=$1 ctl=$2 prefix=$3 artefacts=$4 version=$5
. "$(dirname "$0")/../checks.sh"
wine_test_prefix "$prefix"
rm -rf "$artefacts" && mkdir -p "$artefacts"

data="$prefix/drive_c/users/$(id -un)/AppData/Roaming/Torvane"
build=${version##*.}
torvane_pid=

start_torvane() {
    wine "$exe" >>"$artefacts/wine.log" 2>&1 &
    torvane_pid=$!
}

# The icon sits in Wine's own tray window at the top left of a bare X server.
tray_x= tray_y=
wait_for_tray() {
    local window geometry
    for _ in $(seq 1 100); do
        window=$(xdotool search --name "Wine System Tray" 2>/dev/null | head -n 1)
        if [[ -n $window ]]; then
            geometry=$(xdotool getwindowgeometry --shell "$window")
            tray_x=$(sed -n 's/^X=//p' <<<"$geometry")
            tray_y=$(sed -n 's/^Y=//p' <<<"$geometry")
            return 0
        fi
        sleep 0.2
    done
    return 1
}
tray_gone() {
    for _ in $(seq 1 50); do
        xdotool search --name "Wine System Tray" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    return 1
}

park_pointer() { xdotool mousemove 640 600; }

# Colour of the disc, at its left edge beside the pointer glyph.
icon_colour() {
    import -window root "$artefacts/.shot.png" 2>/dev/null
    convert "$artefacts/.shot.png" -crop "1x1+$((tray_x + 2))+$((tray_y + 8))" -depth 8 txt:- |
        grep -o '#[0-9A-F]\{6\}' | head -n 1
}
wait_for_colour() {  # wait_for_colour #RRGGBB SCREENSHOT_NAME
    local colour
    for _ in $(seq 1 40); do
        colour=$(icon_colour)
        [[ $colour == "$1" ]] && break
        sleep 0.25
    done
    cp "$artefacts/.shot.png" "$artefacts/$2.png"
    [[ $colour == "$1" ]] || echo "   icon colour is $colour, expected $1"
    [[ $colour == "$1" ]]
}

tooltip_text() {
    xdotool mousemove $((tray_x + 7)) $((tray_y + 7))
    sleep 0.2
    xdotool mousemove $((tray_x + 8)) $((tray_y + 8))
    sleep 2.5
    import -window root "$artefacts/tooltip.png"
    park_pointer
    convert "$artefacts/tooltip.png" -crop "600x40+0+$((tray_y + 16))" +repage -resize 300% \
        "$artefacts/.tooltip-ocr.png"
    tesseract "$artefacts/.tooltip-ocr.png" - --psm 7 2>/dev/null | tr '\n' ' '
}

# The balloon opens below the tray window.
balloon_text() {
    import -window root "$artefacts/greeting.png"
    convert "$artefacts/greeting.png" -crop "700x70+0+$((tray_y + 20))" +repage -resize 300% \
        "$artefacts/.balloon-ocr.png"
    tesseract "$artefacts/.balloon-ocr.png" - 2>/dev/null | tr '\n' ' '
}

quit_torvane() {  # asks the running copy to quit, as "--uninstall" or an update would
    wine "$ctl" quit
    local rc
    wait "$torvane_pid"
    rc=$?
    torvane_pid=
    tray_gone
    return $rc
}

cleanup() {
    [[ -n $torvane_pid ]] && { wine "$ctl" quit; sleep 2; kill "$torvane_pid" 2>/dev/null; }
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -f "$artefacts"/.*.png
    xvfb_stop
}
trap cleanup EXIT

off=#6E6E6E active=#0067C0 working=#2E9E48

echo "== First start in a clean data folder"
# Another prefix's tray window (from earlier tests on this display) would be mistaken for ours.
check "no other Wine tray window on the display" tray_gone
rm -rf "$data"
park_pointer
start_torvane
check "tray icon added" wait_for_tray
check "icon shows the off state" wait_for_colour $off first-start
sleep 1
check "log line 'Inicio $version ($build) en …Torvane.exe'" \
    grep -q "^[0-9-]* [0-9:]* Inicio ${version%.*} ($build) en .*Torvane\.exe" "$data/torvane.log"
check "state.json marks onboarded" grep -q '"onboarded": true' "$data/state.json"
for _ in $(seq 1 10); do
    balloon=$(balloon_text)
    grep -q "barra de tareas" <<<"$balloon" && break
    sleep 1
done
check "greeting balloon shown (read: $balloon)" grep -q "barra de tareas" <<<"$balloon"

echo "== Right click toggles keep-awake"
xdotool mousemove $((tray_x + 8)) $((tray_y + 8)) click 3
park_pointer
check "icon turns to the accent colour" wait_for_colour $active switched-on

echo "== Ctrl+Alt+Shift+J toggles"
# Wine delivers a registered hot key only while one of its windows has the keyboard focus.
xdotool windowfocus "$(xdotool search --name "Wine System Tray" | head -n 1)"
xdotool key ctrl+alt+shift+j
check "hot key switches off" wait_for_colour $off hotkey-off
xdotool key ctrl+alt+shift+j
check "hot key switches on again" wait_for_colour $active hotkey-on
park_pointer

echo "== Quit through the quit event"
quit_torvane
check "quit exits with code 0" test $? -eq 0
check "icon removed" tray_gone
check "instance released" bash -c '! wine "$0" running' "$ctl"
check "run state written as on" grep -q '"state.v1":\[1\.0,' <(tr -d ' \n' <"$data/state.json")

echo "== Restart restores the run state"
start_torvane
wait_for_tray
check "restored on" wait_for_colour $active restored-on
tip=$(tooltip_text)
check "tooltip shows the status (read: $tip)" grep -Eq "Torv[ae]ne.*Esperando inactividad" <<<"$tip"
quit_torvane

echo "== A close request from another program quits cleanly"
printf '{\n  "onboarded": true\n}' >"$data/state.json"
start_torvane
wait_for_tray
check "WM_CLOSE posted to the main window" wine "$ctl" close
if timeout 20 tail --pid="$torvane_pid" -f /dev/null; then
    wait "$torvane_pid"
    check "exits with code 0" test $? -eq 0
    torvane_pid=
else
    failed "exits within 20 s"
fi
check "icon removed" tray_gone
check "instance released" bash -c '! wine "$0" running' "$ctl"
check "run state saved on the way out" grep -q '"state.v1":\[0\.0,' <(tr -d ' \n' <"$data/state.json")

echo "== An expired timer is not restored"
past=$(($(date +%s) - 3600))
printf '{\n  "onboarded": true,\n  "state.v1": [1.0, %s.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0]\n}' \
    "$past" >"$data/state.json"
start_torvane
wait_for_tray
sleep 1.5
check "stays off" wait_for_colour $off expired-timer
quit_torvane

echo "== Preferences written before the start are honoured"
cat >"$data/prefs.json" <<'PREFS'
{
  "policy": "always",
  "interval": 5,
  "distance": 40,
  "randomize": false
}
PREFS
start_torvane
wait_for_tray
park_pointer
xdotool mousemove $((tray_x + 8)) $((tray_y + 8)) click 3
park_pointer
moved=no
for _ in $(seq 1 600); do
    [[ $(xdotool getmouselocation --shell | head -n 2 | tr '\n' ' ') == "X=640 Y=600 " ]] ||
        { moved=yes; break; }
    sleep 0.02
done
check "the pointer is nudged while on" test $moved = yes
check "icon shows the working state" wait_for_colour $working working

echo "== A second start waits, signals and exits 0"
began=$(date +%s)
wine "$exe" >>"$artefacts/wine.log" 2>&1
rc=$?
elapsed=$(($(date +%s) - began))
check "second start exits 0 (exit $rc)" test $rc -eq 0
check "second start waited for the mutex (${elapsed}s)" test $elapsed -ge 7
check "first copy still runs" wine "$ctl" running

echo "== A start after a killed copy runs at once"
kill -9 "$torvane_pid"
wait "$torvane_pid" 2>/dev/null
torvane_pid=
tray_gone
starts=$(grep -c ' Inicio ' "$data/torvane.log")
start_torvane
started=no
for _ in $(seq 1 30); do
    [[ $(grep -c ' Inicio ' "$data/torvane.log") -gt $starts ]] && { started=yes; break; }
    sleep 0.2
done
check "no wait for the abandoned mutex: started within 6 s" test $started = yes
wait_for_tray
quit_torvane
check "quits with code 0" test $? -eq 0

echo
echo "e2e: $failures failed checks"
exit $((failures > 0))
