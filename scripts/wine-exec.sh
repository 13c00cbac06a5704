#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine (CTest's cross-compiling
# emulator, the window checks). Wine keeps QT_ variables from Windows
# programs but hands WINEQT_ ones over under their own names, so each QT_
# variable is passed that way. CIPHERBENCH_WINE_DLL_DIRS, Unix folders
# separated by colons, become the Windows loader's extra search path.
set -euo pipefail
source "$(dirname "$0")/common.sh"
for name in $(compgen -e); do
    case "$name" in
    QT_*) export "WINE$name=${!name}" ;;
    esac
done
if [ -n "${CIPHERBENCH_WINE_DLL_DIRS:-}" ]; then
    winepath=
    IFS=: read -ra dirs <<<"$CIPHERBENCH_WINE_DLL_DIRS"
    for dir in "${dirs[@]}"; do
        winepath+="${winepath:+;}Z:${dir//\//\\}"
    done
    export WINEPATH=$winepath
fi
exec "$WINE_DIR/wine64" "$@"
