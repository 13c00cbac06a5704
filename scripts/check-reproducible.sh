#!/usr/bin/env bash
# Builds the release files of HEAD twice, from two clean clones, and
# compares them byte for byte; a difference fails, with diffoscope's report
# of the first file that differs. The second build differs from the first
# in what Debian's reprotest varies:
#   source path    .../a/cipherbench      and .../b/源码 with a longer path/tree
#   clock          the real one           and 398 days ahead (faketime)
#   umask          022                    and 002
#   locale         C.UTF-8                and zh_CN.UTF-8 (made in our folder)
#   time zone      UTC                    and Pacific/Kiritimati (UTC+14)
#   host name      cipherbench-build-a    and another (own UTS namespace)
#   user and home  root                   and nobody, another HOME
#   file order     the file system's      and shuffled (disorderfs)
# (The Windows files are made in a Debian 13 root that windows.sh makes, in
# both builds; the second varies the user, the clock and the file order in
# there, and the rest outside.)
# The second build takes Qt for Windows from a copy of the first one's
# cache, so the Qt it ships is the same files; its commands run in their
# own PID namespace, so all of them end with it. The Debian packages are
# built in fresh roots of their releases (package-in-root.sh) in both builds,
# the second's with the same variations but the clock (faketime's library is
# not in the root); the root's path is the same in both. A package built on
# this machine would record this machine's tools, which need not be the
# release's current ones that a fresh root has, and the build records would
# differ for that alone.
#
#   scripts/check-reproducible.sh                  (as root)
#   scripts/check-reproducible.sh --first-debs DIR
# The second form takes the first build's Debian packages from DIR, built
# from this commit already on fresh roots of their releases (CI hands over
# those its clean-root checks made).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

first_debs=
if [ "${1:-}" = --first-debs ]; then
    first_debs=$(realpath "${2:?--first-debs needs a folder}")
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "$0 changes user and host name and mounts disorderfs, and must run as root." >&2
    exit 1
fi
ensure_packages git util-linux faketime disorderfs fuse3 locales tzdata diffoscope-minimal

WORK=$(mktemp -d /var/tmp/cipherbench-reproducible.XXXXXX)
FILES=build/release-files
MOUNTED=
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    local status=$1
    trap - EXIT INT TERM
    if [ -n "$MOUNTED" ]; then
        fusermount3 -u "$MOUNTED" 2>/dev/null || umount "$MOUNTED" 2>/dev/null || true
    fi
    if grep -qF " $WORK/" /proc/self/mountinfo; then
        echo "something is still mounted under $WORK; leaving it in place" >&2
        exit 1
    fi
    rm -rf --one-file-system "$WORK"
    exit "$status"
}
trap 'cleanup $?' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

commit=$(git rev-parse HEAD)
a=$WORK/a/cipherbench
b_real=$WORK/b/disorder-backing
b=$WORK/b/一个较长的路径/源码
git clone -q --no-local "$PWD" "$a"
git clone -q --no-local "$PWD" "$b_real"
git -C "$a" checkout -q "$commit"
git -C "$b_real" checkout -q "$commit"

step "first build, in $a"
started=$SECONDS
if [ -z "$first_debs" ]; then
    first_debs=$WORK/a-debs
    for release in "${DEBIAN_RELEASES[@]}"; do
        (cd "$a" && umask 022 && env LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC \
            ./scripts/package-in-root.sh "$release" "$first_debs") >>"$WORK/a.log" 2>&1 || {
            tail -n 60 "$WORK/a.log"
            echo "the first build's Debian $release package failed" >&2
            exit 1
        }
    done
fi
echo "its Debian packages: those in $first_debs"
(cd "$a" && umask 022 && unshare --uts --pid --fork --kill-child -- env \
    LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC CIPHERBENCH_RELEASE_DEBS="$first_debs" \
    bash -c 'hostname cipherbench-build-a && ./scripts/release.sh') \
    >>"$WORK/a.log" 2>&1 || {
    tail -n 60 "$WORK/a.log"
    echo "the first build failed" >&2
    exit 1
}
echo "built in $((SECONDS - started)) s"

step "second build, varied, in $b"
mkdir -p "$WORK/b/locale" "$WORK/b/home" "$WORK/b/cache/windows" "$(dirname "$b")"
localedef -i zh_CN -f UTF-8 "$WORK/b/locale/zh_CN.UTF-8"
# Qt (and its notices, and the private source index) from the first
# build's cache, which is this machine's.
cache=${CIPHERBENCH_CACHE:-$HOME/.cache/cipherbench}/windows
for dir in "$cache"/apt "$cache"/qt-*; do
    [ -d "$dir" ] && cp -a "$dir" "$WORK/b/cache/windows/"
