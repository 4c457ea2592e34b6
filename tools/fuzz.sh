#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz/ with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for the given
# number of seconds (default 60), starting from its seed corpus.
#
#   tools/fuzz.sh [seconds] [target...]
#
# A crash, a leak, a broken invariant or an input slower than 10 s fails the
# run; the input is saved under tests/fuzz/crashes/<target>/, where the
# replay tests (fuzz_replay_<target>) of every ordinary build run it from
# then on. New inputs the fuzzer finds go to build-fuzz/corpus/<target>/,
# not into the tree. The last line of each target's log (executions,
# coverage) is printed, and the whole log kept in build-fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

seconds="${1:-60}"
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: tools/fuzz.sh [seconds] [target...]" >&2
  exit 2
fi

for tool in clang clang++; do
  if ! command -v "$tool" >/dev/null; then
    echo "fuzz.sh: $tool is missing (tools/install-deps.sh installs it)" >&2
    exit 2
  fi
done

export CC=clang CXX=clang++
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVRIN_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-fuzz -j2 --target tovrin_fuzz_targets

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in tests/fuzz/fuzz_*.cpp; do
    t="$(basename "$f" .cpp)"
    targets+=("${t#fuzz_}")
  done
fi

mkdir -p build-fuzz/logs
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
failed=()
for t in "${targets[@]}"; do
  exe="$root/build-fuzz/fuzz/fuzz_$t"
  if [ ! -x "$exe" ]; then
    echo "fuzz.sh: no target $t" >&2
    failed+=("$t")
    continue
  fi
  # Absolute paths: some targets work in a scratch folder of their own.
  mkdir -p "$root/build-fuzz/corpus/$t" "$root/tests/fuzz/crashes/$t"
  seeds="$root/tests/fuzz/corpus/$t"
  [ -d "$seeds" ] || seeds=""
  log="build-fuzz/logs/$t.log"
  echo "== $t: ${seconds}s"
  status=0
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$root/tests/fuzz/crashes/$t/" "$root/build-fuzz/corpus/$t" $seeds >"$log" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+(DONE|INITED)' "$log" | tail -1 || true
  grep -E '^stat::number_of_executed_units' "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "fuzz.sh: $t failed (exit $status); see $log and tests/fuzz/crashes/$t/" >&2
    grep -E 'ERROR|invariant broken|SUMMARY' "$log" | head -5 >&2 || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz.sh: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: ${#targets[@]} targets, no failure"
