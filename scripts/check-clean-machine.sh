#!/usr/bin/env bash
# Proves the README's two commands on fresh minimal Debian 12 roots (run as
# root): in one root, ./scripts/run.sh must install, build and, under
# xvfb-run, open the window; in a second, ./scripts/test.sh must pass. Each
# is the first thing run in its root, on a clean clone of this repository's
# HEAD commit. The package the test command made is copied out to
# build/package/.
#
#   scripts/check-clean-machine.sh
#
# A fresh root has no display, so the run command is first run as a user
# without one would: it must install, build and end with its one-sentence
# xvfb-run hint; then it is run under xvfb-run as the hint says. The window
# must appear within RUN_WINDOW_SECONDS. The base root is cached under
# ~/.cache/cipherbench/cleanroot; CLEANROOT_REFRESH=1 makes it anew.
set -u
cd "$(dirname "$0")/.." || exit 1
source scripts/common.sh
source scripts/cleanroot.sh

RUN_WINDOW_SECONDS=${RUN_WINDOW_SECONDS:-300}

passed=()
failed=()
verdict() {
    local line="clean Debian 12 roots:"
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
    cleanroot_new run
    local log=$CLEANROOT_WORK/run-first.log started=$SECONDS
    step "run command: ./scripts/run.sh, the first thing run in the root, which has no display"
    cleanroot_run run ./scripts/run.sh 2>&1 | tee "$log" | progress
    local status=${PIPESTATUS[0]} hint
    hint=$(tail -n 1 "$log")
    if [ "$status" -eq 0 ] || [[ $hint != *"xvfb-run -a ./scripts/run.sh"* ]] || grep -q 'qt.qpa' "$log"; then
        tail -n 40 "$log"
        echo "run.sh did not end with its xvfb-run hint (exit $status)" >&2
        return 1
    fi
    echo "installed and built in $((SECONDS - started)) s, then said: $hint"
    step "run command under xvfb-run, as the hint says"
    started=$SECONDS
    cleanroot_show_window run ./scripts/run.sh 加解密工具 cipherbench "$RUN_WINDOW_SECONDS" || return 1
}

check_test_command() {
    cleanroot_new test
    step "test command: ./scripts/test.sh, the first thing run in a second root"
    local log=$CLEANROOT_WORK/test.log started=$SECONDS
    cleanroot_run test ./scripts/test.sh 2>&1 | tee "$log" | progress
    local status=${PIPESTATUS[0]}
    if [ "$status" -ne 0 ]; then
        tail -n 80 "$log"
        echo "test.sh failed (exit $status) after $((SECONDS - started)) s" >&2
        return 1
    fi
    echo "test.sh passed in $((SECONDS - started)) s"
    # The package it made and checked is the one CI then installs on a
    # clean root (check-package.sh): there is no need to build it twice.
    mkdir -p build/package
    cp "$CLEANROOT_WORK"/test/root/cipherbench/build/package/cipherbench_*.deb build/package/ &&
        echo "its package: $(ls build/package/cipherbench_*.deb)"
}

# shellcheck disable=SC2119 # no extra packages for these roots
cleanroot_init
if check_run_command; then passed+=(run.sh); else failed+=(run.sh); fi
if check_test_command; then passed+=(test.sh); else failed+=(test.sh); fi
[ ${#failed[@]} -eq 0 ]
