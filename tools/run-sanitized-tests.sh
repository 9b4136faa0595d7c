#!/bin/sh
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs it; any report fails the run.
set -eu
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
cmake -S . -B out/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=ON -DQM_BUILD_GUI=ON >/dev/null
cmake --build out/asan -j"$JOBS"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$(pwd)/tools/lsan.supp:print_suppressions=0
export QT_QPA_PLATFORM=offscreen
cd out/asan && ctest --output-on-failure -j"$JOBS"
