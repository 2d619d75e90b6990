#!/usr/bin/env bash
# Builds the wizard's Debian package into ${BUILD_DIR:-build}: configures
# like scripts/build.sh, builds the wizard and the package's files, and runs
# CPack (packaging/packaging.cmake says what goes in). The package's path is
# the last line of the output. Install it with `apt install ./<that path>`.
#
# Runs as any user when the Debian packages of scripts/debian-packages.txt are
# there; installing missing ones needs root (directly or through sudo).
#
# The screenshots the AppStream data names (packaging/*.metainfo.xml) are
# copied from the tests' pictures (build/test-artifacts/, written by
# scripts/test.sh) to <build>/screenshots/, for the web site that serves them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target quenlo-setup quenlo-package-files
rm -f "$build"/quenlo-setup_*.deb
(cd "$build" && cpack -G DEB >/dev/null)

mkdir -p "$build/screenshots"
sed -n 's:.*<image>\(.*\)</image>.*:\1:p' "$root"/packaging/*.metainfo.xml | while read -r url; do
  picture="$build/test-artifacts/${url##*/}"
  if [ -f "$picture" ]; then
    cp "$picture" "$build/screenshots/"
  else
    echo "package.sh: no $picture for $url yet (the end-to-end tests take it)" >&2
  fi
done

deb=$(ls "$build"/quenlo-setup_*.deb)
echo "$deb"
