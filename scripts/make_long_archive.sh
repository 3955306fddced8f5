#!/usr/bin/env bash
# Writes an RCS archive with N trunk revisions (default 20000), each with a
# two-line log message, for benchmarks: scripts/make_long_archive.sh FILE,v [N]
# Committing that many revisions with ci takes minutes; the archive format is
# simple enough to write directly, and rlog then prints a real log from it.
set -euo pipefail
out=$1
count=${2:-20000}
awk -v n="$count" 'BEGIN {
  printf "head\t1.%d;\naccess;\nsymbols;\nlocks; strict;\ncomment\t@# @;\n\n\n", n
  for (i = n; i >= 1; i--) {
    day = 1 + (i % 28); hour = i % 24; minute = i % 60
    printf "1.%d\ndate\t2024.%02d.%02d.%02d.%02d.%02d;\tauthor %s;\tstate Exp;\nbranches;\nnext\t%s;\n\n",
      i, 1 + (i % 12), day, hour, minute, i % 60, (i % 3 == 0 ? "alice" : "bob"),
      (i > 1 ? "1." (i - 1) : "")
  }
  printf "\ndesc\n@A file with a long history.\n@\n\n"
  for (i = n; i >= 1; i--) {
    printf "\n1.%d\nlog\n@Change number %d: adjust the parser & <renderer>.\nSecond line of the message for revision %d.\n@\ntext\n@", i, i, i
    if (i == n) printf "line %d\n", i
    printf "@\n\n"
  }
}' > "$out"
