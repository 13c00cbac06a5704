# Shared by the scripts, each of which works from the repository's top
# folder: the release and its package names, steps and their durations,
# installing what is missing, configuring a preset, the source date, the
# Wine paths, and finding, saving and waiting out the program's window.
# shellcheck shell=bash

# The Debian release this machine runs, from /etc/os-release: the few
# package names that differ between releases are chosen by it.
#   DEBIAN_RELEASE     12 or 13
#   CLANG_RUNTIME      clang's sanitizer and libFuzzer runtime for its
#                      default clang (versioned in 12, not in 13)
#   GCC_VERSION        the default g++'s major version
#   QT_CORE_PACKAGE    Qt Core's library (renamed for 64-bit time_t in 13)
# shellcheck disable=SC2034 # used by the scripts that source this one
debian_release() {
    local id="" version_id=""
    # shellcheck disable=SC1091
    [ -r /etc/os-release ] && { id=$(. /etc/os-release && echo "${ID:-}")
        version_id=$(. /etc/os-release && echo "${VERSION_ID:-}"); }
    case "$id $version_id" in
    "debian 12") CLANG_RUNTIME=libclang-rt-14-dev GCC_VERSION=12 QT_CORE_PACKAGE=libqt6core6 ;;
    "debian 13") CLANG_RUNTIME=libclang-rt-dev GCC_VERSION=14 QT_CORE_PACKAGE=libqt6core6t64 ;;
    *)
        echo "This is ${id:-an unknown system} ${version_id}; the scripts know Debian 12 and 13." >&2
        return 1 ;;
    esac
    DEBIAN_RELEASE=$version_id
}
debian_release || exit 1
# The releases a Debian package is made for, each on its own release.
DEBIAN_RELEASES=(12 13)
# Their code names, which archives and Debian's tools go by.
declare -A DEBIAN_SUITES=([12]=bookworm [13]=trixie)

# The Debian package's build dependencies, from debian/control, without
# debhelper's (only the package build needs it): the names, one per line.
control_build_depends() {
    sed -n '/^Build-Depends:/,/^[A-Z]/p' debian/control | sed '1s/^Build-Depends://; /^[A-Z]/d' |
        tr ',' '\n' | sed 's/([^)]*)//; s/\[[^]]*\]//; s/<[^>]*>//; s/[[:space:]]//g' |
        grep -v -E '^(debhelper-compat)?$'
}

# Packages everyone needs to build and show the window: a compiler, the
# package's build dependencies (CMake, Ninja, Qt 6 base: Core, Gui, Widgets,
# Test, moc/uic/rcc; the xcb platform plugin ships in libqt6gui6), a CJK font
# so the Chinese interface renders, and Qt's own translations so its dialogs
# and menus speak Chinese too.
mapfile -t BUILD_PACKAGES < <(control_build_depends)
BUILD_PACKAGES=(g++ "${BUILD_PACKAGES[@]}" libqt6gui6 fonts-noto-cjk qt6-translations-l10n)

step() { printf '\n== %s\n' "$*"; }

