#!/usr/bin/env bash
# Builds the Debian package for another Debian release than this machine's,
# in a fresh minimal root of that release (run as root): a clean clone of
# HEAD, scripts/package.sh run there, the package and its .built-with list
# copied to DIR (its path is the last line but the clean-up's).
#
#   scripts/package-in-root.sh RELEASE DIR        (RELEASE: 12 or 13)
#
# What the build is given is what this process has: its umask, LANG,
# LC_ALL, TZ, LOCPATH (copied into the root) and SOURCE_DATE_EPOCH (the
# commit's time when unset). CIPHERBENCH_BUILD_USER names a user of the root
# (nobody, say) to build as; the packages it needs are installed as root
# first.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
source scripts/cleanroot.sh

if [ $# -ne 2 ]; then
    echo "usage: $0 RELEASE DIR" >&2
    exit 2
fi
release=$1
mkdir -p "$2"
out=$(realpath "$2")
export_source_date

# shellcheck disable=SC2119 # no extra packages on this machine
cleanroot_init
cleanroot_new deb "$release"
root=$CLEANROOT_WORK/deb

pass=("SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH")
for name in LANG LC_ALL TZ; do
    [ -n "${!name:-}" ] && pass+=("$name=${!name}")
done
if [ -n "${LOCPATH:-}" ]; then
    mkdir -p "$root/tmp/locale"
    cp -a "$LOCPATH"/. "$root/tmp/locale/"
    pass+=(LOCPATH=/tmp/locale)
fi
user=${CIPHERBENCH_BUILD_USER:-root}

step "Debian $release package, built in $root as $user"
log=$CLEANROOT_WORK/deb.log
# The build's own packages first, as root: tzdata for a TZ other than UTC,
# git for the commit package.sh reads.
# shellcheck disable=SC2016 # expanded in the root
if ! cleanroot_run deb 'source scripts/common.sh && ensure_packages "${BUILD_PACKAGES[@]}" file dpkg-dev tzdata git' \
    >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "could not install the build's packages in the Debian $release root" >&2
    exit 1
fi
[ "$user" = root ] || chown -R "$(chroot "$root" id -u "$user"):$(chroot "$root" id -g "$user")" \
    "$root/root/cipherbench"
chmod 0755 "$root/root"
if ! cleanroot_run deb "exec setpriv --reuid=$user --regid=$(chroot "$root" id -g "$user") --clear-groups -- \
    env HOME=/tmp ${pass[*]} ./scripts/package.sh" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "the package build failed in the Debian $release root" >&2
    exit 1
fi
deb=$(tail -n 1 "$log")
cp "$root/root/cipherbench/$deb" "$root/root/cipherbench/$deb.built-with" "$out/"
echo "$out/${deb##*/}"
