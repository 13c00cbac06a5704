#!/usr/bin/env bash
# Proves the README's commands on fresh Debian 12 and Debian 13 roots that
# mmdebstrap makes (scripts/root.sh --fresh; run as root). For each release,
# in one root ./scripts/run.sh must install, build and, under xvfb-run, open
# the window; in a second, ./scripts/test.sh must pass; in a third, from a
# folder whose path has spaces and Chinese characters and under the POSIX
# locale a container starts with, ./scripts/package.sh must build the
# package. Each is the first thing run in its root, on a clean clone of
# this repository's HEAD commit. The packages the test commands made (.deb,
# .buildinfo, .changes, source package) are copied out to build/package/.
#
#   scripts/check-clean-machine.sh          Debian 12, then Debian 13
#   scripts/check-clean-machine.sh 13       one release
#
# A fresh root has no display, so the run command is first run as a user
# without one would: it must install, build and end with its one-sentence
# xvfb-run hint; then it is run under xvfb-run as the hint says. The window
# must appear within RUN_WINDOW_SECONDS.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

RUN_WINDOW_SECONDS=${RUN_WINDOW_SECONDS:-300}

# Inside a root's hook: CIPHERBENCH_ROOT is the root, the clone is in
# /root/cipherbench.
if [ "${1:-}" = --in-root ]; then
    root=$CIPHERBENCH_ROOT
    # in_root DIR COMMAND: the shell COMMAND as root in DIR of the root, with
    # a plain login environment.
    in_root() {
        chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb "${locale[@]}" \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            /bin/bash -c "cd \"\$1\" || exit 1; $2" bash "$1"
    }
    locale=(LANG=C.UTF-8)
    # Only the lines that tell how a long command is getting on; the whole
    # output stays in the log, whose end is shown when the command fails.
    progress() {
        grep --line-buffered -E '^(== |Installing missing|[0-9]+% tests passed|Total Test time|Done: )' || true
    }
    release=$3 log=build/clean-root-$2-deb$3.log
    mkdir -p build
    case $2 in
    run)
        step "run command: ./scripts/run.sh, the first thing run in a fresh root, which has no display"
        status=0 started=$SECONDS
        in_root /root/cipherbench ./scripts/run.sh 2>&1 | tee "$log" | progress || status=${PIPESTATUS[0]}
        hint=$(tail -n 1 "$log")
        if [ "$status" -eq 0 ] || [[ $hint != *"xvfb-run -a ./scripts/run.sh"* ]] || grep -q 'qt.qpa' "$log"; then
            tail -n 40 "$log"
            echo "run.sh did not end with its xvfb-run hint (exit $status)" >&2
            exit 1
        fi
        echo "installed and built in $((SECONDS - started)) s, then said: $hint"
        step "run command under xvfb-run, as the hint says"
        # A display number nobody uses: the root shares this machine's
        # network, so its X server listens on the same abstract sockets.
        for display in $(seq 70 199); do
            [ -e "/tmp/.X$display-lock" ] || grep -q "@/tmp/.X11-unix/X$display\$" /proc/net/unix || break
        done
        in_root /root/cipherbench "xvfb-run -n $display -f /tmp/check.xauth \
            -s '-screen 0 1024x768x24 -nolisten tcp' ./scripts/run.sh" >"$log.window" 2>&1 &
        runner=$! started=$SECONDS
        # The root's X server, reached from here through its socket and the
        # cookie xvfb-run writes into the root.
        export DISPLAY=:$display XAUTHORITY=$root/tmp/check.xauth
        window=$(find_window "$RUN_WINDOW_SECONDS" "$runner")
        if [ -z "$window" ]; then
            tail -n 60 "$log.window"
            echo "no window titled \"$WINDOW_TITLE\" appeared in $((SECONDS - started)) s" >&2
            exit 1
        fi
        echo "the window \"$WINDOW_TITLE\" is shown ($((SECONDS - started)) s after the start)"
        sleep 1 # let the first paint finish
        save_window root "build/clean-root-window-deb$release.png" &&
            echo "screenshot: build/clean-root-window-deb$release.png"
        echo "closing it (SIGTERM to cipherbench)"
        # The root's own /proc: its process numbers are those of the
        # namespace this runs in, which this machine's /proc does not give.
        for pid in "$root"/proc/[0-9]*; do
            [ "$(cat "$pid/comm" 2>/dev/null)" = cipherbench ] && kill "${pid##*/}" 2>/dev/null
        done
        ends_within 30 "$runner" || {
            echo "the program was still running 30 s after it was asked to end" >&2
            exit 1
        }
        wait "$runner" || true
        ;;
    test)
        step "test command: ./scripts/test.sh, the first thing run in a fresh root"
        status=0 started=$SECONDS
        in_root /root/cipherbench ./scripts/test.sh 2>&1 | tee "$log" | progress || status=${PIPESTATUS[0]}
        if [ "$status" -ne 0 ]; then
            tail -n 80 "$log"
            echo "test.sh failed (exit $status) after $((SECONDS - started)) s" >&2
            exit 1
        fi
        echo "test.sh passed in $((SECONDS - started)) s"
        # The package it made and checked is the one CI then checks with
        # piuparts and autopkgtest: there is no need to build it twice.
        mkdir -p build/package
        cp "$root"/root/cipherbench/build/package/* build/package/
        echo "its package: $(cd build/package && echo cipherbench_*+deb"$release"_*.deb)"
        ;;
    package)
        folder="/root/我的 项目/cipher bench"
        step "package command in \"$folder\", under the POSIX locale, the first thing run in a fresh root"
        mkdir -p "$root${folder%/*}" && mv "$root/root/cipherbench" "$root$folder"
        locale=()
        if ! in_root "$folder" ./scripts/package.sh >"$log" 2>&1; then
            tail -n 40 "$log"
            echo "package.sh failed in \"$folder\" under the POSIX locale" >&2
            exit 1
        fi
        echo "built: $(tail -n 1 "$log")"
        ;;
    esac
    exit 0
fi

releases=("$@")
[ ${#releases[@]} -gt 0 ] || releases=("${DEBIAN_RELEASES[@]}")
if [ "$(id -u)" -ne 0 ]; then
    echo "$0 makes Debian roots and must run as root." >&2
    exit 1
fi
ensure_packages xdotool imagemagick
passed=() failed=()
rm -rf build/package
for release in "${releases[@]}"; do
    for command in run test package; do
        if scripts/root.sh --release "$release" --fresh scripts/check-clean-machine.sh --in-root "$command" "$release"; then
            passed+=("$command.sh@$release")
        else
            failed+=("$command.sh@$release")
        fi
    done
done
echo
echo "fresh Debian ${releases[*]} roots:${passed[*]:+ passed ${passed[*]}}${failed[*]:+; FAILED ${failed[*]}}"
[ ${#failed[@]} -eq 0 ]