# timed NAME COMMAND...: runs COMMAND and adds its duration to TIMINGS, as
# "NAME: N s" or, when it fails, with its exit status; returns its status.
TIMINGS=()
timed() {
    local name=$1 started=$SECONDS status=0
    shift
    "$@" || status=$?
    if [ "$status" -eq 0 ]; then
        TIMINGS+=("$name: $((SECONDS - started)) s")
    else
        TIMINGS+=("$name: failed (exit $status) after $((SECONDS - started)) s")
    fi
    return "$status"
}
print_timings() {
    [ ${#TIMINGS[@]} -eq 0 ] || printf '  %s\n' "${TIMINGS[@]}"
}

package_version() { dpkg-query -W -f='${Version}' "$1"; }

ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" != "install ok installed" ]; then
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
    # Our scripts may install at the same time (CI builds Qt for Windows
    # beside the clean-root checks): one waits for the other rather than
    # failing on apt's own lock.
    local lock
    exec {lock}>"${TMPDIR:-/tmp}/cipherbench-apt.lock"
    if ! flock -w 1800 "$lock"; then
        echo "Another install of ours held the lock for 30 minutes; not installing: ${missing[*]}" >&2
        exit 1
    fi
    if ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
        ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${install[@]}"; then
        echo "Could not install: ${missing[*]}" >&2
        exit 1
    fi
    exec {lock}>&-
}

# Configures a preset every time, so that a changed preset value reaches an
# existing build folder too; with nothing changed this takes a second.
ensure_configured() {
    local preset=$1 log
    log=$(cmake --preset "$preset" 2>&1) || {
        echo "$log" >&2
        exit 1
    }
}

# The commit and the time that release files carry. SOURCE_DATE_EPOCH, when
# set, is the time; otherwise the commit's committer time. A source tree
# without .git made by `git archive` has both in packaging/source-commit
# (Git fills it in, export-subst); any other tree needs SOURCE_DATE_EPOCH
# set, for example to the one in the build record of the release it is to
# match. Exports SOURCE_DATE_EPOCH and sets SOURCE_COMMIT.
export_source_date() {
    local recorded=packaging/source-commit commit="" date=""
    if [ -e .git ]; then
        command -v git >/dev/null 2>&1 || ensure_packages git >&2
        if ! commit=$(git rev-parse HEAD) || ! date=$(git log -1 --format=%ct HEAD); then
            echo "git cannot read this clone's commit" >&2
            return 1
        fi
        # Uncommitted changes are not the commit: say so in what is made.
        [ -z "$(git status --porcelain --untracked-files=no)" ] || commit="$commit-modified"
    elif ! grep -q 'Format:' "$recorded"; then
        commit=$(sed -n 's/^commit=//p' "$recorded")
        date=$(sed -n 's/^date=//p' "$recorded")
    fi
    SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$date}
    SOURCE_COMMIT=${commit:-unknown}
    if ! [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]]; then
        echo "no commit time here: set SOURCE_DATE_EPOCH (the build record of a release has it)" >&2
        return 1
    fi
    export SOURCE_DATE_EPOCH
}

# CycloneDX's official JSON schema, as the @cyclonedx/cyclonedx-library
# package ships it, fetched once with npm and checked against the hash of
# that package's version. Exports CIPHERBENCH_CDX_SCHEMA, its folder.
CDX_LIBRARY=@cyclonedx/cyclonedx-library@10.3.0
CDX_LIBRARY_SHA256=9833bd949052eb18218dd64b13ad62d9246f7395eef01c66dad08fcbacf74f01
ensure_cdx_schema() {
    local dir=${CIPHERBENCH_CACHE:-$HOME/.cache/cipherbench}/cyclonedx-library-10.3.0 work
    if [ ! -f "$dir/.complete" ]; then
        command -v npm >/dev/null 2>&1 || ensure_packages npm >&2
        work=$(mktemp -d) || return 1
        if ! (cd "$work" && npm pack --silent "$CDX_LIBRARY" >/dev/null) ||
            ! echo "$CDX_LIBRARY_SHA256  $(echo "$work"/*.tgz)" | sha256sum -c --quiet ||
            ! tar -xzf "$work"/*.tgz -C "$work"; then
            rm -rf "$work"
            echo "could not get $CDX_LIBRARY" >&2
            return 1
        fi
        rm -rf "$dir" && mkdir -p "$dir" &&
            cp "$work"/package/res/schema/{bom-1.5,spdx,jsf-0.82}.SNAPSHOT.schema.json "$dir"/ &&
            touch "$dir/.complete"
        rm -rf "$work"
    fi
    export CIPHERBENCH_CDX_SCHEMA=$dir
}

# Debian's 64-bit Wine, whose programs are not on PATH.
WINE_DIR=/usr/lib/wine
wine64() { "$WINE_DIR/wine64" "$@"; }
wineserver() { "$WINE_DIR/wineserver" "$@"; }

# The program's window, by its title, on the X display in DISPLAY (and
# XAUTHORITY), with xdotool and ImageMagick's import.
WINDOW_TITLE=加解密工具

# find_window SECONDS PID [TITLE_REGEX]: the id of the first visible window
# so titled (the program's by default), waited for at most SECONDS while
# the process PID lives; empty when none came.
find_window() {
    local limit=$1 pid=$2 title=${3:-^$WINDOW_TITLE\$} started=$SECONDS wid=
    while [ $((SECONDS - started)) -lt "$limit" ]; do
        wid=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1) || true
        [ -n "$wid" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.5
    done
    echo "$wid"
}

# save_window WID FILE: a PNG of that window ("root": the whole screen).
save_window() {
    import -window "$1" "png:$2" || {
        echo "could not save a picture of window $1 to $2" >&2
        return 1
    }
}

# ends_within SECONDS PID: whether that process of ours ends within SECONDS.
ends_within() {
    local _
    for _ in $(seq "$(($1 * 4))"); do
        kill -0 "$2" 2>/dev/null || return 0
        sleep 0.25
    done
    return 1
}
