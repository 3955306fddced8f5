#!/usr/bin/env bash
# Installs what is missing, builds qamcvs and runs it on the bundled sample:
# a repository made by the real cvs and captured cvs/rlog/diff output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DQAM_BUILD_TESTS=OFF >/dev/null
examples/run.sh "$PWD/build/qamcvs"
