#!/usr/bin/env bash
# The Windows build in one command, on Debian 12: installs what is missing,
# builds the static Xerces-C and ICU once (scripts/windows_deps.sh, cached
# outside the clone), cross-builds qamcvs.exe with MinGW-w64 into
# build-windows, and runs its tests under Wine:
#   - the Windows unit tests (qam_tests.exe, cross-built GoogleTest);
#   - the Linux suite's tests that start the program, against qamcvs.exe;
#   - the README's examples, which must give the Linux build's bytes.
# Then it makes the ZIP package. Usage: scripts/windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
timer=$SECONDS
stage() { echo; echo "=== windows: $* ($((SECONDS - timer)) s)"; }

stage "installing what is missing"
QAM_SETUP_EXTRA="g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 googletest
                 python3 zip unzip groff-base icu-devtools" scripts/setup.sh

stage "dependencies"
scripts/windows_deps.sh

stage "qamcvs.exe"
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DQAM_BUILD_TESTS=ON >/dev/null
cmake --build build-windows -j "$jobs"
exe=$root/build-windows/qamcvs.exe
size=$(stat -c %s "$exe")
echo "qamcvs.exe: $size bytes"
x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name'
if [ "$size" -gt $((10 * 1024 * 1024)) ]; then
  echo "qamcvs.exe is larger than 10 MB" >&2
  exit 1
fi
# Only DLLs that every Windows has: no C++ runtime, no ICU, no Xerces-C.
unexpected=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' |
  grep -viE '^(kernel32|msvcrt|shell32|advapi32|ntdll|user32|ws2_32|ole32)\.dll$' || true)
if [ -n "$unexpected" ]; then
  echo "qamcvs.exe needs DLLs that Windows does not ship: $unexpected" >&2
  exit 1
fi
# The application manifest (resource type 24, id 1) declares long paths.
if ! x86_64-w64-mingw32-objdump -p "$exe" | grep -q 'Entry: ID: 0x000018' ||
   ! grep -aq '<ws2:longPathAware>true</ws2:longPathAware>' "$exe"; then
  echo "qamcvs.exe has no manifest that declares longPathAware" >&2
  exit 1
fi
echo "qamcvs.exe: manifest with longPathAware"

stage "Linux build of the suite that drives qamcvs.exe"
scripts/build.sh build -DQAM_BUILD_TESTS=ON

# One Wine prefix of the project's own, and one wineserver kept running for
# the whole suite: a cold Wine start takes seconds, a warm one a fraction.
export WINEPREFIX=${QAM_WINEPREFIX:-$HOME/.cache/qamcvs-wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the Unix arguments in the locale's character set.
export LC_ALL=C.UTF-8
stage "Wine start-up"
wineboot --init >/dev/null 2>&1 || true
wineserver -p 2>/dev/null || true  # one may already be running for this prefix
trap 'wineserver -k 2>/dev/null || true' EXIT

stage "Windows unit tests under Wine"
(cd build-windows && ctest --output-on-failure)

stage "end-to-end tests against qamcvs.exe under Wine"
# The tests that start the program as a process: the name of each, or of its
# suite, begins with "Binary" (the hostile-input ones, long runs for the Linux
# build, do not).
QAMCVS_TEST_BINARY=$exe QAMCVS_TEST_LAUNCHER=wine build/qam_tests \
  --gtest_filter='Binary*:*.Binary*' --gtest_brief=1

stage "examples under Wine: the Linux build's bytes"
QAMCVS_TEST_LAUNCHER=wine examples/run.sh "$exe" --check >/dev/null
echo "examples: every document matches examples/expected/"

stage "ZIP package"
(cd build-windows && cpack -G ZIP >/dev/null && unzip -l qamcvs-*-win64.zip)

stage "done"
