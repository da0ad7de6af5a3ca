#!/bin/sh
# Builds the presets and runs every test: natively, the Windows build under
# Wine, and natively again under AddressSanitizer and UndefinedBehaviorSanitizer,
# followed by a bounded fuzzing run on the board models. Exits non-zero when
# anything fails.
set -eu
cd "$(dirname "$0")/.."
for preset in linux windows linux-asan; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
status=0
for preset in linux windows linux-asan; do
  echo "== $preset: tests"
  ctest --preset "$preset" || status=1
done
# New inputs go to a scratch directory, so the corpus in the repository stays
# as committed; a finding is written to build/linux-asan/ and fails the run.
echo "== linux-asan: fuzzing the board models for 60 s"
scratch=$(mktemp -d)
build/linux-asan/fuzz/board_fuzzer -max_total_time=60 -close_fd_mask=1 \
  -artifact_prefix=build/linux-asan/ "$scratch" fuzz/corpus || status=1
rm -rf "$scratch"
exit $status
