#!/usr/bin/env bash
# Builds the release files of this commit (scripts/release.sh), then has
# Debian's reprotest build each download again with its variations and
# compare, with diffoscope's report of what differs (run as root):
#   cipherbench_<version>+deb12_amd64.deb   in a fresh Debian 12 root,
#   cipherbench_<version>+deb13_amd64.deb   in a fresh Debian 13 root, each
#       from the source package, against the release's own (the control);
#   the Windows zip and installer           in a fresh Debian 13 root, where
#       windows.sh builds them, from the tree `git archive` gives, against
#       the release's own.
# reprotest varies what it can here: the build path, the clock (faketime),
# the umask, the locale, the time zone, the user and group (another user,
# through sudo), the host and domain names, the file order (disorderfs),
# the environment, HOME, PATH and the kernel version reported (setarch).
# (The number of CPUs is the same in both, the machine's two, and address
# space randomisation on in both: reprotest varies those against a control
# build of its own.) Qt for Windows is not built again: both builds take it
# from the cache, whose files windows.sh checks against
# packaging/windows/qt-build-record.txt.
#
#   scripts/check-reproducible.sh                    (as root)
#   scripts/check-reproducible.sh --first-debs DIR
# The second form takes the release's Debian packages from DIR (with their
# source packages), built from this commit already in fresh roots of their
# releases (CI hands over those its clean-root checks made).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
source scripts/windows-deps.sh

FILES=build/release-files
# What reprotest's variations use, beside reprotest itself.
REPROTEST_PACKAGES=git,reprotest,diffoscope-minimal,faketime,disorderfs,fuse3,sudo,locales-all,tzdata,hostname,util-linux
# Every variation reprotest has, the user through sudo as another one, and a
# clock always moved (left to itself, reprotest keeps the real one in half of
# its runs): 398 days and 5 hours ahead.
VARY=(--vary=+all '--vary=user_group.available+=builder:builder' --vary=domain_host.use_sudo=1
    '--vary=time.faketimes+=+398days+5hours')

# Inside the root: reprotest builds once more and compares with the control.
if [ "${1:-}" = --in-root ]; then
    what=$2 control=$3 store=$4
    useradd --create-home builder
    # sudo looks up localhost and the host's name (also the one reprotest's
    # host name variation gives), which a Debian system lists in /etc/hosts
    # and mmdebstrap's root does not; Debian 12's sudo refuses to run without.
    printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s reprotest-capture-hostname\n' "$(hostname)" >>/etc/hosts
    # Debian 12's reprotest runs everything as `sudo -h localhost ...`, which
    # Debian 12's sudo refuses ("a remote host may only be specified when
    # listing privileges"). In this root of ours, sudo is diverted to a
    # wrapper that drops the host, so that the user and host name are varied
    # there too.
    if ! sudo -h localhost true 2>/dev/null; then
        dpkg-divert --quiet --local --rename --divert /usr/bin/sudo.distrib --add /usr/bin/sudo
        # shellcheck disable=SC2016 # the wrapper's own arguments
        printf '#!/bin/sh\n[ "$1" = -h ] && [ "$2" = localhost ] && shift 2\nexec /usr/bin/sudo.distrib "$@"\n' \
            >/usr/bin/sudo
        chmod 0755 /usr/bin/sudo
    fi
    rm -rf "$store" && mkdir -p "$(dirname "$store")"
    status=0
    if [ "$what" = deb ]; then
        dsc=$(scripts/package.sh --source)
        step "reprotest: ${dsc##*/} built again with every variation, against the release's package"
        reprotest --verbosity=1 "${VARY[@]}" --control-build "$control" --store-dir "$store" \
            "$dsc" -- null >"$store.log" 2>&1 || status=$?
    else
        # From what `git archive` gives, which holds the commit and its time,
        # so that the other user needs no Git of root's.
        source=build/reprotest-source
        rm -rf "$source" && mkdir -p "$source"
        git archive --format=tar HEAD | tar -C "$source" -xf -
        # Qt comes from the cache, which the other user must read.
        cache=${CIPHERBENCH_CACHE:-$HOME/.cache/cipherbench} folder=
        chmod -R a+rX "$cache"
        for folder in "$(dirname "$cache")" "$(dirname "$(dirname "$cache")")"; do chmod a+x "$folder"; done
        step "reprotest: the Windows files built again with every variation, against the release's"
        reprotest --verbosity=1 "${VARY[@]}" --control-build "$control" --store-dir "$store" \
            -s "$source" "env CIPHERBENCH_IN_ROOT=1 CIPHERBENCH_CACHE=$cache \
            ./scripts/windows.sh --release && cp build/windows-release/cipherbench-*-windows-x64* ." \
            'cipherbench-*-windows-x64*' -- null >"$store.log" 2>&1 || status=$?
    fi
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$store.log"
        report=$(compgen -G "$store/*.diffoscope.out" | head -n 1) || true
        if [ -n "$report" ]; then
            echo "diffoscope's report ($report):"
            head -n 300 "$report"
        fi
        echo "reprotest: $what not reproduced (exit $status); its log: $store.log" >&2
        exit 1
    fi
    grep -E '^(Reproduction successful|No differences)' "$store.log" | sed 's/^/  /'
    echo "  what the second build varied:"
    grep -o -E '[A-Z_]+ variation: .*' "$store.log" | sort -u | sed 's/^/    /'
    sed 's/^/  /' "$store/SHA256SUMS"
    exit 0
