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
# Every file of the folder is listed, with its licence, in its
# THIRD-PARTY-NOTICES.txt; the Qt files must be made with the versions
# packaging/windows/qt-build-record.txt lists and match its hashes.
#
#   scripts/windows.sh            all of it
#   WINDOWS_SKIP_WINDOW=1 ...     without the window checks
#   scripts/windows.sh --release  only the zip and the installer, from a
#                                 fresh build of the program alone in
#                                 build/windows-release (release.sh)
#   WINDOWS_WRITE_QT_RECORD=1 ... writes the Qt record from this build
#   scripts/windows.sh --prepare  only the packages and the cache (Qt and
#                                 OpenSSL), for a later run to find
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
source scripts/windows-deps.sh
# Qt 6.8 is cross-built with its own version's host tools, which Debian 13
# has: all of this runs in a fresh Debian 13 root (root.sh), on whatever
# machine, with the same tools for everyone. The root has everything the
# build and the release's assembly ask for, so that nothing needs
# installing inside.
if [ "${CIPHERBENCH_IN_ROOT:-0}" != 1 ]; then
    exec scripts/root.sh --release 13 --include "$(windows_root_packages)" scripts/windows.sh "$@"
fi

RELEASE=0
[ "${1:-}" = --release ] && RELEASE=1
PREPARE=0
[ "${1:-}" = --prepare ] && PREPARE=1
PRESET=windows
[ "$RELEASE" = 1 ] && PRESET=windows-release
OUT=build/$PRESET
QT_RECORD=packaging/windows/qt-build-record.txt
# The Debian packages whose versions decide the bytes of the Qt we build.
QT_TOOL_PACKAGES=(qt6-base-dev-tools g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev cmake ninja-build libwine-dev dpkg-dev)
cross_build() {
    if [ "$RELEASE" = 1 ]; then
        step "building Cipherbench for Windows afresh"
        # Nothing generated for another commit may stay (rcc's output
        # carries SOURCE_DATE_EPOCH, and would not be made again).
        rm -rf "$OUT"
    else
        step "cross-building Cipherbench and its tests"
    fi
    # The PE linker orders a program's imports by the paths of the import
    # libraries, so where the Qt cache lies would decide the bytes of
    # cipherbench.exe. Reached through the build folder, Qt's libraries are
    # named relative to it, the same in every build.
    mkdir -p "$OUT" && ln -sfn "$WINDOWS_QT" "$OUT/qt" || return 1
    export CIPHERBENCH_WINDOWS_QT=$PWD/$OUT/qt CIPHERBENCH_WINDOWS_OPENSSL=${WINDOWS_OPENSSL:-}
    cmake --preset "$PRESET" >"$OUT.configure.log" 2>&1 || {
        cat "$OUT.configure.log"
        return 1
    }
    cmake --build --preset "$PRESET"
}

