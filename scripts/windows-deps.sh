# Qt and OpenSSL for x86_64-w64-mingw32, built from Debian's own source
# packages into a cache that later runs (and CI) reuse. Sourced by
# windows.sh, after common.sh.
# shellcheck shell=bash

WINDOWS_CACHE=${CIPHERBENCH_CACHE:-$HOME/.cache/cipherbench}/windows
TOOLCHAIN_FILE=$PWD/cmake/mingw-w64-x86_64.cmake
MINGW=x86_64-w64-mingw32

# Qt's configure options. The cache key is taken from this list, the source
# version and the toolchain file, so changing any of them builds anew.
#  - Shared Release libraries; only the modules a Widgets program and its
#    tests need, with the third-party libraries bundled in Qt's source.
#  - OpenGL off with INPUT_opengl (FEATURE_opengl=OFF leaves dangling uses).
#  - Direct2D 1.1 off, but Direct2D itself on: without it qwindows.dll did
#    not link (seen in 6.4.2).
#  - The same bytes from every build folder and machine: no precompiled
#    headers (GCC's are not reproducible), a fixed prefix for QtCore to
#    record (the installed Qt relocates from wherever it lands, and the DLLs
#    find their plugins beside themselves), no link time in the PE headers.
#    build_qt adds the time and the path mapping.
#  - No SBOM of Qt's own: the release's bill of materials is ours, and Qt's
#    generator wants an attribution file for the tablet headers we add.
QT_CONFIGURED_PREFIX=/usr/x86_64-w64-mingw32/qt6-cipherbench
QT_CONFIGURE_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DINPUT_opengl=no -DFEATURE_direct2d1_1=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_jpeg=OFF
    -DBUILD_WITH_PCH=OFF -DQT_GENERATE_SBOM=OFF
    "-DCMAKE_INSTALL_PREFIX=$QT_CONFIGURED_PREFIX"
    "-DCMAKE_SHARED_LINKER_FLAGS=-Wl,--no-insert-timestamp"
    "-DCMAKE_MODULE_LINKER_FLAGS=-Wl,--no-insert-timestamp"
    "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-insert-timestamp"
)
OPENSSL_CONFIGURE_OPTIONS=(mingw64 no-shared no-module no-tests)

# Packages of the cross-build: the compiler, Debian's source tools, Wine's
# tablet headers (Debian's Qt source drops Qt's copy), Wine and NSIS for the
# tests and the installer (with the X libraries Wine's display driver loads
# when it finds them, only recommended by Debian), zip for the portable
# folder, ImageMagick for the icon, Xvfb and xdotool for the window check,
# Qt's host tools and its Chinese translations.
# shellcheck disable=SC2034 # used by windows.sh
WINDOWS_PACKAGES=(g++ cmake ninja-build perl qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 dpkg-dev libwine-dev wine64 nsis
    libxrender1 libxrandr2 libxcursor1 libxi6 libxcomposite1 libxinerama1
    zip unzip imagemagick xvfb xauth xdotool fonts-noto-cjk libssl-dev python3)

# The packages of the Debian 13 root the Windows build runs in: everything
# it and the release's assembly ask for, so that nothing needs installing
# inside, even as another user; comma-separated, for mmdebstrap.
windows_root_packages() {
    local IFS=,
    echo "${WINDOWS_PACKAGES[*]},${BUILD_PACKAGES[*]},git,file,dpkg-dev,python3-jsonschema,locales,tzdata,ca-certificates"
}

# apt with a private deb-src list made from the machine's own sources; the
# machine's apt configuration is read, never changed.
private_apt_setup() {
    local dir=$WINDOWS_CACHE/apt f
    PRIVATE_APT=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$dir/sources.list.d"
        -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache"
        -o Acquire::Check-Valid-Until=false -o APT::Sandbox::User=root)
    [ -f "$dir/.updated" ] && return 0
    mkdir -p "$dir/sources.list.d" "$dir/lists/partial" "$dir/cache/archives/partial" || return 1
    rm -f "$dir"/sources.list.d/*
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        sed 's/^Types:.*/Types: deb-src/' "$f" >"$dir/sources.list.d/$(basename "$f")"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -n 's/^deb \(.*\)/deb-src \1/p' "$f" >"$dir/sources.list.d/$(basename "$f")"
    done
    apt-get "${PRIVATE_APT[@]}" update -qq || return 1
    touch "$dir/.updated"
}
private_apt() { private_apt_setup && apt-get "${PRIVATE_APT[@]}" "$@"; }

