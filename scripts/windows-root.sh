#!/usr/bin/env bash
# Runs a command of ours in a fresh Debian 13 root, where the Windows build
# finds the tools it is made with: Qt 6.8's host tools (moc, uic, rcc must
# be the version of the Qt they build for), MinGW-w64 with GCC 14, Wine,
# NSIS. mmdebstrap makes the root in unshare mode (its own mount and PID
# namespaces: no mount of the root's reaches this machine's table, and every
# process the command starts ends with it) and removes it on every exit path.
#
#   scripts/windows-root.sh COMMAND [ARG...]       (as root)
#
# The working tree (without build/) is copied into the root at the same
# path, so paths inside are the ones outside; so is the cache of Qt and
# OpenSSL for Windows. Afterwards build/ and the cache entries the command
# completed are copied back (and the Qt record, when WINDOWS_WRITE_QT_RECORD=1
# asked for it to be written). The command's environment is this one's
# CIPHERBENCH_*, WINDOWS_*, SOURCE_DATE_EPOCH, HOME, LANG, LC_*, TZ and
# LOCPATH, with PATH the root's. For the reproducibility check:
#   CIPHERBENCH_ROOT_USER=nobody     the command runs as that user
#   CIPHERBENCH_ROOT_FAKETIME=+398d  ... with its clock moved (faketime)
#   CIPHERBENCH_ROOT_DISORDER=1      ... on a tree whose directory entries
#                                    come in shuffled order (disorderfs)
#   CIPHERBENCH_ROOT_HOSTNAME=NAME   ... on a host of that name
# Downloaded packages are kept in ~/.cache/cipherbench/debs/trixie (or
# CIPHERBENCH_DEBS_CACHE/trixie).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

MIRROR=${CIPHERBENCH_MIRROR:-http://deb.debian.org/debian}
SECURITY_MIRROR=${CIPHERBENCH_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
CACHE=${CIPHERBENCH_CACHE:-$HOME/.cache/cipherbench}

# end_root_processes ROOT: ends the processes whose root directory is ROOT;
# nothing else is touched.
end_root_processes() {
    local folder=${1%/} signal pid left
    for signal in TERM KILL; do
        left=0
        for pid in /proc/[0-9]*; do
            [ "$(readlink "$pid/root" 2>/dev/null)" = "$folder" ] || continue
            kill -s "$signal" "${pid#/proc/}" 2>/dev/null && left=1
        done
        [ "$left" = 0 ] && return 0
        sleep 2
    done
}

# Run by mmdebstrap as its customize hook, with the root's path.
if [ "${1:-}" = --hook ]; then
    root=$2 request=$3
    command=() passed=() repo='' mask=''
    # shellcheck disable=SC1090 # sets command, passed, repo and mask (the umask)
    source "$request"
    mkdir -p "$root$repo" "$root$CACHE/windows"
    tar -C "$repo" --exclude=./build -cf - . | tar -C "$root$repo" -xf -
    mkdir -p "$root$repo/build"
    # Only complete builds; the source index is this machine's own.
    for dir in "$CACHE"/windows/*/ "$CACHE"/cyclonedx-library-*/; do
        dir=${dir%/}
        [ -d "$dir" ] || continue # a pattern that matched nothing
        case $dir in
        "$CACHE/windows/apt") continue ;;
        "$CACHE"/windows/*) [ -f "$dir/.complete" ] || continue ;;
        esac
        mkdir -p "$root$(dirname "$dir")"
        cp -a "$dir" "$root$(dirname "$dir")/"
    done
    mkdir -p "$root$HOME"
    # Locales made here for the command are made again with the root's own
    # C library, whose format they must have.
    if [ -n "${LOCPATH:-}" ]; then
        for locale in "$LOCPATH"/*/; do
            locale=$(basename "$locale")
            mkdir -p "$root$LOCPATH"
            chroot "$root" localedef -i "${locale%%.*}" -f "${locale#*.}" "$LOCPATH/$locale"
        done
    fi
    if [ -n "${CIPHERBENCH_ROOT_USER:-}" ]; then
        chroot "$root" chown -R "$CIPHERBENCH_ROOT_USER" "$repo" "$CACHE" "$HOME"
        chroot "$root" chown "$CIPHERBENCH_ROOT_USER" "$(dirname "$CACHE")"
    fi
    if [ "${CIPHERBENCH_ROOT_DISORDER:-0}" = 1 ]; then
        # The shuffled view lies over the root's own copy; both go with it.
        mv "$root$repo" "$root$repo.in-order"
        mkdir "$root$repo"
        disorderfs --shuffle-dirents=yes --multi-user=yes -o allow_other \
            "$root$repo.in-order" "$root$repo" >/dev/null
        echo "file order shuffled by disorderfs"
    fi
    [ -n "${CIPHERBENCH_ROOT_HOSTNAME:-}" ] && hostname "$CIPHERBENCH_ROOT_HOSTNAME"
    inner=(env -i "${passed[@]}" PATH=/usr/sbin:/usr/bin:/sbin:/bin CIPHERBENCH_IN_WINDOWS_ROOT=1)
    [ -n "${CIPHERBENCH_ROOT_FAKETIME:-}" ] && inner+=(faketime -f "$CIPHERBENCH_ROOT_FAKETIME")
    status=0
    # shellcheck disable=SC2016 # expanded by the inner shell
    if [ -n "${CIPHERBENCH_ROOT_USER:-}" ]; then
        chroot --userspec="$CIPHERBENCH_ROOT_USER:$(chroot "$root" id -gn "$CIPHERBENCH_ROOT_USER")" \
            "$root" "${inner[@]}" /bin/bash -c 'cd "$1" && umask "$2" && shift 2 && exec "$@"' \
            bash "$repo" "$mask" "${command[@]}" || status=$?
    else
        chroot "$root" "${inner[@]}" /bin/bash -c 'cd "$1" && umask "$2" && shift 2 && exec "$@"' \
            bash "$repo" "$mask" "${command[@]}" || status=$?
    fi
    # Its processes left behind (a Wine server lingers for seconds) would
    # keep the root's mounts busy.
    end_root_processes "$root"
    # What the command made, also when it failed (its logs), in place of
    # what an earlier run left under the same names.
    mkdir -p "$repo/build"
    for made in "$root$repo"/build/* "$root$repo"/build/.[!.]*; do
        [ -e "$made" ] || [ -L "$made" ] || continue
        rm -rf "${repo:?}/build/${made##*/}"
        cp -a "$made" "$repo/build/"
    done
    # The one file of the tree a command of ours writes, when asked to.
    if [ "${WINDOWS_WRITE_QT_RECORD:-0}" = 1 ]; then
        cp "$root$repo/packaging/windows/qt-build-record.txt" "$repo/packaging/windows/"
    fi
    for dir in "$root$CACHE"/windows/*/; do
        dir=${dir%/}
        if [ ! -f "$dir/.complete" ] || [ -e "$CACHE/windows/${dir##*/}" ]; then
            continue
        fi
        mkdir -p "$CACHE/windows"
        cp -a "$dir" "$CACHE/windows/${dir##*/}.copying" &&
            mv "$CACHE/windows/${dir##*/}.copying" "$CACHE/windows/${dir##*/}"
    done
    if [ "${CIPHERBENCH_ROOT_DISORDER:-0}" = 1 ]; then
        fusermount3 -u "$root$repo" || umount "$root$repo"
    fi
    exit "$status"
