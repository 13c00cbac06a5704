#!/usr/bin/env bash
# Proves the README's two commands on fresh minimal Debian 12 and Debian 13
# roots (run as root): for each release, in one root ./scripts/run.sh must
# install, build and, under xvfb-run, open the window; in a second,
# ./scripts/test.sh must pass. Each is the first thing run in its root, on a
# clean clone of this repository's HEAD commit. The package each test
# command made is copied out to build/package/.
#
#   scripts/check-clean-machine.sh          Debian 12, then Debian 13
#   scripts/check-clean-machine.sh 13       one release
#
# A fresh root has no display, so the run command is first run as a user
# without one would: it must install, build and end with its one-sentence
# xvfb-run hint; then it is run under xvfb-run as the hint says. The window
# must appear within RUN_WINDOW_SECONDS. The base roots are cached under
# ~/.cache/cipherbench/cleanroot; CLEANROOT_REFRESH=1 makes them anew.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
source scripts/cleanroot.sh

RUN_WINDOW_SECONDS=${RUN_WINDOW_SECONDS:-300}
releases=("$@")
[ ${#releases[@]} -gt 0 ] || releases=("${DEBIAN_RELEASES[@]}")

passed=()
failed=()
verdict() {
    local line="clean Debian ${releases[*]} roots:"
    [ ${#passed[@]} -gt 0 ] && line+=" passed ${passed[*]}"
    [ ${#passed[@]} -gt 0 ] && [ ${#failed[@]} -gt 0 ] && line+=";"
    [ ${#failed[@]} -gt 0 ] && line+=" FAILED ${failed[*]}"
    [ "$1" -ne 0 ] && [ ${#failed[@]} -eq 0 ] && line+=" (stopped early, exit $1)"
    echo
    echo "$line"
}
CLEANROOT_FINAL=verdict

# Only the lines that tell how a long command is getting on; the whole output
# stays in the log, whose end is shown when the command fails.
progress() {
    grep --line-buffered -E '^(== |Installing missing|[0-9]+% tests passed|Total Test time|Done: )' || true
}

check_run_command() {
    local release=$1 name=run-$1
    cleanroot_new "$name" "$release"
    local log=$CLEANROOT_WORK/$name-first.log started=$SECONDS
    step "run command: ./scripts/run.sh, the first thing run in the Debian $release root, which has no display"
    local status=0 hint
    cleanroot_run "$name" ./scripts/run.sh 2>&1 | tee "$log" | progress || status=${PIPESTATUS[0]}
    hint=$(tail -n 1 "$log")
    if [ "$status" -eq 0 ] || [[ $hint != *"xvfb-run -a ./scripts/run.sh"* ]] || grep -q 'qt.qpa' "$log"; then
        tail -n 40 "$log"
        echo "run.sh did not end with its xvfb-run hint (exit $status)" >&2
        return 1
    fi
    echo "installed and built in $((SECONDS - started)) s, then said: $hint"
    step "run command under xvfb-run, as the hint says"
    started=$SECONDS
    cleanroot_show_window "$name" ./scripts/run.sh cipherbench "$RUN_WINDOW_SECONDS" || return 1
    # The run root is done with; its disk goes back before the next build.
    cleanroot_remove "$name"
}

check_test_command() {
    local release=$1 name=test-$1
    cleanroot_new "$name" "$release"
    step "test command: ./scripts/test.sh, the first thing run in a second Debian $release root"
    local log=$CLEANROOT_WORK/$name.log started=$SECONDS
    local status=0
    cleanroot_run "$name" ./scripts/test.sh 2>&1 | tee "$log" | progress || status=${PIPESTATUS[0]}
    if [ "$status" -ne 0 ]; then
        tail -n 80 "$log"
        echo "test.sh failed (exit $status) after $((SECONDS - started)) s" >&2
        return 1
    fi
    echo "test.sh passed in $((SECONDS - started)) s"
    # The package it made and checked is the one CI then installs on a
    # clean root (check-package.sh): there is no need to build it twice.
    local made
    made=$(echo "$CLEANROOT_WORK/$name"/root/cipherbench/build/package/cipherbench_*.deb)
    mkdir -p build/package
    cp "$made" "$made.built-with" build/package/ && echo "its package: build/package/${made##*/}"
    cleanroot_remove "$name"
}

# shellcheck disable=SC2119 # no extra packages for these roots
cleanroot_init
rm -f build/package/cipherbench_*.deb
for release in "${releases[@]}"; do
    if check_run_command "$release"; then passed+=("run.sh@$release"); else failed+=("run.sh@$release"); fi
    if check_test_command "$release"; then passed+=("test.sh@$release"); else failed+=("test.sh@$release"); fi
done
[ ${#failed[@]} -eq 0 ]
