#!/usr/bin/env bash
# Applies each fault of faults.txt alone to a copy of the committed tree,
# builds it and runs the tests; prints CAUGHT, MISSED or STALE per fault.
#
#   scripts/faults/run.sh [-p PRESET] [-w COPY] [ID...]   (default: linux, all faults)
#
# FAULTS names another list of the same form (scripts/faults/model-faults.txt).
#
# -w reuses the copy an earlier run left (its build is then incremental).
#
# The valgrind session is left out: it looks for memory errors, not for
# these faults, and takes longer than all other tests together.
set -u
preset=linux work=
while getopts p:w: o; do case $o in p) preset=$OPTARG;; w) work=$OPTARG;; *) exit 2;; esac; done
shift $((OPTIND - 1))
top=$(git rev-parse --show-toplevel) || exit 2
list=$(realpath "${FAULTS:-$top/scripts/faults/faults.txt}")
if [ -z "$work" ]; then
  work=$(mktemp -d /tmp/faults.XXXXXX)
  git -C "$top" archive HEAD | tar -x -C "$work"
fi
cd "$work" || exit 2
echo "building a copy in $work ($preset) ..."
(cmake --preset "$preset" && cmake --build --preset "$preset") >build.log 2>&1 ||
  { echo "copy does not build: $work/build.log"; exit 2; }
ctest --preset "$preset" -E memcheck >base.log 2>&1 || { echo "tests fail before any fault: $work/base.log"; exit 2; }

# apply.py ID: edits the copy; exit 3 when a text is not found exactly once.
cat >apply.py <<'PY'
import sys
fault, blocks, cur = sys.argv[1], {}, None
for line in open(sys.argv[2], encoding="utf-8"):
    line = line.rstrip("\n")
    if line.startswith("@ "):
        cur = line.split()[1]; blocks[cur] = {"file": None, "edits": []}
    elif cur and blocks[cur]["file"] is None and line and not line.startswith("#"):
        blocks[cur]["file"] = line
    elif cur and line.startswith("- "):
        blocks[cur]["edits"].append([line[2:].replace("\\n", "\n"), None])
    elif cur and line.startswith("+ "):
        blocks[cur]["edits"][-1][1] = line[2:].replace("\\n", "\n")
if fault == "--ids":
    print("\n".join(blocks)); sys.exit(0)
b = blocks[fault]; text = open(b["file"], encoding="utf-8").read()
for old, new in b["edits"]:
    if text.count(old) != 1: sys.exit(3)
    text = text.replace(old, new)
open(b["file"], "w", encoding="utf-8").write(text)
PY
ids=("$@")
if [ ${#ids[@]} -eq 0 ]; then
  # The win- faults break code that only the windows preset compiles.
  mapfile -t ids < <(python3 apply.py --ids "$list" | { [ "$preset" = windows ] && cat || grep -v '^win-'; })
fi
caught=0 tried=0
for id in "${ids[@]}"; do
  file=$(awk -v id="$id" '$1 == "@" && $2 == id { getline; print; exit }' "$list")
  cp "$file" "$file.orig"
  if ! python3 apply.py "$id" "$list"; then echo "STALE  $id ($file)"; mv "$file.orig" "$file"; continue; fi
  tried=$((tried + 1))
  if cmake --build --preset "$preset" >"fault-$id.log" 2>&1 && ctest --preset "$preset" -E memcheck >>"fault-$id.log" 2>&1; then
    echo "MISSED $id ($file)"
  else
    caught=$((caught + 1))
    echo "CAUGHT $id ($file): $(grep -E '^\s+[0-9]+ - ' "fault-$id.log" | awk '{print $3}' | tr '\n' ' ')"
  fi
  mv "$file.orig" "$file"; touch "$file"
done
echo "faults: $caught of $tried caught ($work holds the copy; remove it when done)"
