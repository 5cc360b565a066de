#!/usr/bin/env bash
# End-to-end checks of the panel on the real Torvane.exe under Wine, used as a user would: a
# left click on the notification-area icon, clicks and typing with xdotool, the screen read
# back with pixels and OCR, and the preferences file the panel's fields write. Screenshots in
# light and dark are kept in ARTEFACTS.
# Usage: panel.sh TORVANE_EXE TORVANE_CTL_EXE PREFIX ARTEFACTS
set -uo pipefail
exe=$1 ctl=$2 prefix=$3 artefacts=$4
here=$(dirname "$0")
. "$here/../checks.sh"
wine_test_prefix "$prefix"
rm -rf "$artefacts" && mkdir -p "$artefacts"
data="$prefix/drive_c/users/$(id -un)/AppData/Roaming/Torvane"
. "$here/session.sh"
trap end_session EXIT

off=#6E6E6E active=#0067C0
personalize='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'

panel_hidden() {
    for _ in $(seq 1 40); do
        xdotool search --onlyvisible --name '^Torvane$' >/dev/null 2>&1 || return 0
        sleep 0.05
    done
    return 1
}
# Layout positions in DIPs, which are pixels here (Wine's 96 DPI). `rows` is what the
# information rows add above the actions; the panel is found again each time, since it moves
# when its height changes.
rows=0
at() {
    find_panel
    xdotool mousemove $((px + $1)) $((py + $2 + rows))
}
click() {
    at "$1" "$2"
    sleep 0.15
    xdotool click 1
    sleep 0.4
}
panel_text() {  # OCR of the panel as it is now; the shot is kept under NAME
    sleep 0.3
    find_panel
    for _ in $(seq 1 30); do  # the first paint makes the render target
        import -window root "$artefacts/$1.png"
        [[ $(pixel "$artefacts/$1.png" $((px + 5)) $((py + 200))) != "#000000" ]] && break
        sleep 0.1
    done
    convert "$artefacts/$1.png" -crop "${pw}x${ph}+${px}+${py}" +repage -resize 250% \
        "$artefacts/.ocr.png"
    tesseract "$artefacts/.ocr.png" - 2>/dev/null | tr '\n' ' '
}
shows() {  # shows TEXT NAME: the panel reads TEXT
    local text
    for _ in 1 2 3; do
        text=$(panel_text "$2")
        grep -q -- "$1" <<<"$text" && return 0
    done
    echo "   read: $text"
    return 1
}

# Widget centres of the layout without information rows or an update row.
chip_1h="250 112" switch="275 32" cancel_link="60 95"
activate_hours="108 183" activate_minutes="166 183" activate_for="275 183"
until_field="124 220" start_field="266 284" stop_check="24 321" program="265 356"
pause_5min="60 419" pause_hours="108 457" pause_minutes="166 457"
power="281 511"

echo "== A left click on the icon opens the panel beside the tray"
rm -rf "$data" && mkdir -p "$data"
printf '{\n  "onboarded": true\n}' >"$data/state.json"
wine reg delete "$personalize" /v AppsUseLightTheme /f >/dev/null 2>&1
park_pointer
start_torvane
check "tray icon added" wait_for_tray
check "icon shows the off state" wait_for_colour $off start
sleep 1
clicked_at=$(ms_now)
click_icon
check "the panel opens" wait_for_panel
visible_ms=$(($(ms_now) - clicked_at))
echo "   visible ${visible_ms} ms after the click (xdotool and polling included)"
check "310 pixels wide (found $pw)" test "$pw" = 310
check "it sits inside the screen, lifted above its bottom edge" \
    test $((py + ph)) -le $((800 - 12 - 56)) -a "$px" -ge 12
text=$(panel_text panel-light)
for expected in Torvane Apagado "ACTIVAR POR" "15 min" "30 min" "2 h" "8 h" PROGRAMAR \
    PAUSAR "5 min" "Hasta las" "Encender a las" "Apagar a las" "Clic derecho"; do
    # OCR sometimes drops a space.
    check "reads \"$expected\"" grep -Eq -- "${expected// / ?}" <<<"$text"
done
background=$(pixel "$artefacts/panel-light.png" $((px + 5)) $((py + 200)))
check "light palette background (found $background)" test "$background" = "#F9F9F9"

echo "== Esc and a second click on the icon hide it"
# Without a window manager X gives the keyboard to a window only when it is clicked.
click 150 60
xdotool key Escape
check "Esc hides it" panel_hidden
sleep 0.5
click_icon
wait_for_panel
sleep 0.5
click_icon
check "a left click opens it again" wait_for_panel
sleep 0.6
click_icon
check "a second left click closes it" panel_hidden
sleep 0.5
wine "$ctl" show
check "a second start's \"show\" opens it" wait_for_panel

