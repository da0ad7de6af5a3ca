#!/bin/sh
# Every command, long option and choice that bypassctl's help lists is in the
# man page, and the bash completion offers it where it may be typed.
# Usage: help-in-step.sh BYPASSCTL MANPAGE COMPLETION
set -u
ctl="$1"
man=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$2")
completion="$3"
failures=0

fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# offered WORD LINE...: the completion offers WORD where the last word of LINE is typed.
offered()
{
    word="$1"
    shift
    case $(bash -c '. "$0"; COMP_WORDS=(bypassctl "$@"); COMP_CWORD=$#; _bypassctl; echo " ${COMPREPLY[*]} "' "$completion" "$@") in
    *" $word "*) ;;
    *) fail "completion of 'bypassctl $*' lacks $word" ;;
    esac
}

check() # COMMAND...: its help, then each subcommand's
{
    local help pair choice sub
    help=$("$ctl" "$@" --help)
    printf '%s' "$man" | grep -qF -- "$*" || fail "man page lacks '$*'"
    for option in $(printf '%s\n' "$help" | sed -nE 's/^ +(-[a-z],)?(--[a-z][a-z-]*).*/\2/p'); do
        printf '%s' "$man" | grep -qF -- "$option" || fail "man page lacks $option"
        offered "$option" "$@" --
    done
    # "--action TEXT:{bypass,restart}" and "state TEXT:{on,off}" as --action:bypass,restart
    for pair in $(printf '%s\n' "$help" | sed -nE 's/^ +([a-z-]+) [A-Z]+:\{([^}]*)\}.*/\1:\2/p'); do
        for choice in $(echo "${pair#*:}" | tr , ' '); do
            case $pair in --*) offered "$choice" "$@" "${pair%%:*}" "" ;; *) offered "$choice" "$@" "" ;; esac
        done
    done
    for sub in $(printf '%s\n' "$help" | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'); do
        offered "$sub" "$@" ""
        check "$@" "$sub"
    done
}
check
[ "$failures" = 0 ] && echo "man page and completion in step with --help"
exit "$failures"
