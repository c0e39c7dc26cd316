# The shell tests' way of counting: `check WHAT COMMAND...` runs the command and prints
# "ok: WHAT", or "FAIL: WHAT" and counts a failure; `fail WHAT` counts one directly. The test
# ends with `((failures == 0))`.
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        fail "$what"
    fi
}
