#!/bin/bash
# The product's folders form layers: the tree passes the check, and a tree where two
# folders include each other fails it with the lines that do it.
set -u
check=$1/tools/folder-layers.py
source_root=$1
if ! python3 "$check" "$source_root" >/dev/null; then
  python3 "$check" "$source_root"
  echo "FAIL: the source tree has an include cycle between folders"
  exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/core" "$scratch/graphics" "$scratch/font"
printf '#include "core/log.h"\n' >"$scratch/graphics/draw.cpp"
printf '#include "graphics/draw.h"\n' >"$scratch/font/glyphs.cpp"
printf '#include "font/glyphs.h"\n' >"$scratch/core/log.cpp"
if report=$(python3 "$check" "$scratch"); then
  echo "FAIL: a cycle core -> font -> graphics -> core was not reported"
  exit 1
fi
for line in "core/log.cpp:1 includes font/" "font/glyphs.cpp:1 includes graphics/" "graphics/draw.cpp:1 includes core/"; do
  if [[ $report != *"$line"* ]]; then
    echo "FAIL: the report lacks \"$line\":"
    echo "$report"
    exit 1
  fi
done
echo PASS
