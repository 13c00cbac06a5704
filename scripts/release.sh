#!/usr/bin/env bash
# The release files of this commit, the same bytes wherever and whenever
# they are built (installing what is missing; run as root), in
# build/release-files/:
#   cipherbench_<version>+deb12_amd64.deb          the Debian packages, one
#   cipherbench_<version>+deb13_amd64.deb          per release, each built in
#                                                  a fresh root of it
#   cipherbench_<version>+deb1N_amd64.buildinfo    their build records (what
#       dpkg-buildpackage writes: the build dependencies and all they depend
#       on, each at its exact version; the environment)
#   cipherbench-<version>-windows-x64.zip          the portable Windows folder
#   cipherbench-<version>-windows-x64-setup.exe    the Windows installer
#   cipherbench-<version>-windows-x64.buildinfo    their build record: commit,
#       SOURCE_DATE_EPOCH, the Debian versions of what made them
#   SHA256SUMS                                     of all of those
#   cipherbench-<version>.cdx.json                 the bill of materials
#       (CycloneDX 1.5), checked against its official schema
# Time is SOURCE_DATE_EPOCH, or the commit's when unset (see
# export_source_date in common.sh for a tree without .git). Each file is
# built afresh, so nothing made for another commit is carried over.
#
# Each Debian package is built by scripts/package.sh in a fresh root of its
# release (scripts/root.sh), the Windows files by windows.sh in its Debian 13
# root. CIPHERBENCH_RELEASE_DEBS may name a folder of packages built from
# this commit already (package.sh's output with its .buildinfo: the
# clean-root checks' copies): a release's package found there is taken.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

OUT=build/release-files
if [ "$(id -u)" -ne 0 ]; then
    echo "$0 builds in fresh Debian roots, which needs root." >&2
    exit 1
fi
ensure_packages dpkg-dev python3 python3-jsonschema
export_source_date
ensure_cdx_schema
echo "commit $SOURCE_COMMIT, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"

rm -rf build/release-debs "$OUT"
mkdir -p build/release-debs
debs=()
for release in "${DEBIAN_RELEASES[@]}"; do
    made=
    if [ -n "${CIPHERBENCH_RELEASE_DEBS:-}" ]; then
        made=$(compgen -G "$CIPHERBENCH_RELEASE_DEBS/cipherbench_*+deb${release}_*.deb" | head -n 1) ||
            true # none of this release there
    fi
    if [ -n "$made" ] && [ -f "${made%.deb}.buildinfo" ]; then
        echo "Debian $release package: $made, built already"
        cp "$(dirname "$made")"/*+deb"$release"[._]* build/release-debs/
    else
        scripts/root.sh --release "$release" scripts/package.sh >&2
        cp build/package/*+deb"$release"[._]* build/release-debs/
    fi
    debs+=("$(compgen -G "build/release-debs/cipherbench_*+deb${release}_*.deb" | head -n 1)")
done
scripts/windows.sh --release
windows=build/windows-release
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows/CMakeCache.txt")
homepage=$(sed -n 's/^CMAKE_PROJECT_HOMEPAGE_URL:STATIC=//p' "$windows/CMakeCache.txt")
zip=$windows/cipherbench-$version-windows-x64.zip
setup=$windows/cipherbench-$version-windows-x64-setup.exe

mkdir -p "$OUT"
record=$OUT/cipherbench-$version-windows-x64.buildinfo
downloads=()
for f in "${debs[@]}" "$zip" "$setup"; do
    downloads+=("${f##*/}")
done
cp "${debs[@]}" "$zip" "$setup" "$OUT/"
records=()
for deb in "${debs[@]}"; do
    cp "${deb%.deb}.buildinfo" "$OUT/"
    records+=("$(basename "${deb%.deb}.buildinfo")")
done

# The Windows files' build record: what anyone needs to build the same bytes
# again. They were made in windows.sh's Debian 13 root, which listed its
# tools' versions beside them.
{
    echo "Format: cipherbench-buildinfo 1"
    echo "Source: cipherbench $version"
    echo "Commit: $SOURCE_COMMIT"
    echo "Source-Date-Epoch: $SOURCE_DATE_EPOCH"
    echo "Build-Architecture: $(dpkg --print-architecture)"
    echo "Checksums-Sha256:"
    (cd "$OUT" && for f in "${zip##*/}" "${setup##*/}"; do
        echo " $(sha256sum "$f" | cut -d' ' -f1) $(stat -c %s "$f") $f"
    done)
    echo "Built-With ($(basename "$zip"), $(sed -n 's/^system //p' "$windows/built-with.txt")):"
    sed -n 's/^tool / /p' "$windows/built-with.txt"
    echo " qt6-base (source, built by scripts/windows-deps.sh) $(sed -n 's/^source qt6-base //p' \
        packaging/windows/qt-build-record.txt)"
    echo "Built-With ($(basename "$setup")):"
    echo " the zip's tools, and"
    sed -n 's/^installer / /p' "$windows/built-with.txt"
} >"$record"
records+=("${record##*/}")
(cd "$OUT" && sha256sum "${downloads[@]}" "${records[@]}" >SHA256SUMS)

sbom=$OUT/cipherbench-$version.cdx.json
/usr/bin/python3 scripts/sbom.py make --release-dir "$OUT" --components "$windows/components.json" \
    --installer-folder "$windows/stage/cipherbench-$version-windows-x64" --version "$version" \
    --commit "$SOURCE_COMMIT" --epoch "$SOURCE_DATE_EPOCH" --homepage "$homepage" --output "$sbom"
/usr/bin/python3 scripts/sbom.py validate "$sbom"
# The validator is seen to refuse: a licence that is no SPDX identifier.
broken=build/refused.cdx.json
/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); d["metadata"]["component"]["licenses"]=[{"license":{"id":"not-a-licence"}}]; json.dump(d,open(sys.argv[2],"w"))' \
    "$sbom" "$broken"
if /usr/bin/python3 scripts/sbom.py validate "$broken" >/dev/null 2>&1; then
    echo "the schema check accepted a bill of materials with an unknown licence" >&2
    exit 1
fi
rm -f "$broken"

echo "== release files (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
cat "$OUT/SHA256SUMS"
for f in "$OUT"/*; do
    echo "$PWD/$f"
done
