#!/usr/bin/env bash
# Checks a Debian package as Debian checks its own, on a fresh root of the
# release it was built for (its version ends in +deb12 or +deb13) that
# mmdebstrap makes (run as root):
#   piuparts     installs it with what it depends on, removes and purges
#                it, on a copy of the root: nothing of it may be left
#                behind, nothing else changed;
#   autopkgtest  runs the package's own tests (debian/tests) against it,
#                installed: the program starts under Xvfb, shows its window
#                with its title, and ends with status 0 when that is closed.
# The source package (the .dsc beside the .deb) gives autopkgtest its tests.
# Their logs go to build/package-checks/deb<release>/.
#
#   scripts/check-package.sh build/package/cipherbench_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

# Inside the root's hook: CIPHERBENCH_ROOT is the root.
if [ "${1:-}" = --in-root ]; then
    deb=$2 dsc=$3 out=$4
    step "autopkgtest: the package's tests, against ${deb##*/} installed in a fresh root"
    status=0
    autopkgtest --output-dir "$out/autopkgtest" "$dsc" "$deb" -- chroot "$CIPHERBENCH_ROOT" \
        >"$out/autopkgtest.log" 2>&1 || status=$?
    grep -E '^[a-z0-9-]+ +(PASS|FAIL|SKIP|FLAKY)' "$out/autopkgtest.log" || true
    grep -E '^(window .* shown|closed:)' "$out/autopkgtest/window-stdout" 2>/dev/null | sed 's/^/  /' || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$out/autopkgtest.log"
        echo "autopkgtest failed (exit $status)" >&2
        exit 1
    fi
    exit 0
fi

deb=${1:?usage: $0 cipherbench_VERSION_ARCH.deb}
[ -f "$deb" ] || { echo "no package at $deb" >&2; exit 1; }
deb=$(realpath "$deb")
version=$(dpkg-deb -f "$deb" Version) || exit 1
release=${version##*+deb}
dsc=$(dirname "$deb")/cipherbench_$version.dsc
if [[ $version != *+deb* ]] || [ -z "${DEBIAN_SUITES[$release]:-}" ]; then
    echo "${deb##*/}: its version $version names no Debian release we build for (+deb12, +deb13)" >&2
    exit 1
fi
[ -f "$dsc" ] || { echo "no source package beside it: $dsc" >&2; exit 1; }
if [ "$(id -u)" -ne 0 ]; then
    echo "$0 makes a Debian root and must run as root." >&2
    exit 1
fi
ensure_packages piuparts autopkgtest util-linux
out=$PWD/build/package-checks/deb$release
rm -rf "$out" && mkdir -p "$out"
work=$(mktemp -d /var/tmp/cipherbench-piuparts.XXXXXX)
trap 'rm -rf --one-file-system "$work"' EXIT

scripts/root.sh --release "$release" --output "$work/base.tar.gz"
step "piuparts: ${deb##*/} installed, removed and purged on a fresh Debian $release root"
# Debian 13's debconf leaves its folder of temporary files, which belongs to no
# package, behind whatever is installed: not ours to answer for. piuparts
# mounts in the roots it unpacks: in a mount namespace of its own,
# none of that reaches this machine's table, and its processes end with it.
status=0
unshare --mount --propagation private --pid --fork --kill-child -- \
    piuparts --basetgz "$work/base.tar.gz" --keep-sources-list --tmpdir "$work" \
    --ignore=/var/cache/debconf/tmp.ci/ \
    --distribution "${DEBIAN_SUITES[$release]}" --log-file "$out/piuparts.log" "$deb" >/dev/null 2>&1 ||
    status=$?
grep -E ' (PASS|FAIL): ' "$out/piuparts.log" | sed 's/^/  /' || true
if [ "$status" -ne 0 ]; then
    tail -n 40 "$out/piuparts.log"
    echo "${deb##*/}: piuparts FAILED (exit $status); its log: $out/piuparts.log" >&2
    exit 1
fi
if ! scripts/root.sh --release "$release" --fresh scripts/check-package.sh --in-root "$deb" "$dsc" "$out"; then
    echo "${deb##*/}: autopkgtest FAILED on a fresh Debian $release root; its log: $out/autopkgtest.log" >&2
    exit 1
fi
echo "${deb##*/}: piuparts and autopkgtest passed on fresh Debian $release roots"
