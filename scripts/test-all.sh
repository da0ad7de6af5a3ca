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
passed=0 failed=0
count() { if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; }
for preset in linux windows linux-asan; do
  echo "== $preset: tests"
  count ctest --preset "$preset"
done
# New inputs go to a scratch directory, so the corpus in the repository stays
# as committed; a finding is written to build/linux-asan/ and fails the run.
echo "== linux-asan: fuzzing the board models for 60 s"
scratch=$(mktemp -d)
count build/linux-asan/fuzz/board_fuzzer -max_total_time=60 -close_fd_mask=1 \
  -artifact_prefix=build/linux-asan/ "$scratch" fuzz/corpus
rm -rf "$scratch"
# One closing line for the whole run: each test preset and the fuzz run.
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
