#!/usr/bin/env bash
# Cipherbench for 64-bit Windows, cross-built on Debian (installing what is
# missing): Qt and OpenSSL are built once from Debian's own source packages
# into ~/.cache/cipherbench/windows; then the program and its tests are
# cross-built, the tests run under Wine, and build/windows/ receives
#   cipherbench-<version>-windows-x64.zip        the portable folder
#   cipherbench-<version>-windows-x64-setup.exe  the installer (NSIS)
#   SHA256SUMS
# Last, the real window is started under Wine on Xvfb, from the unpacked zip
# and from a silent install, and the silent uninstall must leave nothing.
#
#   scripts/windows.sh            all of it
#   WINDOWS_SKIP_WINDOW=1 ...     without the window checks
set -u
cd "$(dirname "$0")/.." || exit 1
source scripts/common.sh
source scripts/windows-deps.sh

OUT=build/windows
timings=()
timed() {
    local name=$1 started=$SECONDS
    shift
    "$@" || return 1
    timings+=("$name: $((SECONDS - started)) s")
}

step() { printf '\n== %s\n' "$*"; }

cross_build() {
    step "cross-building Cipherbench and its tests"
    export CIPHERBENCH_WINDOWS_QT=$WINDOWS_QT CIPHERBENCH_WINDOWS_OPENSSL=$WINDOWS_OPENSSL
    cmake --preset windows >"$OUT.configure.log" 2>&1 || {
        cat "$OUT.configure.log"
        return 1
    }
    cmake --build --preset windows
}

