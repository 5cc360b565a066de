# Sourced by the shell tests. check DESCRIPTION COMMAND… runs the command, prints "ok:" or
# "FAILED:" with the description, counts the failures and returns the command's success;
# wine_test_prefix PREFIX prepares the test's own Wine prefix and a virtual X server when there
# is no display.
failures=0
ok() { echo "ok: $*"; }
failed() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
check() {
    local what=$1
    shift
    if "$@"; then
        ok "$what"
    else
        failed "$what"
        return 1
    fi
}
# require DESCRIPTION COMMAND…: a check the rest of the script cannot go on without.
require() {
    check "$@" && return 0
    echo "stopping: the checks after this one depend on it"
    exit 1
}

scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../scripts" && pwd)
. "$scripts/wine-env"
. "$scripts/xvfb-start"
# A new prefix is a copy of one template made once beside it: a copy takes seconds, a wineboot
# twenty.
wine_test_prefix() {
    export WINEPREFIX=$1
    local template
    template=$(dirname "$1")/wine-template-prefix
    if [[ ! -f $1/.torvane-ready ]]; then
        "$scripts/wine-prefix" "$template" || exit 1
        rm -rf "$1" && cp -a "$template" "$1"
    fi
    "$scripts/wine-prefix" "$1" || exit 1
    xvfb_start || exit 1
}
