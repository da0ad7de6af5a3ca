#!/bin/sh
# A new Wine prefix for the end-to-end tests, in which the PortTalk driver
# was never installed. Usage: fresh-prefix.sh WINE-WRAPPER WINESERVER PREFIX
set -eu
wine="$1" wineserver="$2" prefix="$3"
WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
rm -rf "$prefix"
"$wine" wineboot -i
test -d "$prefix/drive_c/windows/system32/drivers"
# Wine's service manager gives a starting service process 10 s to connect,
# which a loaded machine can exceed; it reads the limit when it starts.
"$wine" reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ \
    /d 120000 /f >/dev/null
WINEPREFIX="$prefix" "$wineserver" -k -w 2>/dev/null || true
