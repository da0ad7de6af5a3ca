#!/bin/sh
# A simulated service session under valgrind's memcheck: every bypassctl run
# must end without a memory error or a definite or indirect leak. Exits 77
# (skipped) where valgrind is not installed. Usage: valgrind-session.sh BYPASSCTL
set -u
ctl="$1"
command -v valgrind >/dev/null 2>&1 || { echo "valgrind not installed: skipped"; exit 77; }
failures=0
log=$(mktemp)
BYPASSCTL_LOCK_DIR=$(mktemp -d)
export BYPASSCTL_LOCK_DIR

# check ARGS...: one run under memcheck, which must exit 0.
check()
{
    valgrind --tool=memcheck --leak-check=full --error-exitcode=1 \
        --errors-for-leak-kinds=definite,indirect --log-file="$log" \
        "$ctl" --simulate MS-96E3 --trace "$@" >/dev/null 2>&1
    status=$?
    if [ "$status" != 0 ]; then
        echo "FAILED: bypassctl $* under memcheck exited $status:"
        cat "$log"
        failures=$((failures + 1))
    fi
}

check identify
check wdt arm --action bypass --timeout 30
check bypass on --json
check status
check bypass off
check list --json
rm -rf "$log" "$BYPASSCTL_LOCK_DIR"
[ "$failures" = 0 ] && echo "memcheck: no errors, no leaks in the session"
exit "$failures"