# The source versions of PACKAGE worth trying, best first: VERSION, then the
# archive's others whose version starts with PREFIX, newest first. (An
# archive may index a source it no longer serves.)
source_candidates() {
    local package=$1 version=$2 prefix=$3
    echo "$version"
    private_apt_setup || return 1
    apt-cache "${PRIVATE_APT[@]}" showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' |
        grep -F -x -v -- "$version" | grep -- "^$prefix" | sort -r -V -u
}

# Unpacks Debian's source of PACKAGE at VERSION into DIR (its patches applied).
fetch_source() {
    local package=$1 version=$2 dir=$3 work
    mkdir -p "$WINDOWS_CACHE" && work=$(mktemp -d "$WINDOWS_CACHE/source.XXXXXX") || return 1
    (cd "$work" && private_apt source -qq --download-only "$package=$version") || {
        rm -rf "$work"
        echo "could not get the source of $package $version" >&2
        return 1
    }
    # apt checked the files against the archive's signed index already.
    dpkg-source --no-check -x "$work"/"${package}"_*.dsc "$work/src" >/dev/null || {
        rm -rf "$work"
        return 1
    }
    rm -rf "$dir"
    mv "$work/src" "$dir"
    rm -rf "$work"
}

# The key of a cached build: its source version, options and build inputs,
# the builders' own text among them.
cache_key() {
    { printf '%s\n' "$@"; declare -f build_qt build_openssl; } |
        cat - "$TOOLCHAIN_FILE" packaging/windows/qt-wintab.h | sha256sum | cut -c1-12
}

# with_cache NAME KEY BUILDER [ARG...]: runs BUILDER PREFIX WORKDIR ARG...
# once for the key;
# the prefix counts only once BUILDER succeeded, marked by .complete, so an
# interrupted build is removed and made again, never used. Prints the prefix.
with_cache() {
    local name=$1 key=$2 builder=$3
    local dir=$WINDOWS_CACHE/$name-$key
    # A complete entry is never changed again: read without the lock, which a
    # user who may only read the cache could not take.
    if [ -f "$dir/.complete" ]; then
        echo "$dir/prefix"
        return 0
    fi
    mkdir -p "$WINDOWS_CACHE"
    exec {lock}>"$WINDOWS_CACHE/$name.lock"
    # Another run of ours may be building the same: its Qt takes an hour.
    if ! flock -w 7200 "$lock"; then
        echo "another build of $name held $WINDOWS_CACHE/$name.lock for 2 hours; giving up" >&2
        exec {lock}>&-
        return 1
    fi
    if [ ! -f "$dir/.complete" ]; then
        rm -rf "$dir"
        mkdir -p "$dir/work"
        echo "building $name for Windows in $dir (log: $dir/build.log)" >&2
        local started=$SECONDS
        if ! "$builder" "$dir/prefix" "$dir/work" "${@:4}" >"$dir/build.log" 2>&1; then
            echo "building $name failed; the end of $dir/build.log:" >&2
            tail -n 40 "$dir/build.log" >&2
            # The log stays for a look; the half-built tree goes.
            rm -rf "$dir/work"
            exec {lock}>&-
            return 1
        fi
        rm -rf "$dir/work"
        echo "$((SECONDS - started))" >"$dir/.complete"
        echo "built $name in $((SECONDS - started)) s" >&2
    fi
    exec {lock}>&-
    echo "$dir/prefix"
}

build_qt() {
    local prefix=$1 work=$2 version=$3
    fetch_source qt6-base "$version" "$work/src" || return 1
    # Debian's source drops Qt's copy of the Wacom tablet headers; Wine's
    # declare the same interface.
    local wintab=$work/src/src/3rdparty/wintab wine=/usr/include/wine/wine/windows
    if [ ! -f "$wintab/wintab.h" ]; then
        mkdir -p "$wintab" &&
            cp "$wine/wintab.h" "$wintab/wine-wintab.h" &&
            cp "$wine/pktdef.h" "$wintab/pktdef.h" &&
            cp packaging/windows/qt-wintab.h "$wintab/wintab.h" || return 1
    fi
    # Time is the source's own (the date of its changelog entry: rcc, the
    # linker and strip read it), and the build folder is mapped to one name.
    local epoch map
    epoch=$(dpkg-parsechangelog -l "$work/src/debian/changelog" -S Timestamp) || return 1
    map=-ffile-prefix-map=$work=/build/qt6-base
    SOURCE_DATE_EPOCH=$epoch cmake -S "$work/src" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE" "${QT_CONFIGURE_OPTIONS[@]}" \
        "-DCMAKE_C_FLAGS=$map" "-DCMAKE_CXX_FLAGS=$map" &&
        SOURCE_DATE_EPOCH=$epoch cmake --build "$work/build" --parallel "$(nproc)" &&
        cmake --install "$work/build" --prefix "$prefix" &&
        echo "$epoch" >"$prefix/source-date-epoch"
}

