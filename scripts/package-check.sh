#!/usr/bin/env bash
# Checks the wizard's Debian package:
#   1. its files, as dpkg-deb lists them: the medium under /usr/lib/quenlo-setup
#      (every page and document of HTML/ and Doc/), the launcher, the menu
#      entry, the icon, the AppStream data, the manual page, the copyright
#      file and the changelog; nothing of the tests, the simulator, the demo
#      or the benchmarks, and nothing outside /usr;
#   2. its dependencies: the libraries the wizard links, PulseAudio's client
#      library among them, but no sound server and no Xvfb;
#   3. lintian reports no error (its warnings and notes are shown);
#   4. desktop-file-validate and appstreamcli accept the unpacked menu entry
#      and AppStream data;
#   5. unpacked with dpkg -x, the wizard started through its launcher as the
#      unprivileged user nobody, under Xvfb, inside a virtual LAN of network
#      namespaces, shows its first page, finds a simulated camera and installs
#      one on another subnet (the PackageE2E tests of the test binary).
#
#   scripts/package-check.sh [PACKAGE.deb]
#
# Without an argument it builds the package first (scripts/package.sh, into
# ${BUILD_DIR:-build}). The test binary and the simulator come from that
# build folder. Needs root (directly or through sudo): the tests build network
# namespaces and start the wizard as nobody. The temporary folder and the
# namespaces go at the end, also on failure or Ctrl-C. Exits non-zero when a
# check failed, naming each one that did.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
started=$SECONDS
if [ "$(id -u)" -ne 0 ]; then
  echo "package-check.sh: needs root (network namespaces, and running the wizard as nobody)," \
    "for example: sudo $0" >&2
  exit 1
fi

"$root/scripts/install-deps.sh"
if [ $# -ge 1 ]; then
  deb=$(realpath "$1")
else
  BUILD_DIR="$build" "$root/scripts/package.sh"
  deb=$(ls "$build"/quenlo-setup_*.deb)
fi
[ -f "$deb" ] || { echo "package-check.sh: no package at $deb" >&2; exit 1; }
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target quenlo_tests tavo-camsim

# Readable by nobody: the wizard runs from the unpacked package inside it.
work=$(mktemp -d /tmp/quenlo-package-check-XXXXXX)
chmod 755 "$work"
unpacked="$work/root"
tests_pid=
cleanup() {
  trap - EXIT INT TERM HUP
  if [ -n "$tests_pid" ]; then
    kill "$tests_pid" 2>/dev/null || true
    wait "$tests_pid" 2>/dev/null || true
    # The tests' virtual LAN, when they could not remove it themselves.
    for ns in $(ip netns list | awk '{print $1}' | grep "^qd$tests_pid-" || true); do
      for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
      ip netns del "$ns" 2>/dev/null || true
    done
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

failed=()
# check NAME COMMAND...: runs one check in this shell, then shows its output indented.
check() {
  local name=$1 status=0
  shift
  echo "== $name"
  "$@" >"$work/check.log" 2>&1 || status=$?
  sed 's/^/   /' "$work/check.log"
  if [ "$status" -eq 0 ]; then
    echo "   ok"
  else
    echo "   FAILED: $name"
    failed+=("$name")
  fi
}

contents_are_right() {
  local listed missing=0 path
  listed=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's:^\./::; s:/$::')
  local expected=(usr/bin/quenlo-setup usr/lib/quenlo-setup/bin/quenlo-setup
    usr/lib/quenlo-setup/bin/ip-setup usr/share/applications/example.quenlo.Setup.desktop
    usr/share/icons/hicolor/scalable/apps/example.quenlo.Setup.svg
    usr/share/metainfo/example.quenlo.Setup.metainfo.xml usr/share/man/man1/quenlo-setup.1.gz
    usr/share/doc/quenlo-setup/copyright usr/share/doc/quenlo-setup/changelog.gz)
  for path in "$root"/HTML/* "$root"/Doc/*; do
    expected+=("usr/lib/quenlo-setup/${path#"$root"/}")
  done
  for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$listed" || { echo "missing: $path"; missing=1; }
  done
  if grep -E '(^|/)(tests?|tools|bench|camsim)(/|$)|quenlo_tests|quenlo-demo|tavo-camsim|bench_' \
    <<<"$listed"; then
    echo "^ test, simulator, demo or benchmark files"
    missing=1
  fi
  if grep -vE '^(usr|usr/.*)?$' <<<"$listed"; then
    echo "^ outside /usr"
    missing=1
  fi
  [ "$missing" -eq 0 ] && echo "$(wc -l <<<"$listed") entries, as expected"
  return "$missing"
}

dependencies_are_right() {
  local depends wanted
  depends=$(dpkg-deb --field "$deb" Depends)
  echo "Depends: $depends"
  echo "Recommends: $(dpkg-deb --field "$deb" Recommends)"
  for wanted in libgtk-3-0 libwebkit2gtk-4.1-0 libjpeg62-turbo libpulse0; do
    grep -qE "(^|, )$wanted( |,|$)" <<<"$depends" || { echo "not depended on: $wanted"; return 1; }
  done
  # What the wizard runs without: a sound server, and a virtual display.
  if dpkg-deb --field "$deb" Depends Pre-Depends Recommends |
    grep -E '(^|[ ,|:])(pulseaudio|pipewire-pulse|xvfb|xserver-[a-z-]+)( |,|$)'; then
    echo "^ a sound server or Xvfb is asked for"
    return 1
  fi
}

run_package_tests() {
  local log="$work/tests.log" status=0
  # Their temporary folders go into ours, so they go with it, also when the
  # tests are stopped; the wizard as nobody makes its socket in one of them.
  mkdir -m 1777 "$work/tmp"
  # The test process itself, so that its namespaces (qd<pid>-...) can be found.
  (cd "$build" && TMPDIR="$work/tmp" QUENLO_UNPACKED_PACKAGE="$unpacked" exec tests/quenlo_tests \
    --gtest_filter='PackageE2E.*') >"$log" 2>&1 &
  tests_pid=$!
  wait "$tests_pid" || status=$?
  cat "$log"
  if grep -q '\[  SKIPPED \]' "$log" || ! grep -q '\[       OK \]' "$log"; then
    echo "^ the tests did not run"
    return 1
  fi
  return "$status"
}

check "package contents" contents_are_right
check "package dependencies" dependencies_are_right
check "lintian" lintian --fail-on error "$deb"
dpkg -x "$deb" "$unpacked"
check "desktop entry" desktop-file-validate \
  "$unpacked/usr/share/applications/example.quenlo.Setup.desktop"
check "AppStream data" appstreamcli validate --no-net \
  "$unpacked/usr/share/metainfo/example.quenlo.Setup.metainfo.xml"
check "AppStream data with its menu entry and icon" appstreamcli validate-tree --no-net \
  "$unpacked"
check "unpacked wizard as nobody in a virtual LAN" run_package_tests

echo "package-check.sh: $deb, $((SECONDS - started)) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "package-check.sh: FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "package-check.sh: all checks passed"
