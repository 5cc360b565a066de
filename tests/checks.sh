# Sourced by the shell tests. check DESCRIPTION COMMAND… runs the command, prints "ok:" or
# "FAILED:" with the description and counts the failures; wine_test_prefix PREFIX prepares the
# test's own Wine prefix and a virtual X server when there is no display.
failures=0
ok() { echo "ok: $*"; }
failed() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
check() {
    local what=$1
    shift
    if "$@"; then ok "$what"; else failed "$what"; fi
}

scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../scripts" && pwd)
. "$scripts/wine-env"
. "$scripts/xvfb-start"
wine_test_prefix() {
    export WINEPREFIX=$1
    "$scripts/wine-prefix" "$1" || exit 1
    xvfb_start || exit 1
}
