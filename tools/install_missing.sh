#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet, plus cmake
# and ninja when the machine has none. Shared by the test and benchmark commands. A first
# argument --no-install-recommends installs the packages without their recommendations
# (LibreOffice would otherwise bring a desktop's worth).
set -euo pipefail
apt_options=()
if [ "${1:-}" = "--no-install-recommends" ]; then
  apt_options+=(--no-install-recommends)
  shift
fi
missing=()
for package in "$@"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
if ((${#missing[@]})); then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${apt_options[@]}" "${missing[@]}"
fi
