# Shared by run.sh and test.sh: install what is missing, then configure once.
# shellcheck shell=bash

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1

# Packages everyone needs to build and show the window: compiler and build
# tools, Qt 6 base (Core, Gui, Widgets, Test, moc/uic/rcc; the xcb platform
# plugin ships in libqt6gui6), a CJK font so the Chinese interface renders,
# and Qt's own translations so its dialogs and menus speak Chinese too.
# shellcheck disable=SC2034 # used by the scripts that source this one
BUILD_PACKAGES=(g++ cmake ninja-build qt6-base-dev qt6-base-dev-tools libqt6gui6 fonts-noto-cjk
    qt6-translations-l10n)

ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local install=(apt-get install -y --no-install-recommends "${missing[@]}")
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "Missing Debian packages. Install them as root, then run this again:" >&2
            echo "  apt-get update && ${install[*]}" >&2
            exit 1
        fi
    fi
    echo "Installing missing packages: ${missing[*]}"
    if ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
        ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${install[@]}"; then
        echo "Could not install: ${missing[*]}" >&2
        exit 1
    fi
}

# Configure a preset only when its build directory has not been set up yet;
# later builds re-run CMake by themselves when a CMake file changes.
ensure_configured() {
    local preset=$1
    if [ ! -f "build/$preset/build.ninja" ]; then
        cmake --preset "$preset" >/dev/null || exit 1
    fi
}
