#!/usr/bin/env bash
# Makes the sample repository with the real cvs: examples/make_sample_repo.sh DIR
# DIR/repo is the repository (module "proj"); DIR/work a working copy.
# The captured tool output in examples/tool-output/ was made with it once
# (see capture_tool_output below) and is kept so that documents stay the same
# from run to run: a log carries the dates of its commits.
set -euo pipefail
dir=$1
export CVSROOT=$dir/repo
export LOGNAME=${SAMPLE_AUTHOR:-alice}
rm -rf "$dir/repo" "$dir/import" "$dir/work"
mkdir -p "$dir/import/src" "$dir/import/doc"
cvs -Q init
printf 'int main(void) { return 0; }\n' > "$dir/import/src/main.c"
printf 'The sample project.\n' > "$dir/import/README"
printf 'Notes.\n' > "$dir/import/doc/notes.txt"
(cd "$dir/import" && cvs -Q import -m "Initial import" proj vendor start)
(cd "$dir" && cvs -Q checkout -d work proj)
cd "$dir/work"
printf 'int main(void) { return 1; }\n' > src/main.c
cvs -Q commit -m "Return 1 from main.

The host checks the status & logs it as <error>." src/main.c
printf 'Old.\n' > old.txt
cvs -Q add old.txt && cvs -Q commit -m "Add old.txt" old.txt
rm old.txt && cvs -Q remove old.txt && cvs -Q commit -m "Remove old.txt" old.txt
# Lock the head revision of main.c the way "cvs admin -l" would.
rcs -q -l "$CVSROOT/proj/src/main.c,v"
