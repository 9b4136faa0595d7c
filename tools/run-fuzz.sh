#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time on
# a copy of its seed corpus. Usage: tools/run-fuzz.sh [SECONDS_PER_TARGET]
set -eu
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-20}
JOBS=${JOBS:-$(nproc)}
CC=clang-14 CXX=clang++-14 cmake -S . -B out/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQM_FUZZ=ON -DQM_BUILD_TESTS=OFF >/dev/null
cmake --build out/fuzz -j"$JOBS" --target fuzz_package fuzz_update fuzz_wav fuzz_lists \
    fuzz_segment fuzz_profile fuzz_frontend fuzz_g7231_decode fuzz_decoders fuzz_records
REPO=$(pwd)
WORK=$(mktemp -d /tmp/qmfuzz-run-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
status=0
for t in package update wav lists segment profile frontend g7231_decode decoders records; do
    mkdir -p "$WORK/$t"
    cp fuzz/corpus/$t/* "$WORK/$t/" 2>/dev/null || true
    echo "fuzz_$t: ${SECONDS_PER_TARGET}s"
    if ! (cd "$WORK" && "$REPO/out/fuzz/fuzz/fuzz_$t" -max_total_time="$SECONDS_PER_TARGET" \
            -max_len=65536 -timeout=20 -rss_limit_mb=2048 -print_final_stats=0 "$WORK/$t" \
            >"$WORK/$t.log" 2>&1); then
        echo "fuzz_$t FAILED:"; tail -n 60 "$WORK/$t.log"; status=1
    fi
done
exit $status
