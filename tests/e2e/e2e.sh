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
. "$(dirname "$0")/session.sh"

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

trap end_session EXIT

off=#6E6E6E active=#0067C0 working=#2E9E48

echo "== First start in a clean data folder"
rm -rf "$data"
park_pointer
start_torvane
check "tray icon added" wait_for_tray
check "icon shows the off state" wait_for_colour $off first-start
sleep 1
check "log line 'Inicio $version ($build) en …Torvane.exe'" \
    grep -q "^[0-9-]* [0-9:]* Inicio ${version%.*} ($build) en .*Torvane\.exe" "$data/torvane.log"
check "state.json marks onboarded" grep -q '"onboarded": true' "$data/state.json"
check "greeting balloon shown" wait_for_balloon "barra de tareas"

echo "== Right click toggles keep-awake"
click_icon 3
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
wait_for_exit_code
check "exits with code 0 within 20 s" test $? -eq 0
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
click_icon 3
park_pointer
moved=no
for _ in $(seq 1 600); do
    [[ $(xdotool getmouselocation --shell | head -n 2 | tr '\n' ' ') == "X=640 Y=600 " ]] ||
        { moved=yes; break; }
    sleep 0.02
done
check "the pointer is nudged while on" test $moved = yes
check "icon shows the working state" wait_for_colour $working working
check "no nudge icon window with its preference off" bash -c '! wine "$0" overlay' "$ctl"

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

echo "== With its preference on, each nudge shows the icon beside the pointer"
cat >"$data/prefs.json" <<'PREFS'
{
  "policy": "always",
  "interval": 5,
  "distance": 40,
  "randomize": false,
  "showIconOnJiggle": true
}
PREFS
printf '{\n  "onboarded": true\n}' >"$data/state.json"
start_torvane
wait_for_tray
check "no icon window before the first nudge" bash -c '! wine "$0" overlay' "$ctl"
click_icon 3
park_pointer

wait_for_nudge() {  # until the pointer leaves its parked place
    for _ in $(seq 1 600); do
        [[ $(xdotool getmouselocation --shell | head -n 2 | tr '\n' ' ') == "X=640 Y=600 " ]] ||
            return 0
        sleep 0.02
    done
    return 1
}
# The icon is the program's only visible window of its own.
overlay=
wait_for_overlay() {
    overlay=
    for _ in $(seq 1 25); do
        overlay=$(xdotool search --onlyvisible --classname '^torvane\.exe$' 2>/dev/null | head -n 1)
        [[ -n $overlay ]] && return 0
        sleep 0.02
    done
    return 1
}

# Parked at (640, 600): the icon's corner goes to (654, 610), the disc's edge 2 px inside its
# sides, the pointer glyph's body at (17, 20) inside it.
check "a nudge" wait_for_nudge
nudged=$(ms_now)
check "the icon's window shows" wait_for_overlay
geometry=$(xdotool getwindowgeometry --shell "$overlay" 2>/dev/null |
    grep -E '^(X|Y|WIDTH|HEIGHT)=' | tr '\n' ' ')
check "40 × 40, 14 px right of and 10 px below the pointer (found: $geometry)" \
    test "$geometry" = "X=654 Y=610 WIDTH=40 HEIGHT=40 "
# Wine may map the window a moment before the whole picture is on it.
while :; do
    import -window root "$artefacts/nudge-icon.png"
    shot_ms=$(($(ms_now) - nudged))
    edges=
    for xy in "674 612" "656 630" "691 630" "674 647"; do
        edges+="$(pixel "$artefacts/nudge-icon.png" $xy) "
    done
    if [[ $edges == "$active $active $active $active " ]] || ((shot_ms > 350)); then break; fi
done
convert "$artefacts/nudge-icon.png" -crop 60x60+644+600 +repage -scale 800% \
    "$artefacts/nudge-icon-zoom.png"
check "an opaque accent disc in the first half second (edges $edges, by $shot_ms ms)" \
    test "$edges" = "$active $active $active $active " -a $shot_ms -le 500
body=$(pixel "$artefacts/nudge-icon.png" 671 630)
check "a white pointer inside it (found $body)" test "$body" = "#FFFFFF"

# Nothing composites a bare X server: the fading picture shows darkened towards black.
dimmed=no gone_ms=
while (($(ms_now) - nudged < 2500)); do
    if ! xdotool search --onlyvisible --classname '^torvane\.exe$' >/dev/null 2>&1; then
        gone_ms=$(($(ms_now) - nudged))
        break
    fi
    import -window root "$artefacts/.fade.png"
    colour=$(pixel "$artefacts/.fade.png" 674 612)
    [[ $colour =~ ^#[0-9A-F]{6}$ ]] || continue
    blue=$((16#${colour:5:2}))
    if ((blue > 0 && blue < 0xB0)); then
        dimmed=yes
        cp "$artefacts/.fade.png" "$artefacts/nudge-icon-fading.png"
    fi
done
check "it fades out" test $dimmed = yes
check "it is gone about a second after the nudge (${gone_ms:-not} ms)" \
    test "${gone_ms:-0}" -ge 850 -a "${gone_ms:-9999}" -le 1800
check "its window is kept for the next nudge" wine "$ctl" overlay

# A plain window of another program under the next icon: a click on the icon must reach it.
# Wine may hand X's click to the icon's window and pass it on, or give that window no input
# area at all: either way the icon stays on top and the window below gets the click.
wine "$ctl" clicked 600 560 200 200 30 >>"$artefacts/wine.log" 2>&1 &
target_pid=$!
# It must be up before the icon shows, or X stacks the later window on top.
for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name '^torvane_ctl click target$' >/dev/null 2>&1 && break
    sleep 0.1
done
park_pointer
check "a second nudge" wait_for_nudge
wait_for_overlay
import -window root "$artefacts/nudge-icon-click.png"
xdotool mousemove 674 630 click 1
still=$(xdotool search --onlyvisible --classname '^torvane\.exe$' 2>/dev/null | head -n 1)
edge=$(pixel "$artefacts/nudge-icon-click.png" 674 612)
check "the icon shows above the other window's grey when clicked (found $edge)" \
    test -n "$overlay" -a "$edge" != "#808080"
check "a click leaves the icon showing (${still:-gone})" test -n "$overlay" -a "$still" = "$overlay"
if timeout 5 tail --pid="$target_pid" -f /dev/null; then
    wait "$target_pid"
    target_rc=$?
else
    target_rc=timeout
fi
check "the window below the icon gets the click ($target_rc)" test "$target_rc" = 0
park_pointer
quit_torvane
check "quits with code 0" test $? -eq 0

echo
echo "e2e: $failures failed checks"
exit $((failures > 0))
