#!/bin/sh
# cpack makes the packages in a scratch directory. Each EXPECTED is a whole line of what they hold:
# "PACKAGE /PATH" for a .deb's file, "conffile PATH" and "unit LINE" (its keepalive unit), a .zip's
# path below its top directory; "!LINE" must not be there. Nothing built for the tests is packaged,
# and $LINTIAN, where set, finds no error in a .deb.
# Usage: package-contents.sh CPACK CONFIG SCRATCH EXPECTED...
set -u
rm -rf "$3"
"$1" --config "$2" -B "$3" >"$3.log" 2>&1 || { cat "$3.log"; exit 1; }
scratch="$3"
shift 3
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
debs=$(ls "$scratch"/*.deb 2>/dev/null)
zips=$(ls "$scratch"/*.zip 2>/dev/null)
[ -n "$debs$zips" ] || fail "cpack made no package in $scratch"
files=$(for deb in $debs; do
    package=$(dpkg-deb -f "$deb" Package)
    dpkg-deb -c "$deb" | awk -v package="$package" '{ print package, substr($6, 2) }'
done
for zip in $zips; do unzip -Z1 "$zip" | sed 's|^[^/]*/||'; done)
more=$(for deb in $debs; do
    dpkg-deb -I "$deb" conffiles 2>/dev/null | sed 's/^/conffile /'
    dpkg-deb --fsys-tarfile "$deb" | tar -xO --wildcards '*.service' 2>/dev/null | sed 's/^/unit /'
done)
held() { printf '%s\n%s\n' "$files" "$more" | grep -qxF -- "$1"; }
for expected in "$@"; do
    case $expected in
    !*) held "${expected#!}" && fail "packaged: ${expected#!}" ;;
    *) held "$expected" || fail "not packaged: $expected" ;;
    esac
done
printf '%s\n' "$files" | grep -Ei 'test|gmock|_sim|bench|fuzz|catalogue' && fail "built for the tests"
for deb in ${LINTIAN:+$debs}; do
    out=$("$LINTIAN" --fail-on error "$deb" 2>&1) || fail "lintian: errors in $deb"
    printf '%s\n' "$out" | grep -v 'root privileges'
done
exit "$failures"