# Every suite under Wine on the offscreen platform; QtTest's own totals
# (functions and data rows) are added up over all of them. The AES rounds
# must be chosen as on Linux: the processor's instructions where it has
# them, the portable rounds where they are forced.
run_tests() {
    step "tests under Wine"
    WINEPREFIX=$PWD/$OUT/wineprefix WINEDEBUG=-all /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
    local log=$OUT/tests.log status=0
    ctest --preset windows --verbose >"$log" 2>&1 || status=$?
    grep -E '^([0-9]+: )?(Totals:|FAIL!)|tests passed|Total Test time|Test +#.*\*\*\*' "$log" || true
    local passed failed crashed
    read -r passed failed < <(sed -n 's/.*Totals: \([0-9]*\) passed, \([0-9]*\) failed.*/\1 \2/p' "$log" |
        awk '{ p += $1; f += $2 } END { print p + 0, f + 0 }')
    # A suite that crashed or hung never printed its totals: it counts as
    # one failure more, beside what it reported before.
    local number
    crashed=0
    while read -r number; do
        grep -q "^$number: Totals:" "$log" || crashed=$((crashed + 1))
    done < <(sed -n 's/^ *[0-9]*\/[0-9]* Test *#\([0-9]*\): .*\*\*\*.*/\1/p' "$log")
    failed=$((failed + crashed))
    local expected="constant-time portable"
    grep -qw aes /proc/cpuinfo && expected="AES instructions"
    if ! grep -q "AES rounds of this run: $expected" "$log" ||
        ! grep -q "AES rounds of this run: constant-time portable" "$log"; then
        echo "the AES rounds in use under Wine are not the ones this processor calls for ($expected)" >&2
        status=1
    fi
    echo "windows: $passed passed, $failed failed"
    [ "$status" -eq 0 ] && [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}

version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$OUT/CMakeCache.txt"; }

# The DLLs a set of Windows programs load, by name, lower case, following
# the ones found in the folder; Windows' own are left out.
imported_dlls() {
    local folder=$1
    shift
    local -A seen=()
    local queue=("$@") file dll
    while [ ${#queue[@]} -gt 0 ]; do
        file=${queue[0]}
        queue=("${queue[@]:1}")
        while read -r dll; do
            dll=${dll,,}
            [ -n "${seen[$dll]:-}" ] && continue
            seen[$dll]=1
            [ -f "$folder/$dll" ] && queue+=("$folder/$dll")
        done < <("$MINGW-objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
    done
    printf '%s\n' "${!seen[@]}" | sort
}

# The portable folder: installed, stripped, its DLLs checked against what
# the program and its plugins import, then zipped.
make_portable() {
    step "the portable folder"
    PORTABLE_NAME=cipherbench-$(version)-windows-x64
    STAGE=$OUT/stage/$PORTABLE_NAME
    rm -rf "$OUT/stage"
    cmake --install "$OUT" --prefix "$STAGE" >/dev/null || return 1
    find "$STAGE" \( -name '*.dll' -o -name '*.exe' \) -exec "$MINGW-strip" --strip-unneeded {} + || return 1

    local programs=("$STAGE/cipherbench.exe" "$STAGE"/platforms/*.dll "$STAGE"/styles/*.dll)
    local shipped needed missing unused
    shipped=$(find "$STAGE" -maxdepth 1 -name '*.dll' -printf '%f\n' | tr '[:upper:]' '[:lower:]' | sort)
    needed=$(imported_dlls "$STAGE" "${programs[@]}")
    # Missing: imported, not shipped, and not one of Windows' own (which
    # the cross-compiler's import libraries name, or an API set that
    # Windows resolves itself).
    missing=$(comm -13 <(echo "$shipped") <(echo "$needed") | while read -r dll; do
        case $dll in api-ms-win-* | ext-ms-win-*) continue ;; esac
        [ -e "/usr/$MINGW/lib/lib${dll%.dll}.a" ] || echo "$dll"
    done)
    unused=$(comm -23 <(echo "$shipped") <(echo "$needed"))
    if [ -n "$missing" ] || [ -n "$unused" ]; then
        echo "the folder's DLLs differ from what its programs load: missing: ${missing:-none}; unused: ${unused:-none}" >&2
        return 1
    fi
    echo "$(echo "$shipped" | wc -l) DLLs beside cipherbench.exe, each one loaded: $(echo "$shipped" | tr '\n' ' ')"

    ZIP=$OUT/$PORTABLE_NAME.zip
    rm -f "$ZIP"
    (cd "$OUT/stage" && zip -qr -X "../$PORTABLE_NAME.zip" "$PORTABLE_NAME") || return 1
    echo "$ZIP: $(stat -c %s "$ZIP") bytes"
}

# The installer installs exactly the portable folder's files, and its
# uninstaller deletes exactly those.
make_installer() {
    step "the installer"
    local lists=$OUT/nsis file dir
    rm -rf "$lists"
    mkdir -p "$lists"
    # shellcheck disable=SC2016 # $INSTDIR is NSIS's, not the shell's
    (
        cd "$STAGE" || exit 1
        find . -type d | sort | while read -r dir; do
            dir=${dir#.}
            printf 'SetOutPath "$INSTDIR%s"\n' "${dir//\//\\}"
            find ".$dir" -maxdepth 1 -type f | sort | while read -r file; do
                printf 'File "%s"\n' "$PWD/${file#./}"
            done
        done
    ) >"$lists/files.nsh" || return 1
    # shellcheck disable=SC2016
    (
        cd "$STAGE" || exit 1
        find . -type f | sort | while read -r file; do
            file=${file#.}
            printf 'Delete "$INSTDIR%s"\n' "${file//\//\\}"
        done
        find . -mindepth 1 -type d | sort -r | while read -r dir; do
            dir=${dir#.}
            printf 'RMDir "$INSTDIR%s"\n' "${dir//\//\\}"
        done
    ) >"$lists/unfiles.nsh" || return 1

    SETUP=$OUT/$PORTABLE_NAME-setup.exe
    local size_kb homepage
    size_kb=$(du -sk "$STAGE" | cut -f1)
    homepage=$(sed -n 's/^CMAKE_PROJECT_HOMEPAGE_URL:STATIC=//p' "$OUT/CMakeCache.txt")
    makensis -V2 -INPUTCHARSET UTF8 \
        "-DVERSION=$(version)" "-DOUTFILE=$PWD/$SETUP" "-DICON=$PWD/$OUT/app/cipherbench.ico" \
        "-DFILES=$PWD/$lists/files.nsh" "-DUNFILES=$PWD/$lists/unfiles.nsh" \
        "-DSIZE_KB=$size_kb" "-DHOMEPAGE=$homepage" packaging/windows/installer.nsi || return 1
    echo "$SETUP: $(stat -c %s "$SETUP") bytes"
}

checksums() {
    (cd "$OUT" && sha256sum "$(basename "$ZIP")" "$(basename "$SETUP")" >SHA256SUMS) || return 1
    cat "$OUT/SHA256SUMS"
}

ensure_packages "${WINDOWS_PACKAGES[@]}"
mkdir -p "$OUT"
step "Qt and OpenSSL for Windows (built once, then taken from $WINDOWS_CACHE)"
timed "Qt and OpenSSL" ensure_windows_deps || exit 1
echo "Qt: $WINDOWS_QT"
echo "OpenSSL: $WINDOWS_OPENSSL"
timed "cross-build" cross_build || exit 1
timed "tests under Wine" run_tests || exit 1
timed "portable zip" make_portable || exit 1
timed "installer" make_installer || exit 1
checksums || exit 1
if [ "${WINDOWS_SKIP_WINDOW:-0}" != 1 ]; then
    source scripts/windows-check.sh
    timed "window checks under Wine" check_windows_window || exit 1
fi

step "made"
printf '  %s\n' "$PWD/$ZIP" "$PWD/$SETUP" "$PWD/$OUT/SHA256SUMS"
printf '  %s\n' "${timings[@]}"
