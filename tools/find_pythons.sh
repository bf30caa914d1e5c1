#!/usr/bin/env bash
# Prints one CPython interpreter per version from 3.10 up that this machine has, the
# `python3` on the PATH first: those on the PATH (python3, python3.10, python3.11, ...)
# and those under pyenv's versions folder. One line each, "VERSION PATH".
set -euo pipefail
candidates=(python3)
for minor in 10 11 12 13 14 15; do candidates+=("python3.$minor"); done
for python in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/*/bin/python3; do
  [ -x "$python" ] && candidates+=("$python")
done
seen=" "
for candidate in "${candidates[@]}"; do
  command -v "$candidate" >/dev/null 2>&1 || continue
  version=$("$candidate" -c 'import sys
if sys.implementation.name == "cpython" and sys.version_info >= (3, 10):
    print("%d.%d" % sys.version_info[:2])' 2>/dev/null) || continue
  [ -n "$version" ] || continue
  case "$seen" in *" $version "*) continue ;; esac
  seen="$seen$version "
  echo "$version $candidate"
done
