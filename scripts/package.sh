#!/usr/bin/env bash
# Builds the Debian package (installing what is missing) from the hardened
# release build, and prints its path: build/package/cipherbench_<version>_<arch>.deb
# (the version ends in ~deb12 or ~deb13, the release it was built on). The
# versions of the packages that made it go to <that path>.built-with.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

# file and dpkg-dev: CPack finds the binary's shared libraries and turns them
# into the Depends line with dpkg-shlibdeps.
ensure_packages "${BUILD_PACKAGES[@]}" file dpkg-dev >&2
export_source_date || exit 1
# CPack stamps the package's members with SOURCE_DATE_EPOCH, and gives the
# outer ones the umask's mode: Debian's own are 0644.
umask 022
mkdir -p build
rm -f build/package/cipherbench_*.deb build/package/cipherbench_*.deb.built-with
cmake --workflow --preset package >build/package.log 2>&1 || {
    cat build/package.log >&2
    exit 1
}
deb=$(echo build/package/cipherbench_*.deb)
[ -f "$deb" ] || { echo "CPack made no package" >&2; exit 1; }
# The Debian versions of what made it, for the release's build record.
for tool in cmake ninja-build dpkg-dev g++ "g++-$GCC_VERSION" "gcc-$GCC_VERSION" binutils libc6-dev \
    "libstdc++-$GCC_VERSION-dev" qt6-base-dev qt6-base-dev-tools "$QT_CORE_PACKAGE" libqt6gui6 \
    libqt6widgets6 file gzip; do
    printf ' %s %s\n' "$tool" "$(package_version "$tool")"
done >"$deb.built-with"
echo "$deb"
