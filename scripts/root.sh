#!/usr/bin/env bash
# Runs a command of ours in a fresh Debian root that mmdebstrap makes in
# unshare mode (its own mount and PID namespaces: no mount of the root's
# reaches this machine's table, every process the command starts ends with
# it) and removes on every exit path. Run as root.
#
#   scripts/root.sh [--release 12|13] [--include PKG,...] [--bring PATH]...
#                   COMMAND [ARG...]
#       The working tree (without build/, but with each PATH brought, a
#       folder of build/) is copied into the root at the same path, so paths
#       inside are the ones outside, and so are the complete entries of the
#       Windows cache; COMMAND runs there, as root,
#       with the packages asked for installed. Afterwards build/ and the
#       cache entries the command completed are copied back (and the Qt
#       record, when WINDOWS_WRITE_QT_RECORD=1 asked for it to be written).
#       Its environment is this one's CIPHERBENCH_*, WINDOWS_*,
#       SOURCE_DATE_EPOCH, HOME, LANG, LC_*, TZ and TERM, with PATH the
#       root's and CIPHERBENCH_IN_ROOT=1.
#   scripts/root.sh --release 12|13 --fresh COMMAND [ARG...]
#       A root as a fresh install has it (Debian's minbase: the essential
#       packages and apt), with a clean clone of this commit in
#       /root/cipherbench and nothing else. COMMAND runs on this machine, in
#       this folder, with CIPHERBENCH_ROOT the root's path, and enters the
#       root itself (with chroot).
#   scripts/root.sh --release 12|13 --output FILE.tar.gz
#       Such a fresh root, without the clone, written to a tar file (for
#       tools that make their roots of one: piuparts).
#
# The release is 13 unless given. The root's package sources are the
# release, its updates and its security updates (CIPHERBENCH_MIRROR and
# CIPHERBENCH_SECURITY_MIRROR name other mirrors). Downloaded packages are
# kept in ~/.cache/cipherbench/debs/<code name> (or CIPHERBENCH_DEBS_CACHE).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

MIRROR=${CIPHERBENCH_MIRROR:-http://deb.debian.org/debian}
SECURITY_MIRROR=${CIPHERBENCH_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
CACHE=${CIPHERBENCH_CACHE:-$HOME/.cache/cipherbench}

# end_root_processes ROOT: ends the processes whose root directory is ROOT
# or lies inside it; nothing else is touched. They are read from the root's
# own /proc, whose process numbers are those of the namespace mmdebstrap runs
# its hooks in (this machine's /proc numbers them as this machine does).
end_root_processes() {
    local folder=${1%/} signal pid root left
    for signal in TERM KILL; do
        left=0
        for pid in "$folder"/proc/[0-9]*; do
            root=$(readlink "$pid/root" 2>/dev/null) || continue
            case "$root" in
            "$folder" | "$folder"/*) kill -s "$signal" "${pid##*/}" 2>/dev/null && left=1 ;;
            esac
        done
        [ "$left" = 0 ] && return 0
        sleep 2
    done
}

# Run by mmdebstrap as its last customize hook, with the root's path.
if [ "${1:-}" = --hook ]; then
    root=$2 request=$3
    command=() passed=() repo='' mask='' fresh=0 commit='' bring=()
    # shellcheck disable=SC1090 # sets command, passed, repo, mask, fresh, commit, bring
    source "$request"
    status=0
    if [ "$fresh" = 1 ]; then
        git clone --quiet --no-hardlinks "$repo" "$root/root/cipherbench" &&
            git -C "$root/root/cipherbench" checkout --quiet --detach "$commit" || exit 1
        cp -L /etc/resolv.conf "$root/etc/resolv.conf"
        (cd "$repo" && CIPHERBENCH_ROOT=$root "${command[@]}") || status=$?
        end_root_processes "$root"
        exit "$status"
    fi
    mkdir -p "$root$repo" "$root$CACHE/windows"
    tar -C "$repo" --exclude=./build -cf - . | tar -C "$root$repo" -xf -
    mkdir -p "$root$repo/build" "$root$HOME"
    for path in "${bring[@]}"; do
        mkdir -p "$(dirname "$root$repo/$path")" && cp -a "$repo/$path" "$root$repo/$path"
    done
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
    # FUSE (disorderfs, which reprotest's file order variation mounts as
    # another user) needs its device, which mmdebstrap's /dev lacks, with the
    # mode Debian gives it (0666), and fusermount the mount table under its
    # usual name.
    if [ -c /dev/fuse ]; then
        mknod -m 0666 "$root/dev/fuse" c 10 229 2>/dev/null || echo "no FUSE device in the root" >&2
    fi
    [ -e "$root/etc/mtab" ] || ln -s ../proc/self/mounts "$root/etc/mtab"
    # shellcheck disable=SC2016 # expanded by the inner shell
    chroot "$root" env -i "${passed[@]}" PATH=/usr/sbin:/usr/bin:/sbin:/bin CIPHERBENCH_IN_ROOT=1 \
        /bin/bash -c 'cd "$1" && umask "$2" && shift 2 && exec "$@"' \
        bash "$repo" "$mask" "${command[@]}" || status=$?
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
    exit "$status"
fi

release=13 fresh=0 include='' output='' bring=()
while [ $# -gt 0 ]; do
    case $1 in
    --bring) bring+=("$(realpath --relative-to=. "$2")") && shift 2 ;;
    --release) release=$2 && shift 2 ;;
    --include) include=$2 && shift 2 ;;
    --fresh) fresh=1 && shift ;;
    --output) output=$(realpath -m "$2") fresh=1 && shift 2 ;;
    *) break ;;
    esac
