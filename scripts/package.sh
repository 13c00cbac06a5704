#!/usr/bin/env bash
# Builds the Debian package (installing what is missing) from the hardened
# release build, and prints its path: build/package/cipherbench_<version>_<arch>.deb.
set -u
cd "$(dirname "$0")/.." || exit 1
source scripts/common.sh

# file and dpkg-dev: CPack finds the binary's shared libraries and turns them
# into the Depends line with dpkg-shlibdeps.
ensure_packages "${BUILD_PACKAGES[@]}" file dpkg-dev >&2
export_source_date || exit 1
# CPack stamps the package's members with SOURCE_DATE_EPOCH, and gives the
# outer ones the umask's mode: Debian's own are 0644.
umask 022
mkdir -p build
rm -f build/package/cipherbench_*.deb
cmake --workflow --preset package >build/package.log 2>&1 || {
    cat build/package.log >&2
    exit 1
}
deb=$(echo build/package/cipherbench_*.deb)
[ -f "$deb" ] || { echo "CPack made no package" >&2; exit 1; }
echo "$deb"
