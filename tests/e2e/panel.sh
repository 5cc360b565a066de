#!/usr/bin/env bash
# End-to-end: the panel of the real Torvane.exe under Wine, used as a user would: opened from
# the notification-area icon, each block used once with clicks and typing, read back with OCR,
# the icon's pixels and prefs.json. Screenshots in light and dark are kept in ARTEFACTS.
# Usage: panel.sh TORVANE_EXE TORVANE_CTL_EXE PREFIX ARTEFACTS
set -uo pipefail
exe=$1 ctl=$2 prefix=$3 artefacts=$4
here=$(dirname "$0")
. "$here/../checks.sh"
wine_test_prefix "$prefix"
. "$here/session.sh"
use_installed_copy

off=#6E6E6E active=#0067C0

# Layout positions in DIPs, which are pixels here (Wine's 96 DPI), without information rows;
# `rows` is what they add above the actions. The panel is found again for each click, since it
# moves when its height changes.
rows=0
click() {  # click X Y, then waits for the panel to settle where the click may move it
    find_panel
    click_at "$1" $(($2 + rows))
    until_true 3 settled "$panel_name"
}
reads() { window_reads "$panel_name" "$@"; }  # reads PATTERN SHOT
panel_height_is() { find_panel && ((wh == $1)); }
switch="275 32" cancel_link="60 95"
until_field="124 220" start_field="266 284" program="265 356" pause_5min="60 419"
power="281 511"

echo "== A left click on the icon opens the panel beside the tray"
rm -rf "$data" && mkdir -p "$data"
printf '{\n  "onboarded": true\n}' >"$data/state.json"
wine reg delete "$personalize" /v AppsUseLightTheme /f >/dev/null 2>&1
park_pointer
start_torvane
check "tray icon added" wait_for_tray
check "icon shows the off state" wait_for_color $off start
check "the panel opens" open_panel
check "310 pixels wide (found $ww)" test "$ww" = 310
closed_height=$wh
text=$(read_window "$panel_name" panel-light | tr '\n' ' ')
for expected in Torvane Apagado "ACTIVAR POR" "15 min" "8 h" PROGRAMAR PAUSAR "Hasta las" \
    "Encender a las" "Clic derecho"; do
    # OCR sometimes drops a space.
    check "reads \"$expected\"" grep -Eq -- "${expected// / ?}" <<<"$text"
done
background=$(pixel "$artefacts/panel-light.png" 5 200)
check "light palette background (found $background)" test "$background" = "#F9F9F9"

echo "== Esc hides it; a second start shows it"
# Without a window manager X gives the keyboard to a window only when it is clicked.
click 150 60
xdotool key Escape
check "Esc hides it" until_true 3 panel_hidden
wine "$ctl" show
check "a second start's \"show\" opens it" until_true 5 find_panel

echo "== Each block once, \"1 h\" with the keyboard alone"
# What a window manager does when the panel opens: it gets the keyboard.
has_focus() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]]; }
until_true 3 settled "$panel_name"
panel_id=$(xdotool search --onlyvisible --name "$panel_name" | head -n 1)
xdotool windowfocus "$panel_id"
until_true 3 has_focus "$panel_id"
xdotool key Tab Tab Tab space  # from the switch: "15 min", "30 min", "1 h"
check "Tab to \"1 h\" and Space switch on: the icon turns to the accent" \
    wait_for_color $active one-hour
check "the row \"Se apaga en …\" shows" reads "Se apaga en" timer-row
# Hidden, the panel forgets the keyboard's focus ring, which the reading below would see.
xdotool key Escape
until_true 3 panel_hidden
wine "$ctl" show
until_true 5 find_panel && until_true 3 settled "$panel_name"
click $cancel_link
check "\"Cancelar temporizadores\" removes the row" until_true 5 panel_height_is "$closed_height"
click $pause_5min
check "a pause chip shows \"En pausa, vuelve en …\"" reads "En pausa, vuelve en" pause-row
click $cancel_link
check "cancelling the pause leaves it off" wait_for_color $off pause-cancelled
click $switch
check "the switch switches on" wait_for_color $active switch-on
click $switch
check "and off" wait_for_color $off switch-off
click $until_field
xdotool type --delay 80 "7.05"
xdotool key Return
click 150 60  # away from the field, so that its text is not drawn selected
check "\"7.05\" and Enter in \"Hasta las\" show 07:05" reads "07:05" until-typed
check "and reach prefs.json" pref_is lastUntilMinutes 425
click $start_field
xdotool type --delay 80 "23:58"
xdotool key Return
click $program
check "\"Programar\" shows \"Se enciende a las 23:58\"" reads "Se enciende a las 23:58" programmed
click $cancel_link

echo "== The power icon quits"
click_at $power
wait_for_exit_code
check "exits with code 0" test $? -eq 0
check "icon removed" tray_gone

echo "== The dark palette"
wine reg add "$personalize" /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null 2>&1
dark=yes
start_torvane
wait_for_tray
open_panel
check "reads \"ACTIVAR POR\" in the dark" reads "ACTIVAR POR" panel-dark
background=$(pixel "$artefacts/panel-dark.png" 5 200)
check "dark palette background (found $background)" test "$background" = "#2C2C2C"
quit_torvane
check "quits with code 0" test $? -eq 0
wine reg delete "$personalize" /v AppsUseLightTheme /f >/dev/null 2>&1

echo
echo "panel: $failures failed checks"
exit $((failures > 0))