echo "== Presets, timers, pauses and the switch"
closed_height=$ph
click $chip_1h
check "\"1 h\" switches on: the icon turns to the accent" wait_for_colour $active one-hour
sleep 0.5
find_panel
check "the panel grows by the timer row and the link (${closed_height} → $ph)" \
    test "$ph" -eq $((closed_height + 55))
check "the row \"Se apaga en …\" shows" shows "Se apaga en" timer-row
click $cancel_link
sleep 0.3
find_panel
check "\"Cancelar temporizadores\" removes the row" test "$ph" -eq "$closed_height"
click $pause_5min
check "a pause chip shows \"En pausa, vuelve en …\"" shows "En pausa, vuelve en" pause-row
click $cancel_link
check "cancelling the pause leaves it off" wait_for_colour $off pause-cancelled
click $switch
check "the switch switches on" wait_for_colour $active switch-on
click $switch
check "the switch switches off" wait_for_colour $off switch-off

echo "== Typing in the fields"
click $until_field
xdotool type --delay 80 "7.05"
xdotool key Return
click 150 60  # away from the field, so that its text is not drawn selected
check "\"7.05\" and Enter show 07:05" shows "07:05" until-typed
check "prefs.json holds lastUntilMinutes 425" test "$(pref lastUntilMinutes)" = 425
click $until_field
xdotool type --delay 80 "23:30"
xdotool key Home Up
click 150 60
check "Up in the hours of 23:30 gives 00:30" shows "00:30" until-up
check "prefs.json holds lastUntilMinutes 30" test "$(pref lastUntilMinutes)" = 30
click $activate_minutes
xdotool type --delay 80 "75"
check "a typed 75 in a minutes field becomes 59" test "$(pref customActivateMinutes)" = 119

# Tab order: with "Apagar a las" unchecked its field is skipped, and the last field wraps.
click $stop_check
check "unchecking \"Apagar a las\" is saved" test "$(pref lastStopEnabled)" = false
click $start_field
xdotool key Tab
xdotool type --delay 80 "2"
check "Tab from \"Encender a las\" skips the disabled field" \
    test "$(pref customPauseMinutes)" = 150
click $pause_minutes
xdotool key Tab
xdotool type --delay 80 "3"
check "Tab from the last field wraps to the first" test "$(pref customActivateMinutes)" = 239

echo "== \"Programar\" with a typed start time"
click $start_field
xdotool type --delay 80 "23:58"
xdotool key Return
click $program
check "\"Se enciende a las 23:58\" shows" shows "Se enciende a las 23:58" programmed
click $cancel_link

echo "== A disabled button and a drag off a button do nothing"
click $activate_hours
xdotool type --delay 80 "0"
click $activate_minutes
xdotool type --delay 80 "0"
check "the duration is saved as 0" test "$(pref customActivateMinutes)" = 0
import -window root "$artefacts/activate-disabled.png"
set -- $activate_for
border=$(pixel "$artefacts/activate-disabled.png" $((px + 295 - 1)) $((py + $2)))
check "\"Activar\" beside a zero duration is faded (outline $border)" \
    test "$border" != "#D1D1D1" -a "$border" != "#F9F9F9"
click $activate_for
sleep 1
check "and a click on it does nothing" wait_for_colour $off disabled-click
at $chip_1h
xdotool mousedown 1
sleep 0.2
at 150 60
sleep 0.2
xdotool mouseup 1
sleep 1
check "dragging off \"1 h\" before releasing does nothing" wait_for_colour $off drag-off

echo "== A click on another program's window hides it"
wine "$ctl" clicked 700 200 200 200 10 >>"$artefacts/wine.log" 2>&1 &
other=$!
sleep 1.5
# What a window manager does on the click: the window gets the keyboard focus.
xdotool windowfocus "$(xdotool search --name 'torvane_ctl click target' | head -n 1)"
xdotool mousemove 800 300 click 1
check "a click on another window hides it" panel_hidden
wait "$other"
sleep 0.5
click_icon
wait_for_panel

echo "== The power icon quits"
click $power
wait_for_exit_code
check "exits with code 0" test $? -eq 0
check "icon removed" tray_gone
check "run state saved" grep -q '"state.v1"' "$data/state.json"

echo "== The dark palette"
wine reg add "$personalize" /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null 2>&1
start_torvane
wait_for_tray
sleep 1
click_icon
wait_for_panel
text=$(panel_text panel-dark)
click 150 60
check "reads \"ACTIVAR POR\" in the dark" grep -q "ACTIVAR POR" <<<"$text"
background=$(pixel "$artefacts/panel-dark.png" $((px + 5)) $((py + 200)))
check "dark palette background (found $background)" test "$background" = "#2C2C2C"
xdotool key Escape
quit_torvane
check "quits with code 0" test $? -eq 0
wine reg delete "$personalize" /v AppsUseLightTheme /f >/dev/null 2>&1

echo
echo "panel: $failures failed checks"
exit $((failures > 0))
