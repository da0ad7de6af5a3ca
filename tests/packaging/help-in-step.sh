#!/bin/sh
# Each command, long option and choice in bypassctl's help is in the man page and in the
# reference page, and offered by the bash completion where it may be typed, as are the
# catalogue's boards and file names; the man page and the reference page name the same long
# options.
# Usage: help-in-step.sh BYPASSCTL MANPAGE COMPLETION REFERENCE
set -u
ctl="$1" completion="$3" failures=0
man=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$2")
doc=$(cat "$4")
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
in_man()
{
    printf '%s' "$man" | grep -qF -- "$1" || fail "man page lacks '$1'"
    printf '%s' "$doc" | grep -qF -- "$1" || fail "reference page lacks '$1'"
}
long_options() { printf '%s\n' "$1" | grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }
offered() # WORD LINE...: completing the last word of LINE offers WORD
{
    word="$1" && shift
    case $(bash -c '. "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _bypassctl; echo " ${COMPREPLY[*]} "' \
        "$completion" "$ctl" "$@") in *" $word "*) ;; *) fail "completion of 'bypassctl $*' lacks $word" ;; esac
}
check() # COMMAND...: its help, then each subcommand's (the loops' lists are read before a recursion)
{
    help=$("$ctl" "$@" --help) && in_man "$*"
    for option in $(printf '%s\n' "$help" | sed -nE 's/^ +(-[a-z],)?(--[a-z][a-z-]*).*/\2/p'); do
        in_man "$option" && offered "$option" "$@" --
    done
    # "--action TEXT:{bypass,restart}" after --action, "state TEXT:{on,off}" after the command
    for pair in $(printf '%s\n' "$help" | sed -nE 's/^ +([a-z-]+) [A-Z]+:\{([^}]*)\}.*/\1:\2/p'); do
        case $pair in --*) at=${pair%%:*} ;; *) at= ;; esac
        for choice in $(echo "${pair#*:}" | tr , ' '); do offered "$choice" "$@" $at ""; done
    done
    for sub in $(printf '%s\n' "$help" | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'); do
        offered "$sub" "$@" ""; check "$@" "$sub"
    done
}
check
# an option in one of the two pages only: each page's list once, so a name seen once is in one
for option in $({ long_options "$man" && long_options "$doc"; } | sort | uniq -u); do
    fail "only one of the man page and the reference page names $option"
done
# What the catalogue and the file system hold when the completion runs.
offered 6 --type "" && offered MS-96E3 --simulate MS && offered 'Luna\ Pier\ CRB' --simulate Luna\ P
offered "$2" keepalive --status-file "${2%.1}"
exit "$failures"
