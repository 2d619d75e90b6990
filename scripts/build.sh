#!/usr/bin/env bash
# Configures and builds the project into ${BUILD_DIR:-build}.
#   scripts/build.sh [--target NAME...] [CMAKE_ARGUMENT...]
# --target builds only the named targets (and what they need); the other
# arguments go to cmake's configure step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
targets=()
configure=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target)
      shift
      while [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; do targets+=("$1"); shift; done
      ;;
    *) configure+=("$1"); shift ;;
  esac
done
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
else
  cmake --build "$build" -j "$(nproc)"
fi
