#!/bin/bash
# CTest's command for a Windows GoogleTest program: runs it (through the emulator given in
# front of it) and passes only when it ended with 0 *and* GoogleTest printed its summary.
# Under Wine a program that dies of a stack overflow after it has started a thread ends
# with 0, so the exit code alone would count the crash as a pass.
#   usage: gtest-run.sh COMMAND... (the emulator's words, then the program and its arguments)
set -uo pipefail
out="$(mktemp "${TMPDIR:-/tmp}/quelt-gtest.XXXXXX")" || exit 1
trap 'rm -f "$out"' EXIT
"$@" >"$out" 2>&1
status=$?
cat "$out"
if [ "$status" != 0 ]; then exit "$status"; fi
if ! grep -a '^\[  PASSED  \] [0-9]* test' "$out" >/dev/null; then
  echo "gtest-run: the program ended with 0 but without GoogleTest's summary: it died part way"
  exit 1
fi
if grep -a '^\[  FAILED  \] ' "$out" >/dev/null; then
  echo "gtest-run: the program ended with 0 although GoogleTest reports failed tests"
  exit 1
fi
exit 0
