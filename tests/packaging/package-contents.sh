#!/bin/sh
# cpack makes the package in a scratch directory. Its file list, with the
# .deb's conffiles ("conffile PATH") and installed unit ("unit LINE"), holds
# each EXPECTED text, and no program or library built for the tests.
# Usage: package-contents.sh CPACK CONFIG SCRATCH EXPECTED...
set -u
cpack="$1" config="$2" scratch="$3"
shift 3
rm -rf "$scratch"
mkdir -p "$scratch"
"$cpack" --config "$config" -B "$scratch" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; exit 1; }
package=$(ls "$scratch"/*.deb "$scratch"/*.zip 2>/dev/null)
case $package in
*.deb) files=$(dpkg-deb -c "$package" | awk '{print $6}')
    extra=$(dpkg-deb -I "$package" conffiles | sed 's/^/conffile /'
        dpkg-deb --fsys-tarfile "$package" | tar -xO --wildcards '*.service' | sed 's/^/unit /') ;;
*.zip) files=$(unzip -Z1 "$package") extra= ;;
*) echo "FAILED: cpack made no package: $package" && exit 1 ;;
esac
failures=0
for expected in "$@"; do
    printf '%s\n%s\n' "$files" "$extra" | grep -qF -- "$expected" || { echo "FAILED: $package lacks $expected"; failures=$((failures + 1)); }
done
if printf '%s\n' "$files" | grep -Ei 'test|gtest|gmock|_sim|bench|fuzz|catalogue'; then
    echo "FAILED: $package holds the files above, built for the tests"
    failures=$((failures + 1))
fi
[ "$failures" = 0 ] && echo "$(basename "$package"): $# expected entries"
exit "$failures"
