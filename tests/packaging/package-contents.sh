#!/bin/sh
# cpack makes the package in a scratch directory. Its file list, and a .deb's
# conffiles ("conffile PATH") and unit ("unit LINE"), hold each EXPECTED text
# and nothing built for the tests. Usage: package-contents.sh CPACK CONFIG SCRATCH EXPECTED...
set -u
rm -rf "$3"
"$1" --config "$2" -B "$3" >"$3.log" 2>&1 || { cat "$3.log"; exit 1; }
package=$(ls "$3"/*.deb "$3"/*.zip 2>/dev/null)
shift 3
# Each lister answers for its own kind of package.
files=$(dpkg-deb -c "$package" 2>/dev/null | awk '{print $6}'; unzip -Z1 "$package" 2>/dev/null)
more=$(dpkg-deb -I "$package" conffiles 2>/dev/null | sed 's/^/conffile /'
    dpkg-deb --fsys-tarfile "$package" 2>/dev/null | tar -xO --wildcards '*.service' 2>/dev/null | sed 's/^/unit /')
failures=0
for expected in "$@"; do
    printf '%s\n%s\n' "$files" "$more" | grep -qF -- "$expected" || { echo "FAILED: '$package' lacks $expected"; failures=$((failures + 1)); }
done
printf '%s\n' "$files" | grep -Ei 'test|gmock|_sim|bench|fuzz|catalogue' && { echo "FAILED: built for the tests"; failures=$((failures + 1)); }
exit "$failures"
