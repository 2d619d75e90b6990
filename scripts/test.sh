#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest:
#   1. the plain build and the whole suite;
#   2. the suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
#      the end-to-end tests included (the wizard and the simulator they start
#      are built with the sanitizers too), but for the `slow` test, whose
#      real 40-second wait runs the same code as the others' shortened one;
#   3. the tests without the `webkit` label under ThreadSanitizer (WebKitGTK
#      is not built with it);
#   4. each fuzz target for a short while, one per core (scripts/fuzz.sh),
#      while the Debian package is built, validated and its unpacked wizard
#      run as an ordinary user in a virtual LAN (scripts/package-check.sh).
# A sanitizer report from any process, a test or a program it started, fails
# the run. Each build has its own folder: $BUILD_DIR (default build/), then
# the same name with -asan, -tsan and -fuzz. The sanitizer builds compile at
# low priority while the suites before them run. The tests wait on timers,
# the network and their programs far more than they compute, so CTest runs
# several per core. Labels (tests/test_labels.cmake) choose the tests.
#
# The tests that need a window start their own Xvfb or Weston; the network tests
# build their own network namespaces; the sound tests start their own PulseAudio
# and PipeWire.
# So this runs as root (directly or through sudo).
#
#   scripts/test.sh [--quick] [--fuzz-seconds N]
#     --quick           only the plain build and its suite, without `slow`
#     --fuzz-seconds N  how long each fuzz target runs (default 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
quick=0
fuzz_seconds=30
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1; shift ;;
    --fuzz-seconds) fuzz_seconds=$2; shift 2 ;;
    *) echo "test.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
cores=$(nproc)
plain_jobs=$((cores * 3))
sanitized_jobs=$((cores * 2))

started=$SECONDS
stamp() { printf '[test.sh %3d:%02d] %s\n' $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60)) "$*"; }

"$root/scripts/install-deps.sh"
stamp "building $build"
BUILD_DIR="$build" "$root/scripts/build.sh"

background=()
cleanup() {
  for pid in "${background[@]}"; do kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# Runs `command...` in the background as a process group of its own, its
# output into `log`. Sets bg_pid.
in_background() {
  local log=$1
  shift
  set -m
  ("$@") >"$log" 2>&1 &
  bg_pid=$!
  set +m
  background+=("$bg_pid")
}

# Configures and builds `targets` into `dir` at low priority.
build_quietly() {
  local dir=$1 targets=$2
  shift 2
  nice -n 19 cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
    # shellcheck disable=SC2086
    nice -n 19 cmake --build "$dir" -j "$(nproc)" --target $targets
}

# build_quietly in the background, its log in dir/build.log. Sets bg_pid.
build_in_background() {
  mkdir -p "$1"
  in_background "$1/build.log" build_quietly "$@"
}

wait_for_build() {
  local pid=$1 dir=$2
  if ! wait "$pid"; then
    tail -n 60 "$dir/build.log" >&2
    echo "test.sh: the build in $dir failed (log: $dir/build.log)" >&2
    exit 1
  fi
  stamp "built $dir"
}

# Runs ctest in `dir` with `args`; fails on a failed test or on any
# sanitizer report written meanwhile.
run_suite() {
  local dir=$1
  shift
  local reports
  reports=$(mktemp -d /tmp/quenlo-sanitizer-XXXXXX)
  chmod 1777 "$reports"
  local status=0
  (
    cd "$dir"
    # print_suppressions=0: the list of suppressed leaks would land in the
    # report folder too, and only reports belong there.
    export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:print_suppressions=0:log_path=$reports/asan"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:print_suppressions=0:log_path=$reports/ubsan"
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:log_path=$reports/tsan"
    ctest --output-on-failure "$@"
  ) || status=$?
  if compgen -G "$reports/*" >/dev/null; then
    for report in "$reports"/*; do
      echo "=== sanitizer report $report" >&2
      cat "$report" >&2
    done
    status=1
  fi
  rm -rf "$reports"
  [ "$status" -eq 0 ] || { echo "test.sh: the suite in $dir failed" >&2; exit 1; }
  stamp "passed: $dir"
}

if [ "$quick" -eq 1 ]; then
  stamp "running the suite in $build, without the slow test"
  run_suite "$build" --timeout 600 -j "$plain_jobs" -LE slow
  exit 0
fi

build_in_background "$build-asan" "quenlo_tests tavo-camsim quenlo-setup" -DQUENLO_SANITIZE=address
asan_pid=$bg_pid
build_in_background "$build-tsan" "quenlo_tests tavo-camsim" -DQUENLO_SANITIZE=thread
tsan_pid=$bg_pid
stamp "running the suite in $build"
run_suite "$build" --timeout 600 -j "$plain_jobs"

wait_for_build "$asan_pid" "$build-asan"
build_in_background "$build-fuzz" "fuzz_targets" -DQUENLO_FUZZ=ON -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++
fuzz_pid=$bg_pid
stamp "running the suite in $build-asan, without the slow test"
run_suite "$build-asan" --timeout 900 -j "$sanitized_jobs" -LE slow

wait_for_build "$tsan_pid" "$build-tsan"
stamp "running the suite in $build-tsan, without the tests that load WebKit"
run_suite "$build-tsan" --timeout 900 -j "$sanitized_jobs" -LE webkit

wait_for_build "$fuzz_pid" "$build-fuzz"
stamp "checking the Debian package meanwhile (log: $build/package-check.log)"
in_background "$build/package-check.log" env BUILD_DIR="$build" "$root/scripts/package-check.sh"
package_pid=$bg_pid
stamp "fuzzing, $fuzz_seconds s per target, $cores at a time"
fuzz_status=0
FUZZ_BUILD_DIR="$build-fuzz" FUZZ_JOBS="$cores" "$root/scripts/fuzz.sh" "$fuzz_seconds" ||
  fuzz_status=$?
package_status=0
wait "$package_pid" || package_status=$?
cat "$build/package-check.log"
[ "$fuzz_status" -eq 0 ] || { echo "test.sh: fuzzing found a fault" >&2; exit 1; }
[ "$package_status" -eq 0 ] || { echo "test.sh: the package checks failed" >&2; exit 1; }
stamp "all passed"
