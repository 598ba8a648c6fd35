#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (in build-fuzz/, beside the normal build) and
# runs each for SECONDS (default 60), starting from the committed corpus.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     TARGET: records title profile picture (default all)
# Inputs that find new paths are kept in build-fuzz/fuzz/<target>/corpus; with
# VEXLO_FUZZ_MERGE=1 the ones that add coverage are also merged, minimised, into
# tests/fuzz/corpus/<target>/ for committing. A finding is written to
# build-fuzz/fuzz/<target>/crash-*; replay it with build-fuzz/tests/fuzz/fuzz_<target> FILE.
# Exit status: 0 when no target found anything.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(records title profile picture)

scripts/setup.sh
if ! command -v clang++ >/dev/null || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  echo "fuzz: installing clang and its libFuzzer" >&2
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends clang libclang-rt-dev >/dev/null 2>&1 ||
    $SUDO apt-get install -y -qq --no-install-recommends clang-14 libclang-rt-14-dev >/dev/null
fi

build=${VEXLO_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXLO_FUZZ=ON \
  ${VEXLO_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]/#/fuzz_}"

# The targets write their scratch files to TMPDIR: a memory file system spares the disk.
scratch=$(mktemp -d "$([ -d /dev/shm ] && echo /dev/shm || echo /tmp)/vexlo-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

status=0
summary=()
for t in "${targets[@]}"; do
  work=$build/fuzz/$t
  mkdir -p "$work/corpus"
  log=$work/last-run.log
  echo "fuzz: $t for ${seconds}s" >&2
  if ! "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/" "$work/corpus" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
    status=1
    tail -n 40 "$log" >&2
  fi
  if [ "${VEXLO_FUZZ_MERGE:-0}" = 1 ]; then
    "$build/tests/fuzz/fuzz_$t" -merge=1 "tests/fuzz/corpus/$t" "$work/corpus" >>"$log" 2>&1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  findings=$(find "$work" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' -o -maxdepth 1 -name 'timeout-*' -o -maxdepth 1 -name 'oom-*' | wc -l)
  summary+=("$(printf '%-8s %10s executions  %3s findings  corpus %s + %s found' "$t" "${runs:-?}" "$findings" \
    "$(ls "tests/fuzz/corpus/$t" | wc -l)" "$(ls "$work/corpus" | wc -l)")")
done
printf '%s\n' "${summary[@]}"
exit $status
