#!/usr/bin/env bash
# Runs the test program and every example command under valgrind memcheck;
# fails on any memory error or leak. Usage: scripts/valgrind.sh [BUILD_DIR]
# The build folder must hold a build without sanitizers (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
QAM_SETUP_EXTRA="valgrind" scripts/setup.sh
dir=${1:-build}
[ -x "$dir/qamcvs" ] && [ -x "$dir/qam_tests" ] || scripts/build.sh "$dir" -DQAM_BUILD_TESTS=ON
# memcheck follows the heap through the shared C library's malloc only: in a
# statically linked qamcvs (QAM_STATIC_RUNTIME, the default) it would see no
# allocation at all. The program's runs are then checked in a build of the
# same sources with the shared runtime, in DIR-shared.
program=$dir/qamcvs
if ! objdump -p "$program" | grep -q NEEDED; then
  scripts/build.sh "$dir-shared" -DQAM_BUILD_TESTS=OFF -DQAM_STATIC_RUNTIME=OFF
  program=$dir-shared/qamcvs
fi
memcheck=(valgrind --quiet --error-exitcode=99 --suppressions="$PWD/scripts/valgrind.supp" --leak-check=full --show-leak-kinds=definite,indirect
          --errors-for-leak-kinds=definite,indirect)

# In-process tests run under memcheck; the processes that end-to-end tests
# start are checked through the examples below. The hostile-input tests
# only generate and parse tens of megabytes around the program's runs:
# under memcheck that takes long and checks nothing of the program.
"${memcheck[@]}" "$dir/qam_tests" --gtest_brief=1 --gtest_filter='-Hostile*'

# One large history run of the program itself under memcheck.
long=$(mktemp -d)
scripts/make_long_archive.sh "$long/long.c,v" 2000
rlog "$long/long.c,v" > "$long/long.log"
status=0
"${memcheck[@]}" "$program" 4 "OutputFile=$long/long.log" >/dev/null || status=$?
rm -rf "$long"
[ "$status" -eq 1 ] || { echo "valgrind: history run ended with status $status" >&2; exit 1; }

wrapper=$(mktemp)
trap 'rm -f "$wrapper"' EXIT
cat > "$wrapper" <<WRAP
#!/usr/bin/env bash
exec ${memcheck[*]} "$PWD/$program" "\$@"
WRAP
chmod +x "$wrapper"
examples/run.sh "$wrapper" --check >/dev/null
echo "valgrind: no errors, no leaks"
