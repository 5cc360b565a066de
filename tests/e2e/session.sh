# Sourced by the end-to-end scripts once wine_test_prefix has made their prefix: starting,
# finding, reading and quitting the real Torvane.exe under Wine. Needs exe, ctl and artefacts
# set by the caller; empties artefacts, sets data (the program's data folder) and ends the
# session on exit.
rm -rf "$artefacts" && mkdir -p "$artefacts"
data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Torvane"
trap end_session EXIT
personalize='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
# OCR on one thread: its threads would only compete with the tests running beside this one.
export OMP_THREAD_LIMIT=1
torvane_pid=
installed_exe="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/Torvane/Torvane.exe"

# Started from anywhere else the program installs itself and hands over to the installed copy:
# most tests run the copy in its installed place.
use_installed_copy() {
    mkdir -p "$(dirname "$installed_exe")"
    cp "$exe" "$installed_exe"
    exe=$installed_exe
}

# until_true SECONDS COMMAND…: COMMAND succeeds within SECONDS, tried every 0.2 s.
until_true() {
    local end=$(($(date +%s%N) / 1000000 + $1 * 1000))
    shift
    while :; do
        "$@" && return 0
        (($(date +%s%N) / 1000000 > end)) && return 1
        sleep 0.2
    done
}

start_torvane() {
    wine "$exe" >>"$artefacts/wine.log" 2>&1 &
    torvane_pid=$!
}

