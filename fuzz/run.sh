#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan + UBSan) and runs
# every one of them for SECONDS, one after the other, each on its own corpus
# under build/fuzz/corpus/<name>. Exits non-zero when the build fails, a
# fuzzer binary is missing, or any fuzzer reports a failure.
#
#   fuzz/run.sh SECONDS [extra libFuzzer options...]
set -euo pipefail

if [[ $# -lt 1 || ! $1 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [libFuzzer options...]" >&2
    exit 2
fi
seconds=$1
shift

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 2

cmake --preset fuzz || exit 1
cmake --build --preset fuzz -j2 || exit 1

shopt -s nullglob
sources=(fuzz/fuzz_*.cpp)
if [[ ${#sources[@]} -eq 0 ]]; then
    echo "no fuzz targets found" >&2
    exit 1
fi

failed=()
for source in "${sources[@]}"; do
    name=$(basename "$source" .cpp)
    binary=build/fuzz/fuzz/$name
    corpus=build/fuzz/corpus/$name
    if [[ ! -x $binary ]]; then
        echo "== $name: binary missing ($binary)" >&2
        failed+=("$name")
        continue
    fi
    mkdir -p "$corpus" build/fuzz/artifacts
    echo "== $name: ${seconds}s"
    if ! "$binary" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="build/fuzz/artifacts/$name-" "$@" "$corpus"; then
        failed+=("$name")
    fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
    echo "fuzzers failed: ${failed[*]}" >&2
    exit 1
fi
echo "all ${#sources[@]} fuzzers ran ${seconds}s without a finding"
