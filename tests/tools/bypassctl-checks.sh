#!/bin/sh
# bypassctl as a process on simulated boards. Usage: bypassctl-checks.sh BYPASSCTL [RUNNER]
set -u
ctl="$1"
runner="${2:-}"
failures=0

# expect CODE TEXT ARGS...: the exit code, and TEXT somewhere in the output.
expect()
{
    code="$1"
    text="$2"
    shift 2
    output=$($runner "$ctl" "$@" 2>&1)
    actual=$?
    if [ "$actual" != "$code" ] || ! printf '%s' "$output" | grep -qF -- "$text"; then
        echo "FAILED: bypassctl $* -> exit $actual, wanted $code and \"$text\":"
        printf '%s\n' "$output"
        failures=$((failures + 1))
    fi
}

# What only the program shows: UTF-8 on its console, the trace on its
# standard error, its exit code; the commands themselves have their table.
expect 0 "5001  Luna Pier CRB    2,2    D525-LW        D525-LW(立华)平台" list
expect 0 "out8 4E F6
out8 4F 1E" --simulate MS-96E3 --trace wdt arm --action bypass --timeout 30
expect 2 "A subcommand is required" --simulate 6
[ -n "$runner" ] && expect 2 "not available on Windows" appliance --simulate 6

# The arguments are the characters typed, also on Windows, whose code page
# would turn fullwidth digits and dashes into ASCII ones and a path's
# Chinese characters into '?'.
expect 2 "３０" --simulate 6 wdt arm --action bypass --timeout ３０
expect 2 "－－simulate" －－simulate 6 status
expect 2 "ｏｎ" --simulate 6 bypass ｏｎ
data=$(mktemp -d) && mkdir "$data/数据" && echo none >"$data/数据/x.pid"
[ -n "$runner" ] && pidfile="Z:$data/数据/x.pid" || pidfile="$data/数据/x.pid"
expect 7 "pid file $pidfile does not hold a process id" keepalive --simulate 6 --timeout 4 \
    --interval 2 --pidfile "$pidfile"
rm -rf "$data"

# untouched FILE: a planted link's target still holds what the test put there.
untouched()
{
    if [ "$(cat "$1")" != "root's" ]; then
        echo "FAILED: $1 was written through: $(cat "$1")"
        failures=$((failures + 1))
    fi
}

if [ -z "$runner" ]; then
    dir=$(mktemp -d)
    BYPASSCTL_LOCK_DIR="$dir/lock"
    export BYPASSCTL_LOCK_DIR
    lock="$BYPASSCTL_LOCK_DIR/bypassctl.lock"
    pidfile="$BYPASSCTL_LOCK_DIR/bypassctl-keepalive.pid"
    status="$dir/status.json"
    target="$dir/root-only"
    # What another user could plant where bypassctl writes, and what bypassctl
    # must answer: PLANT|CODE|TEXT|ARGS. Every command runs under timeout 5:
    # a FIFO must not hang it. The lock directory is made by the command.
    runner="timeout 5"
    while IFS='|' read -r plant code text args; do
        rm -rf "$BYPASSCTL_LOCK_DIR" "$status"*
        echo "root's" >"$target" && chmod 600 "$target"
        [ "$plant" = - ] || { mkdir -m 700 "$BYPASSCTL_LOCK_DIR" && sh -c "$plant"; }
        eval "expect \"\$code\" \"\$text\" $args"
        untouched "$target"
    done <<ROWS
