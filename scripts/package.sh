#!/usr/bin/env bash
# Builds the Debian package of this tree from debian/ with dpkg-buildpackage,
# for the Debian release this machine runs (installing its build
# dependencies), and prints the package's path:
#   build/package/cipherbench_<version>+deb<release>_<arch>.deb
# Beside it: its .buildinfo (the build's record: the exact version of each
# build dependency and of all it depends on, and the environment), the .changes,
# and the source package (.dsc, .tar.xz) it was built from. The version is
# the source's with +deb12 or +deb13, the release built on: a changelog
# entry added to the copy that is built, as sbuild's --append-to-version
# adds one. The build runs in build/deb/, whatever the path and locale.
#   scripts/package.sh --source   only the source package; prints the .dsc's path
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

source_only=0
[ "${1:-}" = --source ] && source_only=1
if [ "$source_only" = 1 ]; then
    ensure_packages dpkg-dev >&2
else
    ensure_packages build-essential dpkg-dev debhelper "${BUILD_PACKAGES[@]}" >&2
fi
export_source_date || exit 1
upstream=$(dpkg-parsechangelog -l debian/changelog -S Version)
project=$(sed -n 's/^project(Cipherbench VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$upstream" != "$project" ]; then
    echo "debian/changelog is at version $upstream, CMakeLists.txt at $project" >&2
    exit 1
fi
# shellcheck disable=SC1091
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
version=$upstream+deb$DEBIAN_RELEASE
maintainer=$(sed -n 's/^Maintainer: //p' debian/control)

work=build/deb
src=$work/cipherbench-$version
rm -rf "$work" && mkdir -p "$src"
# The tree's files (in a clone, those Git knows or would add), without build/.
if [ -e .git ] && command -v git >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -cf - | tar -C "$src" -xf -
else
    tar --exclude=./build -cf - . | tar -C "$src" -xf -
fi
{
    printf 'cipherbench (%s) %s; urgency=medium\n\n' "$version" "$codename"
    printf '  * Built for Debian %s (%s).\n\n' "$DEBIAN_RELEASE" "$codename"
    printf ' -- %s  %s\n\n' "$maintainer" "$(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")"
    cat debian/changelog
} >"$src/debian/changelog"
# Installed as they are (icons, desktop file), files keep their own times,
# which are the checkout's: dpkg-deb clamps only those later than
# SOURCE_DATE_EPOCH. Every file of the copy gets that time, as the source
# package then records it.
find "$src" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +

umask 022
log=build/package.log
build=(dpkg-buildpackage --no-sign --jobs-try=auto)
[ "$source_only" = 1 ] && build+=(--build=source --no-check-builddeps --no-pre-clean)
if ! (cd "$src" && "${build[@]}") >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "dpkg-buildpackage failed; its whole output is in $log" >&2
    exit 1
fi
rm -rf build/package && mkdir -p build/package
cp "$work"/*_"$version"[._]* build/package/
if [ "$source_only" = 1 ]; then
    echo "build/package/cipherbench_$version.dsc"
else
    echo "build/package/cipherbench_${version}_$(dpkg --print-architecture).deb"
fi
