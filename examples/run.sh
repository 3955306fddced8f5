#!/usr/bin/env bash
# Runs qamcvs the way a host would, once per command, on the sample
# repository (made afresh with the real cvs) and the captured tool output.
# Usage: examples/run.sh QAMCVS_BINARY [--check]
# QAMCVS_TEST_LAUNCHER, when set, starts the binary ("wine" for qamcvs.exe).
# With --check, every document and exit status is compared with
# examples/expected/NAME.xml; --record writes those files.
set -euo pipefail
bin=$1
check=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
case $bin in /*) ;; *) bin=$PWD/$bin ;; esac
# Documents name the captured files as given: keep them relative.
cd "$here"
out=tool-output
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/make_sample_repo.sh" "$work" >/dev/null 2>&1
repo=$work/repo
failures=0

run() {  # name, then the arguments after the binary
  local name=$1; shift
  local shown=("$@")
  shown=("${shown[@]//$repo//srv/cvs}")
  echo "\$ qamcvs ${shown[*]}"
  local document status=0
  document=$(${QAMCVS_TEST_LAUNCHER:+"$QAMCVS_TEST_LAUNCHER"} "$bin" "$@") || status=$?
  echo "$document"
  echo "(exit status $status)"
  echo
  # The expected file holds the document and, last, the exit status, so a
  # wrapper that fails (valgrind's error status) does not pass unnoticed.
  local result
  result=$(printf '%s\n(exit status %s)' "$document" "$status")
  if [ "$check" = "--check" ]; then
    if [ "$result" != "$(cat "$here/expected/$name.xml")" ]; then
      echo "MISMATCH: $name differs from examples/expected/$name.xml" >&2
      failures=$((failures + 1))
    fi
  elif [ "$check" = "--record" ]; then
    printf '%s\n' "$result" > "$here/expected/$name.xml"
  fi
}

run exist-file 1 "PathToRep=$repo" PathInRep=proj/src/main.c
run exist-missing 1 "PathToRep=$repo" PathInRep=proj/src/missing.c
run checkout 3 "OutputFile=$out/main.c.header"
run history-cvslog 4 "OutputFile=$out/main.c.cvslog"
run history-rlog 4 "OutputFile=$out/main.c.rlog"
run children 5 "PathToRep=$repo" PathInRep=proj Children_Type=DIRECTORY
run subfolders 5 "PathToRep=$repo" PathInRep=proj
run create 7 "PathToRep=$repo" PathInRep=proj FolderName=newdir
run create-again 7 "PathToRep=$repo" PathInRep=proj FolderName=newdir
run properties 8 "PathToRep=$repo" PathInRep=proj/src
run differ 9 "OutputFile=$out/differ.txt"
run identical 9 "OutputFile=$out/identical.txt"
run failure 9 "OutputFile=$out/no-such-file.txt"

if [ "$failures" -ne 0 ]; then
  echo "$failures document(s) differ from examples/expected/" >&2
  exit 1
fi
