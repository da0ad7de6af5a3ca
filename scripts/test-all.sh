#!/bin/sh
# Builds both presets and runs every test: natively, and the Windows build
# under Wine. Exits non-zero when anything fails.
set -eu
cd "$(dirname "$0")/.."
for preset in linux windows; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
status=0
for preset in linux windows; do
  echo "== $preset: tests"
  ctest --preset "$preset" || status=1
done
exit $status
