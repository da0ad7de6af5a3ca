#!/bin/sh
# A new Wine prefix for the end-to-end tests, in which the PortTalk driver
# was never installed. Usage: fresh-prefix.sh WINE-WRAPPER WINESERVER PREFIX
set -eu
wine="$1" wineserver="$2" prefix="$3"
WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
rm -rf "$prefix"
"$wine" wineboot -i
test -d "$prefix/drive_c/windows/system32/drivers"