done
suite=${DEBIAN_SUITES[$release]:-}
if { [ $# -eq 0 ] && [ -z "$output" ]; } || [ -z "$suite" ]; then
    echo "usage: $0 [--release 12|13] [--fresh | --include PKG,... --bring PATH...] COMMAND [ARG...]" >&2
    echo "       $0 [--release 12|13] --output FILE.tar.gz" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "$0 makes a Debian root, which needs root." >&2
    exit 1
fi
ensure_packages mmdebstrap debian-archive-keyring git

work=$(mktemp -d "${TMPDIR:-/tmp}/cipherbench-root.XXXXXX")
trap 'rm -rf "$work"' EXIT
{
    printf 'command=('
    printf '%q ' "$@"
    printf ')\nbring=('
    [ ${#bring[@]} -eq 0 ] || printf '%q ' "${bring[@]}"
    printf ')\nrepo=%q\nmask=%q\nfresh=%q\ncommit=%q\npassed=(' "$PWD" "$(umask)" "$fresh" \
        "$(git rev-parse HEAD 2>/dev/null || true)"
    env -0 | while IFS= read -r -d '' var; do
        case ${var%%=*} in
        CIPHERBENCH_* | WINDOWS_* | SOURCE_DATE_EPOCH | HOME | LANG | LC_* | TZ | TERM)
            printf '%q ' "$var" ;;
        esac
    done
    printf ')\n'
} >"$work/request"
# A fresh install recommends; a root for a command of ours installs only what
# is asked for.
options=(--variant=apt --aptopt='APT::Install-Recommends "false"')
[ -n "$include" ] && options+=(--include="$include")
# Another archive (Debian's snapshots, for the versions a build record lists)
# serves Release files past their expiry date.
[ -n "${CIPHERBENCH_MIRROR:-}" ] && options+=(--aptopt='Acquire::Check-Valid-Until "false"')
[ "$fresh" = 1 ] && options=(--variant=minbase "${options[@]:2}")
debs=${CIPHERBENCH_DEBS_CACHE:-$CACHE/debs}/$suite
mkdir -p "$debs"
step "a fresh Debian $release root (mmdebstrap ${options[*]}; packages kept in $debs)"
started=$SECONDS
use=(--customize-hook="$(printf %q "$PWD/scripts/root.sh") --hook \"\$1\" $(printf %q "$work/request")")
target=/dev/null
[ -n "$output" ] && use=() target=$output
# shellcheck disable=SC2016 # $1 is the root, given to the hooks by mmdebstrap
mmdebstrap --mode=unshare --quiet "${options[@]}" \
    --setup-hook="mkdir -p \"\$1/var/cache/apt/archives\"" \
    --setup-hook="sync-in $(printf %q "$debs") /var/cache/apt/archives/" \
    --customize-hook="sync-out /var/cache/apt/archives $(printf %q "$debs")" \
    --customize-hook='rm -f "$1"/var/cache/apt/archives/*.deb' \
    --customize-hook="echo \"root ready in \$((\$(date +%s) - $(date +%s))) s\"" \
    "${use[@]}" \
    --customize-hook="sync-out /var/cache/apt/archives $(printf %q "$debs")" \
    "$suite" "$target" \
    "deb $MIRROR $suite main" "deb $MIRROR $suite-updates main" \
    "deb $SECURITY_MIRROR $suite-security main"
if [ -n "$output" ]; then
    echo "the Debian $release root was made and written to $output in $((SECONDS - started)) s"
else
    echo "the Debian $release root was made, used and removed in $((SECONDS - started)) s"
fi
