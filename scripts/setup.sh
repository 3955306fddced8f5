#!/usr/bin/env bash
# Installs what building, testing and running qamcvs need on Debian 12:
# only the packages that are missing. Uses sudo only when not root.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config
          libxerces-c-dev libicu-dev libgtest-dev libbenchmark-dev
          icu-devtools cvs rcs diffutils util-linux dpkg-dev file)
if [ "${QAM_SETUP_EXTRA:-}" != "" ]; then
  # shellcheck disable=SC2206
  packages+=(${QAM_SETUP_EXTRA})
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