fi

first_debs=
if [ "${1:-}" = --first-debs ]; then
    first_debs=$(realpath "${2:?--first-debs needs a folder}")
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "$0 makes Debian roots and must run as root." >&2
    exit 1
fi

step "the release files"
mkdir -p build
CIPHERBENCH_RELEASE_DEBS=$first_debs scripts/release.sh >build/release.log 2>&1 || {
    tail -n 60 build/release.log
    echo "release.sh failed" >&2
    exit 1
}
sed -n '/^== release files/,/^\//p' build/release.log | grep -v '^/'

# The control builds, laid out as reprotest keeps a build's artifacts.
# (Each root's build/ replaces the same folders here: each keeps its own.)
controls=build/reprotest-controls
rm -rf "$controls" build/reprotest-*
version=$(sed -n 's/^Source: cipherbench //p' "$FILES"/cipherbench-*-windows-x64.buildinfo)
status=0
for release in "${DEBIAN_RELEASES[@]}"; do
    mkdir -p "$controls/deb$release/source-root"
    # The release's package and its debugging symbols, as the source package
    # builds both.
    cp "$FILES"/cipherbench_*+deb"${release}"_*.deb build/release-debs/cipherbench-dbgsym_*+deb"${release}"_*.deb \
        "$controls/deb$release/source-root/"
    scripts/root.sh --release "$release" --bring "$controls/deb$release" \
        --include "$(IFS=,; echo "${BUILD_PACKAGES[*]}"),build-essential,debhelper,dpkg-dev,$REPROTEST_PACKAGES" \
        scripts/check-reproducible.sh --in-root deb "$controls/deb$release" "build/reprotest-deb$release" ||
        status=1
done
mkdir -p "$controls/windows/source-root"
cp "$FILES"/cipherbench-"$version"-windows-x64.zip "$FILES"/cipherbench-"$version"-windows-x64-setup.exe \
    "$controls/windows/source-root/"
scripts/root.sh --release 13 --bring "$controls/windows" --include "$(windows_root_packages),$REPROTEST_PACKAGES" \
    scripts/check-reproducible.sh --in-root windows "$controls/windows" build/reprotest-windows || status=1
if [ "$status" = 0 ]; then
    echo
    echo "reprotest built every download again, varied, and found it the same bytes:"
    grep -v '\.buildinfo$' "$FILES/SHA256SUMS" | sed 's/^/  /'
fi
exit "$status"
