#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, and runs every test
# twice, once normally and once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

scripts/build.sh build -DQAM_BUILD_TESTS=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

scripts/build.sh build-sanitize -DQAM_BUILD_TESTS=ON -DQAM_SANITIZE=address,undefined
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$(nproc)")
