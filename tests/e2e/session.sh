# Sourced by the end-to-end scripts after checks.sh: starting, finding and quitting the real
# Torvane.exe under Wine. Needs exe, ctl, artefacts and data set by the caller.
torvane_pid=

# Started from anywhere else the program installs itself and hands over to the installed copy:
# the tests run the copy in its installed place.
installed_exe="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/Torvane/Torvane.exe"
mkdir -p "$(dirname "$installed_exe")"
cp "$exe" "$installed_exe"
exe=$installed_exe

start_torvane() {
    wine "$exe" >>"$artefacts/wine.log" 2>&1 &
    torvane_pid=$!
}

# The icon sits in Wine's own tray window at the top left of a bare X server. The window may
# exist before the icon is drawn in it, and a click then is lost: ready once the icon shows.
tray_x= tray_y=
wait_for_tray() {
    local window geometry
    for _ in $(seq 1 100); do
        window=$(xdotool search --name "Wine System Tray" 2>/dev/null | head -n 1)
        if [[ -n $window ]]; then
            geometry=$(xdotool getwindowgeometry --shell "$window")
            tray_x=$(sed -n 's/^X=//p' <<<"$geometry")
            tray_y=$(sed -n 's/^Y=//p' <<<"$geometry")
            break
        fi
        sleep 0.2
    done
    [[ -n $window ]] || return 1
    for _ in $(seq 1 25); do
        [[ $(icon_colour) =~ ^#(FFFFFF|000000)?$ ]] || return 0
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

# pixel SCREENSHOT X Y → #RRGGBB
pixel() {
    convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n 1
}

# Colour of the disc, at its left edge beside the pointer glyph.
icon_colour() {
    import -window root "$artefacts/.shot.png" 2>/dev/null
    pixel "$artefacts/.shot.png" $((tray_x + 2)) $((tray_y + 8))
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

ms_now() { echo $(($(date +%s%N) / 1000000)); }

click_icon() { xdotool mousemove $((tray_x + 8)) $((tray_y + 8)) click "${1:-1}"; }

quit_torvane() {  # asks the running copy to quit, as "--uninstall" or an update would
    # A copy that has only just started may not listen yet: asked again until it ends.
    for _ in $(seq 1 10); do
        wine "$ctl" quit
        timeout 3 tail --pid="$torvane_pid" -f /dev/null && break
    done
    local rc
    wait "$torvane_pid"
    rc=$?
    torvane_pid=
    tray_gone
    return $rc
}

# Waits up to 20 s for the copy to end by itself; its exit code, or 124.
wait_for_exit_code() {
    if timeout 20 tail --pid="$torvane_pid" -f /dev/null; then
        wait "$torvane_pid"
        local rc=$?
        torvane_pid=
        return $rc
    fi
    return 124
}

end_session() {
    [[ -n $torvane_pid ]] && { wine "$ctl" quit; sleep 2; kill "$torvane_pid" 2>/dev/null; }
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -f "$artefacts"/.*.png
    xvfb_stop
}

# The log: its line count now, and waiting for a line written after that.
log_lines() { grep -c '' "$data/torvane.log" 2>/dev/null || echo 0; }
# wait_for_log FROM_LINE PATTERN: a line after FROM_LINE matches, within the first check's time.
wait_for_log() {
    for _ in $(seq 1 120); do
        tail -n +$(($1 + 1)) "$data/torvane.log" 2>/dev/null | tr -d '\r' | grep -q -- "$2" &&
            return 0
        sleep 0.25
    done
    return 1
}

pref() {  # the value of KEY in prefs.json once the save delay has passed
    sleep 1
    tr -d ' \n' <"$data/prefs.json" | grep -o "\"$1\":[^,}]*" | head -n 1 | cut -d: -f2
}

# The settings window's client area is its X window (no window manager draws a frame).
sx= sy= swidth= sheight=
find_settings() {
    local window geometry
    window=$(xdotool search --onlyvisible --name '^Preferencias de Torvane$' 2>/dev/null |
        head -n 1)
    [[ -n $window ]] || return 1
    geometry=$(xdotool getwindowgeometry --shell "$window") || return 1
    sx=$(sed -n 's/^X=//p' <<<"$geometry") sy=$(sed -n 's/^Y=//p' <<<"$geometry")
    swidth=$(sed -n 's/^WIDTH=//p' <<<"$geometry") sheight=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
}
wait_for_settings() {
    for _ in $(seq 1 100); do find_settings && return 0; sleep 0.05; done
    return 1
}
settings_text() {  # the window read with OCR, at twice its size
    find_settings
    import -window root "$artefacts/.root.png"
    convert "$artefacts/.root.png" -crop "${swidth}x${sheight}+${sx}+${sy}" +repage \
        -resize 200% "$artefacts/.settings-ocr.png"
    tesseract "$artefacts/.settings-ocr.png" - "${@}" 2>/dev/null
}
click_settings_word() {  # clicks the first word WORD that OCR finds in the settings window
    local found
    for _ in $(seq 1 6); do
        found=$(settings_text tsv | awk -F'\t' -v word="$1" '$12 == word {
            print int(($7 + $9 / 2) / 2), int(($8 + $10 / 2) / 2); exit }')
        [[ -n $found ]] && break
        sleep 0.5
    done
    [[ -n $found ]] || return 1
    read -r bx by <<<"$found"
    xdotool mousemove $((sx + bx)) $((sy + by))
    sleep 0.1
    xdotool click 1
}
settings_shows() {  # settings_shows TEXT: the window reads TEXT within a few seconds
    local text
    for _ in $(seq 1 12); do
        text=$(settings_text | tr '\n' ' ')
        grep -q -- "$1" <<<"$text" && return 0
        sleep 0.5
    done
    echo "   read: $text"
    return 1
}

# The balloon opens below the tray window; read as one block, or OCR drops its smaller body.
balloon_text() {
    import -window root "$artefacts/balloon.png"
    convert "$artefacts/balloon.png" -crop "700x70+0+$((tray_y + 20))" +repage -resize 300% \
        "$artefacts/.balloon-ocr.png"
    tesseract "$artefacts/.balloon-ocr.png" - --psm 6 2>/dev/null | tr '\n' ' '
}
balloon=
wait_for_balloon() {  # wait_for_balloon TEXT: a balloon reads TEXT within about 10 s ($balloon)
    for _ in $(seq 1 10); do
        balloon=$(balloon_text)
        grep -q -- "$1" <<<"$balloon" && return 0
        sleep 1
    done
    echo "   read: $balloon"
    return 1
}

# The panel's window and its place; px, py are its top left corner, ph its height.
panel= px= py= pw= ph=
find_panel() {
    local geometry
    panel=$(xdotool search --onlyvisible --name '^Torvane$' 2>/dev/null | head -n 1)
    [[ -n $panel ]] || return 1
    geometry=$(xdotool getwindowgeometry --shell "$panel" 2>/dev/null) || return 1
    px=$(sed -n 's/^X=//p' <<<"$geometry") py=$(sed -n 's/^Y=//p' <<<"$geometry")
    pw=$(sed -n 's/^WIDTH=//p' <<<"$geometry") ph=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
}
wait_for_panel() {
    for _ in $(seq 1 100); do
        find_panel && return 0
        sleep 0.05
    done
    return 1
}
open_panel() {  # a click on the icon, and the panel found once it has settled
    click_icon
    wait_for_panel || return 1
    sleep 0.5
    find_panel
}
visible_windows() {  # the names of the visible X windows, for a failure's report
    local window
    for window in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        printf '"%s" ' "$(xdotool getwindowname "$window" 2>/dev/null)"
    done
}
# Through the settings icon in the panel's footer. A copy that has only just started may miss
# the first click: tried three times, with the screen kept of each miss.
open_settings() {
    local attempt
    for attempt in 1 2 3; do
        if find_panel || open_panel; then
            xdotool mousemove $((px + 253)) $((py + ph - 30))
            sleep 0.2
            xdotool click 1
            wait_for_settings && return 0
        fi
        import -window root "$artefacts/open-settings-miss-$attempt.png"
        echo "   attempt $attempt: no settings window; visible: $(visible_windows)"
        sleep 1
    done
    return 1
}

# Another prefix's tray window (from earlier tests on this display) would be mistaken for ours.
check "no other Wine tray window on the display" tray_gone