fi

[ $# -gt 0 ] || {
    echo "usage: $0 COMMAND [ARG...]" >&2
    exit 2
}
if [ "$(id -u)" -ne 0 ]; then
    echo "The Windows build runs in a Debian 13 root that $0 makes, which needs root." >&2
    exit 1
fi
source scripts/windows-deps.sh
extra=()
[ -n "${CIPHERBENCH_ROOT_FAKETIME:-}" ] && extra+=(faketime)
[ -n "${CIPHERBENCH_ROOT_DISORDER:-}" ] && ensure_packages disorderfs fuse3
ensure_packages mmdebstrap debian-archive-keyring
# Everything the Windows build and the release's assembly ask for, so that
# nothing needs installing inside, even as another user.
packages=("${WINDOWS_PACKAGES[@]}" "${BUILD_PACKAGES[@]}" git file dpkg-dev python3-jsonschema
    locales tzdata ca-certificates "${extra[@]}")

work=$(mktemp -d "${TMPDIR:-/tmp}/cipherbench-windows-root.XXXXXX")
trap 'rm -rf "$work"' EXIT
{
    printf 'command=('
    printf '%q ' "$@"
    printf ')\nrepo=%q\nmask=%q\npassed=(' "$PWD" "$(umask)"
    env -0 | while IFS= read -r -d '' var; do
        case ${var%%=*} in
        CIPHERBENCH_* | WINDOWS_* | SOURCE_DATE_EPOCH | HOME | LANG | LC_* | TZ | LOCPATH | TERM)
            printf '%q ' "$var" ;;
        esac
    done
    printf ')\n'
} >"$work/request"
debs=${CIPHERBENCH_DEBS_CACHE:-$CACHE/debs}/trixie
mkdir -p "$debs"
step "a Debian 13 root for the Windows build (mmdebstrap; packages kept in $debs)"
started=$SECONDS
# shellcheck disable=SC2016 # $1 is the root, given to the hooks by mmdebstrap
mmdebstrap --mode=unshare --variant=apt --quiet \
    --include="$(IFS=,; echo "${packages[*]}")" \
    --aptopt='APT::Install-Recommends "false"' \
    --setup-hook="mkdir -p \"\$1/var/cache/apt/archives\"" \
    --setup-hook="sync-in $(printf %q "$debs") /var/cache/apt/archives/" \
    --customize-hook="sync-out /var/cache/apt/archives $(printf %q "$debs")" \
    --customize-hook='rm -f "$1"/var/cache/apt/archives/*.deb' \
    --customize-hook="echo \"root ready in \$((\$(date +%s) - $(date +%s))) s\"" \
    --customize-hook="$(printf %q "$PWD/scripts/windows-root.sh") --hook \"\$1\" $(printf %q "$work/request")" \
    trixie /dev/null \
    "deb $MIRROR trixie main" "deb $MIRROR trixie-updates main" \
    "deb $SECURITY_MIRROR trixie-security main"
echo "the Debian 13 root was made, used and removed in $((SECONDS - started)) s"