# Every suite under Wine on the offscreen platform; QtTest's own totals
# (functions and data rows) are added up over all of them. The AES rounds
# and the DES batches must be chosen as on Linux: the processor's
# instructions where it has them, the portable ones where they are forced.
run_tests() {
    step "tests under Wine"
    local prefix=$PWD/$OUT/wineprefix
    WINEPREFIX=$prefix WINEDEBUG=-all wine64 wineboot --init >"$OUT/wineboot.log" 2>&1 || {
        cat "$OUT/wineboot.log" >&2
        echo "Wine could not make its prefix $prefix" >&2
        return 1
    }
    # Debian's Wine says it is Windows 7 unless told otherwise; Qt 6 and the
    # program's users run Windows 10 or later, whose APIs the tests expect.
    WINEPREFIX=$prefix WINEDEBUG=-all wine64 reg add 'HKCU\Software\Wine' \
        /v Version /t REG_SZ /d win10 /f >/dev/null 2>&1 || {
        echo "could not tell Wine to be Windows 10 in $prefix" >&2
        return 1
    }
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
    expected="64-bit words"
    grep -qw avx2 /proc/cpuinfo && expected="AVX2 vectors"
    if ! grep -q "DES batches of this run: $expected" "$log" ||
        ! grep -q "DES batches of this run: 64-bit words" "$log"; then
        echo "the DES batches in use under Wine are not the ones this processor calls for ($expected)" >&2
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

# Fails unless the folder's DLLs are exactly those its programs load.
check_folder_dlls() {
    local folder=$1
    shift
    # objdump's words and sort's order are the C locale's whatever the build's.
    local -x LC_ALL=C
    local shipped needed missing unused
    shipped=$(find "$folder" -maxdepth 1 -name '*.dll' -printf '%f\n' | tr '[:upper:]' '[:lower:]' | sort)
    needed=$(imported_dlls "$folder" "$@")
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
}

# The time a PE file's header carries.
pe_time() {
    local header
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tu4 -j$((header + 8)) -N4 "$1" | tr -d ' '
}

# strip writes SOURCE_DATE_EPOCH, or else the clock, into the PE header
# (with a checksum made over it): each file keeps the time it was linked
# with, ours the commit's, Qt's its source's, MinGW's Debian's.
strip_pe() {
    local file
    for file in "$@"; do
        SOURCE_DATE_EPOCH=$(pe_time "$file") "$MINGW-strip" --strip-unneeded "$file" || return 1
    done
}

# The record of the Qt files this build ships: the versions that made them,
# then their hashes.
qt_record_now() {
    local package
    echo "source qt6-base $WINDOWS_QT_VERSION"
    for package in "${QT_TOOL_PACKAGES[@]}"; do
        echo "tool $package $(package_version "$package")"
    done
    (cd "$STAGE" && sha256sum Qt6*.dll platforms/*.dll styles/*.dll)
}

# The Qt built here against the recorded one: with the recorded versions
# the files must be the recorded ones; with others they cannot be compared.
check_qt_record() {
    local now versions_now versions_then
    now=$(qt_record_now) || return 1
    if [ "${WINDOWS_WRITE_QT_RECORD:-0}" = 1 ]; then
        {
            echo "# Qt for Windows as scripts/windows-deps.sh builds it from Debian's source and"
            echo "# windows.sh strips it: the Debian versions of the source and of the tools"
            echo "# that made it, then the SHA-256 of each file shipped. Written with"
            echo "# WINDOWS_WRITE_QT_RECORD=1 scripts/windows.sh; every build compares itself."
            echo "$now"
        } >"$QT_RECORD"
        echo "wrote $QT_RECORD"
        return 0
    fi
    [ -f "$QT_RECORD" ] || {
        echo "$QT_RECORD is missing" >&2
        return 1
    }
    versions_now=$(echo "$now" | grep -E '^(source|tool) ')
    versions_then=$(grep -E '^(source|tool) ' "$QT_RECORD")
    # Other versions make other bytes, and the record is what the release's
    # Qt is checked against: a build with them is refused rather than let
    # through unchecked. Recording anew is a decision, taken by asking.
    if [ "$versions_now" != "$versions_then" ]; then
        echo "Qt was built with other versions than $QT_RECORD lists, so its files cannot be checked:" >&2
        diff <(echo "$versions_then") <(echo "$versions_now") |
            sed -n 's/^</  recorded:/p; s/^>/  here:    /p' >&2
        echo "To make these the recorded ones: WINDOWS_WRITE_QT_RECORD=1 scripts/windows.sh" >&2
        return 1
    fi
    if ! diff <(grep -v -E '^(#|source |tool )' "$QT_RECORD") <(echo "$now" | grep -v -E '^(source|tool) '); then
        echo "Qt's files differ from $QT_RECORD although the versions that made them are the recorded ones" >&2
        return 1
    fi
    echo "Qt's $(echo "$now" | grep -c -v -E '^(source|tool) ') files are the recorded ones, byte for byte"
}

# The notices: every file of the folder, its component and licence, made
# from Qt's attribution files and Debian's copyright files.
make_notices() {
    /usr/bin/python3 scripts/notices.py make --stage "$STAGE" --origins "$OUT/windows-origins.txt" \
        --qt-notices "$WINDOWS_QT_NOTICES" --qt-prefix "$CIPHERBENCH_WINDOWS_QT" \
        --qt-version "$WINDOWS_QT_VERSION" --version "$(version)" --commit "$SOURCE_COMMIT" \
        --homepage "$(sed -n 's/^CMAKE_PROJECT_HOMEPAGE_URL:STATIC=//p' "$OUT/CMakeCache.txt")" \
        --license LICENSE --components "$OUT/components.json" || return 1
    echo "THIRD-PARTY-NOTICES.txt: $(stat -c %s "$STAGE/THIRD-PARTY-NOTICES.txt") bytes, every file listed"
}

# The portable folder: installed, stripped, its DLLs checked against what
# the program and its plugins import, its licences written; then zipped
# with every entry in one order, one time and one mode.
make_portable() {
    step "the portable folder"
    PORTABLE_NAME=cipherbench-$(version)-windows-x64
    STAGE=$OUT/stage/$PORTABLE_NAME
    rm -rf "$OUT/stage"
    cmake --install "$OUT" --prefix "$STAGE" >/dev/null || return 1
    local pe
    mapfile -t pe < <(find "$STAGE" \( -name '*.dll' -o -name '*.exe' \) | LC_ALL=C sort)
    strip_pe "${pe[@]}" || return 1
    check_qt_record || return 1

    check_folder_dlls "$STAGE" "$STAGE/cipherbench.exe" "$STAGE"/platforms/*.dll "$STAGE"/styles/*.dll || return 1
    make_notices || return 1

    find "$STAGE" -type d -exec chmod 0755 {} + &&
        find "$STAGE" -type f -exec chmod 0644 {} + &&
        find "$STAGE" -type f \( -name '*.exe' -o -name '*.dll' \) -exec chmod 0755 {} + &&
        find "$OUT/stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} + || return 1
    ZIP=$OUT/$PORTABLE_NAME.zip
    rm -f "$ZIP"
    # zip keeps local time: UTC makes it the same everywhere.
    (cd "$OUT/stage" && find "$PORTABLE_NAME" | LC_ALL=C sort |
        TZ=UTC zip -q -X -@ "../$PORTABLE_NAME.zip") || return 1
    local licence
    for licence in LICENSE.txt THIRD-PARTY-NOTICES.txt; do
        unzip -Z1 "$ZIP" | grep -xF "$PORTABLE_NAME/$licence" >/dev/null || {
            echo "$ZIP lacks $licence" >&2
            return 1
        }
    done
    echo "$ZIP: $(stat -c %s "$ZIP") bytes, with LICENSE.txt and THIRD-PARTY-NOTICES.txt"
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
        find . -type d | LC_ALL=C sort | while read -r dir; do
            dir=${dir#.}
            printf 'SetOutPath "$INSTDIR%s"\n' "${dir//\//\\}"
            find ".$dir" -maxdepth 1 -type f | LC_ALL=C sort | while read -r file; do
                printf 'File "%s"\n' "$PWD/${file#./}"
            done
        done
    ) >"$lists/files.nsh" || return 1
    # shellcheck disable=SC2016
    (
        cd "$STAGE" || exit 1
        find . -type f | LC_ALL=C sort | while read -r file; do
            file=${file#.}
            printf 'Delete "$INSTDIR%s"\n' "${file//\//\\}"
        done
        find . -mindepth 1 -type d | LC_ALL=C sort -r | while read -r dir; do
            dir=${dir#.}
            printf 'RMDir "$INSTDIR%s"\n' "${dir//\//\\}"
        done
    ) >"$lists/unfiles.nsh" || return 1

    SETUP=$OUT/$PORTABLE_NAME-setup.exe
    local size_kb homepage
    # From the files' own sizes: the blocks a file system gives them vary.
    size_kb=$(find "$STAGE" -type f -printf '%s\n' | awk '{ s += $1 } END { print int((s + 1023) / 1024) }')
    homepage=$(sed -n 's/^CMAKE_PROJECT_HOMEPAGE_URL:STATIC=//p' "$OUT/CMakeCache.txt")
    makensis -V2 -INPUTCHARSET UTF8 \
        "-DVERSION=$(version)" "-DOUTFILE=$PWD/$SETUP" "-DICON=$PWD/$OUT/app/cipherbench.ico" \
        "-DFILES=$PWD/$lists/files.nsh" "-DUNFILES=$PWD/$lists/unfiles.nsh" \
        "-DSIZE_KB=$size_kb" "-DHOMEPAGE=$homepage" packaging/windows/installer.nsi || return 1
    echo "$SETUP: $(stat -c %s "$SETUP") bytes"
}

# The versions of what made the files, for the release's build record.
built_with() {
    local package
    echo "system $(. /etc/os-release && echo "$PRETTY_NAME")"
    for package in cmake ninja-build dpkg-dev python3 g++-mingw-w64-x86-64-posix \
        gcc-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix-runtime binutils-mingw-w64-x86-64 \
        mingw-w64-x86-64-dev qt6-base-dev-tools qt6-translations-l10n libwine-dev imagemagick zip; do
        echo "tool $package $(package_version "$package")"
    done
    echo "installer nsis $(package_version nsis)"
}

checksums() {
    (cd "$OUT" && sha256sum "$(basename "$ZIP")" "$(basename "$SETUP")" >SHA256SUMS) || return 1
    cat "$OUT/SHA256SUMS"
}

ensure_packages "${WINDOWS_PACKAGES[@]}"
export_source_date || exit 1
mkdir -p "$OUT"
if [ "$RELEASE" = 1 ]; then
    step "Qt for Windows (built once, then taken from $WINDOWS_CACHE)"
    timed "Qt" ensure_windows_deps qt-only || exit 1
else
    step "Qt and OpenSSL for Windows (built once, then taken from $WINDOWS_CACHE)"
    timed "Qt and OpenSSL" ensure_windows_deps || exit 1
    echo "OpenSSL: $WINDOWS_OPENSSL"
fi
echo "Qt: $WINDOWS_QT (qt6-base $WINDOWS_QT_VERSION)"
if [ "$PREPARE" = 1 ]; then
    print_timings
    exit 0
fi
timed "cross-build" cross_build || exit 1
[ "$RELEASE" = 1 ] || timed "tests under Wine" run_tests || exit 1
timed "portable zip" make_portable || exit 1
timed "installer" make_installer || exit 1
checksums || exit 1
built_with >"$OUT/built-with.txt" || exit 1
if [ "$RELEASE" = 0 ] && [ "${WINDOWS_SKIP_WINDOW:-0}" != 1 ]; then
    source scripts/windows-check.sh
    timed "window checks under Wine" check_windows_window "$OUT" "$ZIP" "$SETUP" "$PORTABLE_NAME" || exit 1
fi

step "made"
printf '  %s\n' "$PWD/$ZIP" "$PWD/$SETUP" "$PWD/$OUT/SHA256SUMS"
print_timings