# The icon sits in Wine's own tray window at the top left of a bare X server. The window may
# exist before the icon is drawn in it, and a click then is lost: ready once the icon shows.
tray_x= tray_y=
find_tray() {
    local window geometry
    window=$(xdotool search --name "Wine System Tray" 2>/dev/null | head -n 1)
    [[ -n $window ]] || return 1
    geometry=$(xdotool getwindowgeometry --shell "$window") || return 1
    tray_x=$(sed -n 's/^X=//p' <<<"$geometry") tray_y=$(sed -n 's/^Y=//p' <<<"$geometry")
}
icon_drawn() { [[ ! $(icon_color) =~ ^#(FFFFFF|000000)?$ ]]; }
wait_for_tray() { until_true 20 find_tray && until_true 5 icon_drawn; }
no_tray() { ! xdotool search --name "Wine System Tray" >/dev/null 2>&1; }
tray_gone() { until_true 10 no_tray; }

park_pointer() { xdotool mousemove 640 600; }

screen() { import -window root "$artefacts/${1:-.screen}.png" 2>/dev/null; }
# pixel SCREENSHOT X Y → #RRGGBB
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n 1; }

# Color of the disc, at its left edge beside the pointer glyph.
icon_color() {
    screen .icon
    pixel "$artefacts/.icon.png" $((tray_x + 2)) $((tray_y + 8))
}
color_is() { [[ $(icon_color) == "$1" ]]; }
wait_for_color() {  # wait_for_color #RRGGBB SCREENSHOT_NAME
    until_true 10 color_is "$1"
    local ok=$?
    cp "$artefacts/.icon.png" "$artefacts/$2.png"
    ((ok == 0)) || echo "   icon color is $(icon_color), expected $1"
    return $ok
}

click_icon() { xdotool mousemove $((tray_x + 8)) $((tray_y + 8)) click "${1:-1}"; }

quit_torvane() {  # asks the running copy to quit, as "--uninstall" or an update would
    # A copy that has only just started may not listen yet: asked again until it ends.
    for _ in $(seq 1 10); do
        wine "$ctl" quit
        until_true 3 ended "$torvane_pid" && break
    done
    wait "$torvane_pid"
    local rc=$?
    torvane_pid=
    tray_gone
    return $rc
}
# exit_code_of PID: waits up to 20 s for the child PID to end; its exit code, or 124.
ended() { ! kill -0 "$1" 2>/dev/null; }
exit_code_of() { until_true 20 ended "$1" || return 124; wait "$1"; }
wait_for_exit_code() {  # the same for the copy start_torvane started
    exit_code_of "$torvane_pid"
    local rc=$?
    ((rc == 124)) || torvane_pid=
    return $rc
}
running() { wine "$ctl" running 2>/dev/null; }
not_running() { ! running; }
# stop_running: asks whatever copy runs to quit, again while it has only just started and may
# not listen yet, until it has gone with its icon.
stop_running() {
    for _ in 1 2 3 4 5; do
        running || break
        wine "$ctl" quit >>"$artefacts/wine.log" 2>&1
        until_true 3 not_running && break
    done
    tray_gone
}

end_session() {
    [[ -n $torvane_pid ]] && { wine "$ctl" quit; until_true 3 ended "$torvane_pid" || kill "$torvane_pid"; }
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -f "$artefacts"/.*.png
    xvfb_stop
}

# The log: its line count now, and waiting for a line written after that.
log_lines() { grep -c '' "$data/torvane.log" 2>/dev/null || echo 0; }
log_after_has() { tail -n +$(($1 + 1)) "$data/torvane.log" 2>/dev/null | tr -d '\r' | grep -q -- "$2"; }
# wait_for_log FROM_LINE PATTERN: a line after FROM_LINE matches within 30 s.
wait_for_log() { until_true 30 log_after_has "$@"; }

pref() { tr -d ' \n' <"$data/prefs.json" | grep -o "\"$1\":[^,}]*" | head -n 1 | cut -d: -f2; }
pref_has() { [[ $(pref "$1") == "$2" ]]; }
pref_is() {  # pref_is KEY VALUE: prefs.json holds KEY: VALUE once the save delay has passed
    until_true 5 pref_has "$1" "$2" || { echo "   $1 is $(pref "$1")"; return 1; }
}

# ocr SHOT CROP PSM [CONVERT_OPTION…]: a new screenshot SHOT.png, and what OCR reads on its
# CROP (WxH+X+Y) at three times its size, as one line.
ocr() {
    screen "$1"
    convert "$artefacts/$1.png" -crop "$2" +repage "${@:4}" -resize 300% "$artefacts/.crop.png"
    tesseract "$artefacts/.crop.png" - --psm "$3" 2>/dev/null | tr '\n' ' '
}

# Reading a window with OCR. window_geometry NAME_REGEX sets wx0, wy0, ww, wh (the client area:
# no window manager draws a frame); read_window NAME_REGEX SHOT [tsv] shoots the screen, keeps
# the window as SHOT.png and prints what OCR reads on it at twice its size (dark palettes
# negated, since OCR wants dark text on a light ground).
wx0= wy0= ww= wh= dark=no
window_geometry() {
    local window geometry
    window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [[ -n $window ]] || return 1
    geometry=$(xdotool getwindowgeometry --shell "$window" 2>/dev/null) || return 1
    wx0=$(sed -n 's/^X=//p' <<<"$geometry") wy0=$(sed -n 's/^Y=//p' <<<"$geometry")
    ww=$(sed -n 's/^WIDTH=//p' <<<"$geometry") wh=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
}
painted() {  # the first paint makes the render target: black until then
    screen .root
    [[ $(pixel "$artefacts/.root.png" $((wx0 + 5)) $((wy0 + wh - 5))) != "#000000" ]]
}
read_window() {
    window_geometry "$1" || return 1
    until_true 3 painted
    convert "$artefacts/.root.png" -crop "${ww}x${wh}+${wx0}+${wy0}" +repage "$artefacts/$2.png"
    local negate=()
    [[ $dark == yes ]] && negate=(-colorspace Gray -negate)
    convert "$artefacts/$2.png" "${negate[@]}" -resize 200% "$artefacts/.ocr.png"
    tesseract "$artefacts/.ocr.png" - ${3:-} 2>/dev/null
}
# window_reads NAME_REGEX TEXT SHOT: the window reads TEXT (a basic grep pattern) within a few
# seconds.
window_reads() {
    local text
    for _ in 1 2 3 4 5 6; do
        text=$(read_window "$1" "$3" | tr '\n' ' ')
        grep -q -- "$2" <<<"$text" && return 0
        sleep 0.5
    done
    echo "   read: $text"
    return 1
}
# click_word NAME_REGEX WORD: clicks the first WORD that OCR finds on the window.
bx= by=
locate_word() {
    local found
    found=$(read_window "$1" .locate tsv | awk -F'\t' -v word="$2" '$12 == word {
        print int(($7 + $9 / 2) / 2), int(($8 + $10 / 2) / 2); exit }')
    [[ -n $found ]] && read -r bx by <<<"$found"
}
click_at() {  # click_at X Y: a click at window point X, Y of the last window found
    xdotool mousemove $((wx0 + $1)) $((wy0 + $2))
    sleep 0.1
    xdotool click 1
}
click_word() { until_true 15 locate_word "$1" "$2" && click_at "$bx" "$by"; }

settings_name='^Preferencias de Torvane$' panel_name='^Torvane$'
find_settings() { window_geometry "$settings_name"; }
settings_gone() { ! xdotool search --onlyvisible --name "$settings_name" >/dev/null 2>&1; }
find_panel() { window_geometry "$panel_name"; }
panel_hidden() { ! xdotool search --onlyvisible --name "$panel_name" >/dev/null 2>&1; }
# The geometry of the window last found stays the same for a tenth of a second: Wine has mapped
# its latest move or resize.
settled() {
    local before="$wx0 $wy0 $ww $wh"
    sleep 0.1
    window_geometry "$1" && [[ "$wx0 $wy0 $ww $wh" == "$before" ]]
}
# A click on the icon, and the panel found once it has settled. The icon ignores a click that
# comes right after the panel hid itself, so it is clicked again if nothing opens.
open_panel() {
    for _ in 1 2 3; do
        click_icon
        until_true 5 find_panel && until_true 3 settled "$panel_name" && return 0
    done
    return 1
}
# Through the settings icon in the panel's footer. A copy that has only just started may miss
# the first click: tried three times, with the screen kept of each miss.
open_settings() {
    for attempt in 1 2 3; do
        if find_panel || open_panel; then
            click_at 253 $((wh - 30))
            until_true 5 find_settings && return 0
        fi
        screen "open-settings-miss-$attempt"
        sleep 1
    done
    return 1
}

# The balloon opens below the tray window; read as one block, or OCR drops its smaller body.
balloon=
balloon_reads() {
    balloon=$(ocr balloon "700x70+0+$((tray_y + 20))" 6)
    grep -q -- "$1" <<<"$balloon"
}
wait_for_balloon() {  # wait_for_balloon TEXT: a balloon reads TEXT within about 10 s ($balloon)
    until_true 10 balloon_reads "$1" || { echo "   read: $balloon"; return 1; }
}

# Another prefix's tray window (from earlier tests on this display) would be mistaken for ours.
check "no other Wine tray window on the display" tray_gone
