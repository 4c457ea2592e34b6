#!/usr/bin/env bash
# Builds the whole suite twice with sanitizers and runs it:
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer (leaks included)
#   build-tsan/  ThreadSanitizer
# Every process (tests, the tool and tovrin-cli they start, the build-time
# skin generator) writes its reports into <build>/sanitizer-reports/. Reports
# that lie wholly in system libraries are suppressed by library in
# tools/sanitizers/*.supp, never by a function of ours. The script exits 0
# only when both runs pass and left no report.
#
# Usage: tools/check-sanitizers.sh [asan|tsan ...]   (default: both)
# Environment: JOBS (default 2), CTEST_ARGS (extra ctest arguments).
#
# Not part of .ci/run (it doubles the build time); run it before you stop
# whenever you touch threads or memory.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-2}
SUPP=$ROOT/tools/sanitizers
KINDS=("$@")
[ ${#KINDS[@]} -eq 0 ] && KINDS=(asan tsan)

export QT_QPA_PLATFORM=offscreen

# Prints the report files of a run.
show_reports() {
    local f
    for f in "$1"/report.*; do
        [ -e "$f" ] || continue
        echo "---- $f"
        cat "$f"
    done
}

count_reports() {
    find "$1" -name 'report.*' -type f | wc -l
}

run_kind() {
    local kind=$1 build flags
    case $kind in
    asan)
        build=$ROOT/build-asan
        flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
        ;;
    tsan)
        build=$ROOT/build-tsan
        flags="-fsanitize=thread -fno-omit-frame-pointer"
        ;;
    *)
        echo "unknown sanitizer '$kind' (asan or tsan)" >&2
        return 2
        ;;
    esac
    local reports=$build/sanitizer-reports
    mkdir -p "$build"
    rm -rf "$reports"
    mkdir -p "$reports"

    # The options hold for the build too: the skin generator runs during it.
    # umockdev-wrapper puts its preload library ahead of the ASan run-time,
    # which is harmless for our tests but refused by default.
    export ASAN_OPTIONS="log_path=$reports/report:detect_leaks=1:verify_asan_link_order=0:strict_string_checks=1:detect_stack_use_after_return=1"
    export LSAN_OPTIONS="suppressions=$SUPP/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="log_path=$reports/report:print_stacktrace=1:halt_on_error=1"
    export TSAN_OPTIONS="log_path=$reports/report:suppressions=$SUPP/tsan.supp:print_suppressions=0:halt_on_error=0:second_deadlock_stack=1"

    echo "== $kind: configure and build in $build"
    cmake -S "$ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >"$build/configure.log" 2>&1 \
        || { cat "$build/configure.log"; return 1; }
    if ! cmake --build "$build" -j"$JOBS" >"$build/build.log" 2>&1; then
        tail -50 "$build/build.log"
        show_reports "$reports"
        echo "== $kind: BUILD FAILED"
        return 1
    fi

    echo "== $kind: run the suite"
    local failed=0
    # shellcheck disable=SC2086
    ctest --test-dir "$build" --output-on-failure -j"$JOBS" --timeout 1800 ${CTEST_ARGS:-} >"$build/ctest.log" 2>&1 \
        || failed=1
    tail -15 "$build/ctest.log"
    show_reports "$reports"
    local count
    count=$(count_reports "$reports")
    echo "== $kind: $count sanitizer report(s), tests $([ $failed -eq 0 ] && echo passed || echo FAILED)"
    [ $failed -eq 0 ] && [ "$count" -eq 0 ]
}

status=0
for kind in "${KINDS[@]}"; do
    run_kind "$kind" || status=1
done
exit $status
