#!/usr/bin/env bash
# Installs the Debian package on a fresh minimal root of the Debian release
# it was built for (its version ends in ~deb12 or ~deb13) as a user would
# (run as root), and checks what a user gets: no compiler or -dev
# package pulled in, the window opens, the desktop entry and the AppStream
# metainfo validate, and a purge leaves nothing of it under /usr.
#
#   scripts/check-package.sh [cipherbench_VERSION_ARCH.deb]
#
# Without an argument the package is built first (scripts/package.sh). The
# screenshot of the installed program's window goes to
# build/package/installed-window-deb<release>.png.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
source scripts/cleanroot.sh

deb=${1:-}
result=FAILED
verdict() {
    echo
    echo "package ${deb##*/} on a clean Debian ${release:-} root: $result"
}
CLEANROOT_FINAL=verdict

if [ -z "$deb" ]; then
    step "building the package"
    deb=$(scripts/package.sh) || exit 1
fi
[ -f "$deb" ] || { echo "no package at $deb" >&2; exit 1; }
deb=$(realpath "$deb")
version=$(dpkg-deb -f "$deb" Version) || exit 1
release=${version##*~deb}
[[ $version == *~deb* && $release =~ ^[0-9]+$ ]] || {
    echo "${deb##*/}: its version $version names no Debian release (~debNN)" >&2
    exit 1
}

cleanroot_init imagemagick desktop-file-utils appstream
cleanroot_new pkg "$release"
root=$CLEANROOT_WORK/pkg
in_root() { cleanroot_run pkg "$@"; }

step "the package"
echo "${deb##*/}: $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Version Installed-Size Depends Recommends | sed 's/^/  /'

installed() { in_root "dpkg-query -W -f='\${Package}\n'" | sort; }
installed >"$CLEANROOT_WORK/before" || exit 1

step "apt-get install ./${deb##*/}, as a user would"
cp "$deb" "$root/root/"
in_root "export DEBIAN_FRONTEND=noninteractive; cd /root && apt-get update -qq &&
    apt-get install -y -q ./${deb##*/}" >"$CLEANROOT_WORK/install.log" 2>&1 || {
    tail -n 40 "$CLEANROOT_WORK/install.log"
    echo "the install failed" >&2
    exit 1
}
installed >"$CLEANROOT_WORK/after" || exit 1
comm -13 "$CLEANROOT_WORK/before" "$CLEANROOT_WORK/after" >"$CLEANROOT_WORK/added"
echo "$(wc -l <"$CLEANROOT_WORK/added") packages installed, cipherbench and what it pulled in"
toolchain=$(grep -E -- '-dev$|^(gcc|g\+\+|cpp|clang|llvm|cmake|make|binutils)(-[0-9.]+)?$|^libgcc-[0-9]+-dev|^libstdc\+\+-[0-9]+-dev' \
    "$CLEANROOT_WORK/added") || true # none
if [ -n "$toolchain" ]; then
    echo "the install pulled in build tools:" "${toolchain//$'\n'/ }" >&2
    exit 1
fi
echo "no compiler and no -dev package among them"
in_root "dpkg -L cipherbench" | grep -v '/\.$' >"$CLEANROOT_WORK/files"

step "starting the installed program"
# The virtual display is test equipment, installed only after the check of
# what the package itself pulled in.
in_root "DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends xvfb xauth" \
    >>"$CLEANROOT_WORK/install.log" 2>&1 || { echo "could not install xvfb" >&2; exit 1; }
shot=$PWD/build/package/installed-window-deb$release.png
mkdir -p "$(dirname "$shot")"
cleanroot_show_window pkg cipherbench cipherbench 120 "$shot" || exit 1

step "validating the installed desktop entry and metainfo"
desktop-file-validate "$root/usr/share/applications/io.github.cipherbench.Cipherbench.desktop" || exit 1
echo "desktop-file-validate: passed"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.cipherbench.Cipherbench.metainfo.xml" || exit 1

step "apt-get purge cipherbench"
in_root "DEBIAN_FRONTEND=noninteractive apt-get purge -y -q cipherbench" >"$CLEANROOT_WORK/purge.log" 2>&1 || {
    tail -n 20 "$CLEANROOT_WORK/purge.log"
    exit 1
}
left=$(while read -r path; do
    if [ -e "$root$path" ] && [ ! -d "$root$path" ]; then echo "$path"; fi
done <"$CLEANROOT_WORK/files")
left+=$(find "$root/usr" -iname '*cipherbench*' -printf '\n/usr/%P' 2>/dev/null)
if [ -n "$left" ]; then
    echo "left behind under /usr:$left" >&2
    exit 1
fi
echo "none of its $(wc -l <"$CLEANROOT_WORK/files") files and nothing named cipherbench is left under /usr"
result=PASSED
