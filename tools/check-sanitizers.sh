#!/usr/bin/env bash
# Builds the whole suite twice with sanitizers and runs it:
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer (leaks included)
#   build-tsan/  ThreadSanitizer
# A report ends the process with exit code 86 (ThreadSanitizer: at its end),
# which fails the test that ran it, also when the process was a tovrin-cli a
# test started; reports are collected from the build and test output. What
# happens wholly inside the (uninstrumented) system libraries is left out by
# ThreadSanitizer's ignore_noninstrumented_modules; further suppressions go
# in tools/sanitizers/*.supp, by library only, never by a function of ours.
# The script exits 0 only when both runs pass and left no report.
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

# Sanitizer reports in a log: their first lines, and their count.
kReportPattern='^(==[0-9]+==ERROR: (AddressSanitizer|LeakSanitizer)|WARNING: ThreadSanitizer|.*runtime error: )'

show_reports() {
    grep -E -A12 "$kReportPattern" "$@" 2>/dev/null | head -400
}

count_reports() {
    cat "$@" 2>/dev/null | grep -c -E "$kReportPattern"
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
    mkdir -p "$build"

    # The options hold for the build too: the skin generator runs during it.
    # Reports go to standard error: with log_path the ASan run-time cannot
    # start under umockdev-wrapper, whose preload library also comes ahead of
    # it (harmless for our tests, but refused by default).
    export ASAN_OPTIONS="exitcode=86:detect_leaks=1:verify_asan_link_order=0:strict_string_checks=1:detect_stack_use_after_return=1"
    export LSAN_OPTIONS="suppressions=$SUPP/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="exitcode=86:print_stacktrace=1:halt_on_error=1"
    # The system libraries are not instrumented: their own goings-on inside
    # (Qt's thread pool, QtTest's watchdog, QThread teardown behind Qt's
    # futex mutex, tzset) are left out; every access of our code is checked.
    # The hidraw tests start tovrin-cli under umockdev-wrapper, whose preload
    # library starts a thread in the child between fork and exec: allowed.
    export TSAN_OPTIONS="exitcode=86:suppressions=$SUPP/tsan.supp:print_suppressions=0:halt_on_error=0:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0"

    echo "== $kind: configure and build in $build"
    cmake -S "$ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVRIN_TEST_TIMEOUT_SCALE=6 \
        -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >"$build/configure.log" 2>&1 \
        || { cat "$build/configure.log"; return 1; }
    # A report of the skin generator must not stop the build half-way: it is
    # counted from the build log below like every other report.
    if ! ASAN_OPTIONS="$ASAN_OPTIONS:exitcode=0" UBSAN_OPTIONS="$UBSAN_OPTIONS:exitcode=0" \
        TSAN_OPTIONS="$TSAN_OPTIONS:exitcode=0" cmake --build "$build" -j"$JOBS" >"$build/build.log" 2>&1; then
        tail -50 "$build/build.log"
        show_reports "$build/build.log"
        echo "== $kind: BUILD FAILED"
        return 1
    fi

    echo "== $kind: run the suite"
    local failed=0
    # shellcheck disable=SC2086
    ctest --test-dir "$build" --output-on-failure -j"$JOBS" --timeout 1800 ${CTEST_ARGS:-} >"$build/ctest.log" 2>&1 \
        || failed=1
    tail -15 "$build/ctest.log"
    show_reports "$build/build.log" "$build/ctest.log"
    local count
    count=$(count_reports "$build/build.log" "$build/ctest.log")
    echo "== $kind: $count sanitizer report(s), tests $([ $failed -eq 0 ] && echo passed || echo FAILED)"
    [ $failed -eq 0 ] && [ "$count" -eq 0 ]
}

status=0
for kind in "${KINDS[@]}"; do
    run_kind "$kind" || status=1
done
exit $status
