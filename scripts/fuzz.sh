#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz, then runs every target for
# SECONDS (default 30) on a copy of its seed corpus, so the committed seeds
# never change. Exits non-zero when any target reports a finding; the
# finding's input is kept under fuzz/findings/TARGET/ (not committed).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
max_len=${QAM_FUZZ_MAX_LEN:-65536}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
QAM_SETUP_EXTRA="clang libclang-rt-14-dev" scripts/setup.sh

CXX=${CXX:-clang++} cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQAM_BUILD_FUZZERS=ON -DQAM_SANITIZE=address,undefined -DQAM_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"

if [ "$#" -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in fuzz/*_fuzzer.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# The working corpora in memory where there is room: libFuzzer writes a file
# for every new input, and early in a run that is many.
scratch=${TMPDIR:-/tmp}
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then scratch=/dev/shm; fi
work=$(mktemp -d "$scratch/qamcvs-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for target in "${targets[@]}"; do
  corpus="$work/$target"
  mkdir -p "$corpus" "fuzz/findings/$target"
  if [ -d "fuzz/corpus/$target" ]; then cp -R "fuzz/corpus/$target/." "$corpus/"; fi
  log="$work/$target.log"
  echo "== $target: ${seconds}s"
  status=0
  "build-fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="fuzz/findings/$target/" >"$log" 2>&1 || status=$?
  runs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}' | tail -1)
  echo "   executions: ${runs:-unknown}, exit status $status"
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    tail -n 60 "$log"
  fi
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "findings in: ${failed[*]} (inputs under fuzz/findings/)"
  exit 1
fi
echo "no findings"
