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