done
cp -a "$(dirname "$cache")"/cyclonedx-library-* "$WORK/b/cache/" 2>/dev/null || true
# Making a root needs root, so the packages are built first, from the
# clone while it is still root's (Git refuses another user's), each build
# inside its root as nobody.
mkdir "$WORK/b/debs"
for release in "${DEBIAN_RELEASES[@]}"; do
    # shellcheck disable=SC2016 # expanded by the inner shell
    (cd "$b_real" && umask 002 && unshare --uts --pid --fork --kill-child -- env \
        LOCPATH="$WORK/b/locale" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 TZ=Pacific/Kiritimati \
        CIPHERBENCH_BUILD_USER=nobody release="$release" debs="$WORK/b/debs" \
        bash -c 'hostname cipherbench-other-host && ./scripts/package-in-root.sh "$release" "$debs"') \
        >>"$WORK/b.log" 2>&1 || {
        tail -n 60 "$WORK/b.log"
        echo "the second build's Debian $release package failed" >&2
        exit 1
    }
done
chmod 0755 "$WORK" "$WORK/b"
disorder=(disorderfs --shuffle-dirents=yes --multi-user=yes -o allow_other "$b_real" "$b")
if mkdir -p "$b" && "${disorder[@]}" >/dev/null 2>&1; then
    MOUNTED=$b
    echo "file order shuffled by disorderfs"
else
    rmdir "$b" 2>/dev/null || true
    mv "$b_real" "$b"
    echo "disorderfs cannot mount here (no FUSE); file order is the file system's own"
fi
started=$SECONDS
# The Windows files are made in windows.sh's Debian 13 root, which only
# root can make: there its build runs as nobody, on the clock moved ahead,
# with the tree's entries shuffled, while the rest of release.sh (copying,
# sums, the bill of materials) runs here as root with the other variations.
(cd "$b" && umask 002 && unshare --uts --pid --fork --kill-child -- env \
    LOCPATH="$WORK/b/locale" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 TZ=Pacific/Kiritimati \
    HOME="$WORK/b/home" CIPHERBENCH_CACHE="$WORK/b/cache" CIPHERBENCH_RELEASE_DEBS="$WORK/b/debs" \
    CIPHERBENCH_DEBS_CACHE="${CIPHERBENCH_DEBS_CACHE:-$(dirname "$cache")/debs}" \
    CIPHERBENCH_ROOT_USER=nobody CIPHERBENCH_ROOT_FAKETIME=+398d CIPHERBENCH_ROOT_DISORDER=1 \
    bash -c 'hostname cipherbench-other-host && exec ./scripts/release.sh') >>"$WORK/b.log" 2>&1 || {
    tail -n 60 "$WORK/b.log"
    echo "the second build failed" >&2
    exit 1
}
echo "built in $((SECONDS - started)) s"

step "comparing"
# The downloads first, so that the report is of the file that differs, not
# of the sums over it.
status=0
reported=0
listing() { find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort; }
mapfile -t names < <(listing "$a/$FILES" | grep -E '\.(deb|zip|exe)$'
    listing "$a/$FILES" | grep -v -E '\.(deb|zip|exe)$')
for name in "${names[@]}"; do
    if ! [ -f "$b/$FILES/$name" ]; then
        echo "$name: missing from the second build" >&2
        status=1
    elif ! cmp -s "$a/$FILES/$name" "$b/$FILES/$name"; then
        echo "$name: differs" >&2
        status=1
        if [ "$reported" = 0 ]; then
            reported=1
            echo "diffoscope's report of $name:" >&2
            diffoscope --text - "$a/$FILES/$name" "$b/$FILES/$name" 2>&1 | head -n 300 >&2 || true
        fi
    fi
done
if [ "$(listing "$b/$FILES")" != "$(listing "$a/$FILES")" ]; then
    echo "the two builds made different sets of files" >&2
    status=1
fi
if [ "$status" = 0 ]; then
    echo "all ${#names[@]} release files are the same bytes in both builds:"
    sed 's/^/  /' "$a/$FILES/SHA256SUMS"
elif [ "${KEEP_BUILDS:-0}" = 1 ]; then
    echo "both builds are kept in $WORK (KEEP_BUILDS=1)"
    trap - EXIT
    [ -n "$MOUNTED" ] && fusermount3 -u "$MOUNTED"
fi
exit "$status"
