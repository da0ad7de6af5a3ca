#!/bin/sh
# Identifies boards through Wine's real WMI: in a private mount namespace,
# /sys/class/dmi/id is the test's own, and for each "PRODUCT:TYPE" below the
# board name is written there and the DmiBoard tests run against it.
#   wmi-board-check.sh EMULATOR UNIT_TESTS_EXE
# Needs root (or CAP_SYS_ADMIN); nothing outside the namespace changes.
exec unshare -m --propagation private sh -c '
  set -e
  mount -t tmpfs bypass-dmi /sys/class
  mkdir -p /sys/class/dmi/id
  printf "Test Vendor\n" > /sys/class/dmi/id/board_vendor
  for board in "MS-96E3:6" "ms-96e3:-1" "MS-96E3 :-1" "Luna Pier CRB:5001" "NULL:0"; do
    product=${board%:*}
    printf "%s\n" "$product" > /sys/class/dmi/id/board_name
    echo "== board \"$product\""
    BYPASS_TEST_PRODUCT="$product" BYPASS_TEST_TYPE="${board##*:}" \
      "$0" "$1" --gtest_filter=DmiBoard.* --gtest_brief=1
  done' "$@"