-|0|"simulated":true|--simulate 6 bypass on --json
ln -s $target $lock|3|cannot take the board lock safely: $lock is a symbolic link|--simulate 6 bypass on
ln -s $target $pidfile|3|cannot take keepalive's lock safely: $pidfile is a symbolic link|--simulate 6 keepalive --timeout 30
ln -s $target $pidfile|0|watchdog stopped|--simulate 7 wdt stop
mkfifo $lock|3|$lock is not a regular file|--simulate 6 wdt arm --action bypass --timeout 30
mkfifo $pidfile|3|$pidfile is not a regular file|--simulate 6 keepalive --timeout 30
mkfifo $pidfile|0|watchdog stopped|--simulate 7 wdt stop
chmod 777 $BYPASSCTL_LOCK_DIR|3|$BYPASSCTL_LOCK_DIR is writable by other users|--simulate 6 bypass on
chmod 770 $BYPASSCTL_LOCK_DIR|3|$BYPASSCTL_LOCK_DIR is writable by its group, which is not bypassctl|--simulate 6 bypass on
ln $target $lock|3|cannot take the board lock safely: $lock is a hard link (2 names)|--simulate 6 bypass on
-|2|--status-file $dir/none/status.json: the directory $dir/none does not exist|--simulate 6 keepalive --timeout 30 --status-file $dir/none/status.json
ROWS
    # A planted temporary file beside the status file is not written through,
    # and keepalive still writes its status.
    ln -s "$target" "$status.tmp"
    runner="timeout -s TERM --preserve-status 2"
    expect 0 "watchdog stopped" --simulate 6 keepalive --timeout 30 --status-file "$status"
    grep -q '"state":"stopped"' "$status" || { echo "FAILED: no status in $status"; failures=$((failures + 1)); }
    untouched "$target"
    runner=""
    # Another process holds the board lock through a read-only open (flock(1)
    # opens it so), having left no id in it.
    echo 4242 >"$lock"
    flock "$lock" sleep 4 &
    sleep 0.5
    expect 6 "process $! holds the bypassctl lock" --simulate 6 bypass on
    wait
    "$ctl" keepalive --simulate 6 --timeout 30 >/dev/null 2>&1 &
    timeout 10 sh -c "until [ -s $pidfile ]; do sleep 0.1; done"
    expect 6 "bypassctl keepalive (process $!) owns this watchdog; nothing was done" --simulate 7 wdt stop
    expect 0 "(process $!) owns this watchdog: --force acts beside it" --simulate 7 wdt stop --force
    expect 6 "keepalive (process $!) already drives this watchdog" --simulate 6 keepalive --timeout 30
    kill $! && wait $!
    # A closed log pipe ends nothing; a lock held across a re-arm delays
    # it, logged with its holder, and ends nothing either.
    started() { timeout 10 sh -c "until [ -s $pidfile ]; do sleep 0.1; done"; }
    ("$ctl" keepalive --simulate 6 --timeout 10 --interval 1 --verbose 2>&1; echo $? >"$dir/rc") | head -c 1 >/dev/null &
    started && sleep 2.5
    kill "$(cat "$pidfile")"
    wait
    "$ctl" keepalive --simulate 6 --timeout 10 --interval 1 2>"$dir/log" &
    # Held past the 2 s a re-arm waits for it, however late the round comes.
    started && flock "$lock" sleep 5
    kill $! && wait $!
    if [ "$(cat "$dir/rc")" != 0 ] || ! grep -q "^<3>.*holds the bypassctl lock.*tried again" "$dir/log"; then
        echo "FAILED: keepalive through a closed pipe (exit $(cat "$dir/rc")) and a busy lock:"
        cat "$dir/log"
        failures=$((failures + 1))
    fi
    # A pid that another program has been given since is no keepalive.
    echo $$ >"$pidfile"
    expect 0 '"simulated":true,"effect"' --simulate 7 wdt stop --json
    rm -rf "$dir"
fi

# The real boards' lock directory, made by bypassctl in a /run of its own: as
# root (without CAP_SYS_RAWIO, so no port is opened) it is made root's 0700
# and the command ends without port access; another user is then refused the
# lock before the port driver. Then the directory as the package makes it,
# shared with group bypassctl (one of the test's own where the machine has
# none): a member takes the lock, root takes the member's file, and a user
# outside the group is refused.
if [ -z "$runner" ] && [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    made=$(unshare -m sh -c 'mount -t tmpfs -o mode=755 tmpfs /run || exit
        user="setpriv --reuid=65534 --regid=65534 --inh-caps=-all --bounding-set=-all"
        root="setpriv --inh-caps=-sys_rawio --bounding-set=-sys_rawio --"
        $root "$1" --type 1 status; echo "exit $?"
        stat -c "%a %U %F" /run/bypassctl /run/bypassctl/bypassctl.lock
        $user --clear-groups -- "$1" --type 1 status; echo "exit $?"
        if ! getent group bypassctl >/dev/null; then
            { grep -v "^bypassctl:" /etc/group; echo "bypassctl:x:64999:"; } >/run/group
            mount --bind /run/group /etc/group
        fi
        rm -r /run/bypassctl && mkdir -m 2770 /run/bypassctl && chgrp bypassctl /run/bypassctl
        $user --groups="$(getent group bypassctl | cut -d: -f3)" -- "$1" --type 1 status; echo "exit $?"
        stat -c "member: %a %G %F" /run/bypassctl/bypassctl.lock
        $root "$1" --type 1 status; echo "exit $?"
        $user --clear-groups -- "$1" --type 1 status; echo "exit $?"' sh "$ctl" 2>&1)
    for want in "no port access: neither /dev/porttalk" "700 root directory" "600 root regular file" \
        "cannot take the board lock safely: /run/bypassctl/bypassctl.lock: Permission denied" \
        "member: 660 bypassctl regular file"; do
        printf '%s' "$made" | grep -qF -- "$want" || made="$made (no \"$want\")"
    done
    if [ "$(printf '%s\n' "$made" | grep -c '^exit 3$')" != 5 ] \
        || [ "$(printf '%s\n' "$made" | grep -c '^bypassctl: no port access')" != 3 ] || [ "${made%\)}" != "$made" ]; then
        echo "FAILED: /run/bypassctl made as: $made"
        failures=$((failures + 1))
    fi
fi

[ "$failures" = 0 ] && echo "bypassctl checks: ok"
exit "$failures"
