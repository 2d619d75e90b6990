#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest.
# The tests that need a window start their own Xvfb; the network tests build
# their own network namespaces, so this runs as root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "${BUILD_DIR:-$root/build}"
ctest --output-on-failure -j "$(nproc)" --timeout 600
