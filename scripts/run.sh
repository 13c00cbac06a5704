#!/usr/bin/env bash
# Builds Cipherbench (installing what is missing) and starts it. Only the
# program is built, in build/release: none of the tests, benchmarks or
# fuzzers, and none of the packages only they need.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

ensure_packages "${BUILD_PACKAGES[@]}" xvfb xauth
ensure_configured release
cmake --build --preset release --target cipherbench >/dev/null || {
    cmake --build --preset release --target cipherbench
    exit 1
}

display_reachable() {
    [ -n "${QT_QPA_PLATFORM:-}" ] && return 0
    if [ -n "${WAYLAND_DISPLAY:-}" ]; then
        [ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/$WAYLAND_DISPLAY" ] && return 0
    fi
    if [ -n "${DISPLAY:-}" ]; then
        case "$DISPLAY" in
        :*) # a local X server listens on its socket
            local n=${DISPLAY#:}
            n=${n%%.*}
            [ -S "/tmp/.X11-unix/X$n" ] && return 0 ;;
        *) return 0 ;; # a remote display: let Qt try it
        esac
    fi
    return 1
}

if ! display_reachable; then
    echo "No graphical display is reachable from here, so the window cannot open; start it under a virtual display with: xvfb-run -a $0" >&2
    exit 1
fi
exec build/release/app/cipherbench "$@"
