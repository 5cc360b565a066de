# Sourced by the shell tests. check DESCRIPTION COMMAND… runs the command, prints "ok:" or
# "FAILED:" with the description, counts the failures and returns the command's success;
# wine_test_prefix PREFIX prepares the test's own Wine prefix and its own virtual X server.
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
# A new prefix is a copy of one template made once beside it.
wine_test_prefix() {
    export WINEPREFIX=$1
    "$scripts/wine-prefix" "$1" "$(dirname "$1")/wine-template-prefix" || exit 1
    # A display of its own: the test can run beside others, and no other program's windows or
    # pointer moves get in its way.
    unset DISPLAY
    xvfb_start || exit 1
}
