#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang and runs each for SECONDS
# (default 60) on a copy of its seed corpus, with its dictionary when it has
# one; FUZZ_JOBS targets at a time (default 1). Inputs the fuzzer finds go to the copy, never into fuzz/corpus/.
# Fails when any target crashed, leaked, timed out (10 s for one input) or
# went over 2 GiB, naming the target and its reproducer; rerun a reproducer
# with `<build>/fuzz/fuzz_<target> <file>`.
#
#   scripts/fuzz.sh [SECONDS]
#
# FUZZ_BUILD_DIR: the build folder (default build-fuzz, relative to the
# repository). FUZZ_BUILD_JOBS: parallel compile jobs (default 2).
# Runs as any user, root included (directly or through sudo): it needs no
# privileges, and the targets open no network socket.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi
build=${FUZZ_BUILD_DIR:-build-fuzz}
[[ $build == /* ]] || build="$root/$build"

for tool in clang clang++ cmake; do
  command -v "$tool" >/dev/null || {
    echo "fuzz.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
  }
done

mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLO_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log" >&2
  exit 1
}
cmake --build "$build" --target fuzz_targets -j "${FUZZ_BUILD_JOBS:-2}"

# Inputs may grow to what the target reads in one go: a part with its
# picture, a header that fills the reply buffer.
max_len() {
  case $1 in
    stream_parts | jpeg_decode) echo 65536 ;;
    http_reply) echo 16384 ;;
    *) echo 4096 ;;
  esac
}

# Runs one target; its outcome goes to $work/outcome ("ok" or the exit status).
run_target() {
  local binary=$1 name=$2 work=$3 status=0
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  if [[ -d $root/fuzz/corpus/$name ]]; then
    cp -R "$root/fuzz/corpus/$name/." "$work/corpus/"
  fi
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
    -max_len="$(max_len "$name")" -print_final_stats=1 -close_fd_mask=3
    -artifact_prefix="$work/artifacts/")
  [[ -f $root/fuzz/$name.dict ]] && args+=(-dict="$root/fuzz/$name.dict")
  "$binary" "${args[@]}" "$work/corpus" >"$work/log" 2>&1 || status=$?
  if [[ $status -eq 0 ]] && ! compgen -G "$work/artifacts/*" >/dev/null; then
    echo ok >"$work/outcome"
  else
    echo "$status" >"$work/outcome"
  fi
}

jobs=${FUZZ_JOBS:-1}
names=()
running=0
for binary in "$build"/fuzz/fuzz_*; do
  [[ -x $binary && -f $binary ]] || continue
  name=${binary##*/fuzz_}
  names+=("$name")
  echo "fuzz.sh: fuzz_$name for $seconds s (log: $build/fuzz-runs/$name/log)"
  run_target "$binary" "$name" "$build/fuzz-runs/$name" &
  running=$((running + 1))
  if [[ $running -ge $jobs ]]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait
targets=${#names[@]}

failed=()
for name in "${names[@]}"; do
  work="$build/fuzz-runs/$name"
  outcome=$(cat "$work/outcome" 2>/dev/null || echo "no outcome")
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$work/log" 2>/dev/null)
  if [[ $outcome == ok ]]; then
    echo "fuzz.sh: fuzz_$name: ${runs:-?} inputs, nothing found"
    continue
  fi
  failed+=("$name")
  tail -n 50 "$work/log" >&2
  echo "fuzz.sh: fuzz_$name FAILED (exit $outcome); reproducer:" >&2
  ls -1 "$work/artifacts/"* >&2 2>/dev/null || echo "  (none written; see $work/log)" >&2
done

if [[ $targets -eq 0 ]]; then
  echo "fuzz.sh: no fuzz target in $build/fuzz" >&2
  exit 1
fi
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz.sh: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: every target ran $seconds s without a finding"
