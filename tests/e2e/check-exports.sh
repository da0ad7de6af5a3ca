#!/bin/sh
# A shipped binary's export table is exactly its interface (for the DLL the
# plain C names and the members of the three exported classes, for the
# driver its entry point, listed in EXPECTED), the driver carries no debug
# information, and each imports nothing but Windows system DLLs (the kernel
# and the HAL for the driver), so it runs on a plain machine.
# Usage: check-exports.sh OBJDUMP DLL EXPECTED
set -u
objdump="$1" dll="$2" expected="$3"
table=$("$objdump" -p "$dll") || exit 1

# Export rows read "[ordinal] name" after the "[Ordinal/Name Pointer] Table".
exports=$(echo "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' | sort)
wanted=$(grep -v '^#' "$expected" | sort)
if [ "$exports" != "$wanted" ]; then
    echo "FAIL: the export table differs from $expected:"
    echo "$wanted" | while read -r name; do
        echo "$exports" | grep -Fxq "$name" || echo "  missing: $name"
    done
    echo "$exports" | while read -r name; do
        echo "$wanted" | grep -Fxq "$name" || echo "  extra: $name"
    done
    exit 1
fi

status=0
case "$dll" in *.sys) sections=$("$objdump" -h "$dll") ;; *) sections= ;; esac
if echo "$sections" | grep -q ' \.debug'; then
    echo "FAIL: $dll carries debug information"
    status=1
fi
for name in $(echo "$table" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    case "$(echo "$name" | tr 'A-Z' 'a-z')" in
    kernel32.dll | advapi32.dll | ole32.dll | oleaut32.dll | msvcrt.dll | user32.dll | ntdll.dll) ;;
    ntoskrnl.exe | hal.dll) ;;
    *)
        echo "FAIL: imports $name, not a Windows system DLL"
        status=1
        ;;
    esac
done
[ $status -eq 0 ] && echo "$(basename "$dll") exports: $(echo "$exports" | wc -l) names, system DLL imports only"
exit $status