build_openssl() {
    local prefix=$1 work=$2 version=$3
    fetch_source openssl "$version" "$work/src" || return 1
    (cd "$work/src" &&
        ./Configure "${OPENSSL_CONFIGURE_OPTIONS[@]}" --cross-compile-prefix=$MINGW- \
            --prefix="$prefix" --libdir=lib CC=gcc-posix CXX=g++-posix &&
        make -j"$(nproc)" build_libs &&
        make install_dev)
}

# first_prefix NAME-STEM BUILDER OPTIONS-ARRAY CANDIDATE...: the version and
# prefix of the first candidate already in the cache, else of the first one
# that builds, as "VERSION PREFIX".
first_prefix() {
    local stem=$1 builder=$2 options=$3 version key prefix
    shift 3
    local -n opts=$options
    for version in "$@"; do
        cached_prefix "$stem" "$options" "$version" && return 0
    done
    for version in "$@"; do
        key=$(cache_key "$version" "${opts[@]}")
        prefix=$(with_cache "$stem-${version%%[+-]*}" "$key" "$builder" "$version") &&
            echo "$version $prefix" && return 0
    done
    return 1
}

# cached_prefix NAME-STEM OPTIONS-ARRAY VERSION: "VERSION PREFIX" when that
# version is in the cache complete; fails otherwise.
cached_prefix() {
    local stem=$1 version=$3 key
    local -n cached_opts=$2
    key=$(cache_key "$version" "${cached_opts[@]}")
    [ -f "$WINDOWS_CACHE/$stem-${version%%[+-]*}-$key/.complete" ] || return 1
    echo "$version $WINDOWS_CACHE/$stem-${version%%[+-]*}-$key/prefix"
}

# What the licence notices need of Qt's source (its licence texts, Debian's
# copyright file, Qt's attribution files and the texts they name), kept
# beside the built Qt.
collect_qt_notices() {
    local prefix=$1 work=$2 version=$3
    fetch_source qt6-base "$version" "$work/src" &&
        /usr/bin/python3 scripts/notices.py collect "$work/src" "$prefix"
}

# Sets WINDOWS_QT and WINDOWS_OPENSSL to the prefixes, building what the
# cache lacks, WINDOWS_QT_VERSION to the Debian version of Qt's source and
# WINDOWS_QT_NOTICES to what the notices take from it. Qt must be the
# version of the host tools (moc, uic, rcc) it is built with, if not
# necessarily Debian's same revision of it; OpenSSL is the tests' reference
# only, and any 3.x serves ("qt-only" leaves it out).
ensure_windows_deps() {
    local qt_version ssl_version candidates found
    qt_version=$(package_version qt6-base-dev-tools)
    ssl_version=$(package_version libssl-dev)
    # The archive is asked for other versions only when the machine's own is
    # not built already.
    if ! found=$(cached_prefix qt QT_CONFIGURE_OPTIONS "$qt_version"); then
        mapfile -t candidates < <(source_candidates qt6-base "$qt_version" "${qt_version%%+*}")
        found=$(first_prefix qt build_qt QT_CONFIGURE_OPTIONS "${candidates[@]}") || return 1
    fi
    WINDOWS_QT_VERSION=${found%% *}
    WINDOWS_QT=${found#* }
    WINDOWS_QT_NOTICES=$(with_cache "qt-notices-${WINDOWS_QT_VERSION%%[+-]*}" \
        "$({ echo "$WINDOWS_QT_VERSION"; sed -n '/^def load_attributions/,/^def debian_package/p' \
            scripts/notices.py; } | sha256sum | cut -c1-12)" \
        collect_qt_notices "$WINDOWS_QT_VERSION") || return 1
    export WINDOWS_QT WINDOWS_QT_VERSION WINDOWS_QT_NOTICES
    [ "${1:-}" = qt-only ] && return 0
    if ! found=$(cached_prefix openssl OPENSSL_CONFIGURE_OPTIONS "$ssl_version"); then
        mapfile -t candidates < <(source_candidates openssl "$ssl_version" 3.)
        found=$(first_prefix openssl build_openssl OPENSSL_CONFIGURE_OPTIONS "${candidates[@]}") || return 1
    fi
    WINDOWS_OPENSSL=${found#* }
    export WINDOWS_OPENSSL
}
