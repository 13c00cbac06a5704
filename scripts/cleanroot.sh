# Fresh minimal Debian 12 and 13 roots for the clean-machine checks: made
# from a cached debootstrap base per release, entered in private mount and
# PID namespaces, and removed again on every exit path. Sourced by
# check-clean-machine.sh, check-package.sh and package-in-root.sh after common.sh
# (whose step, find_window, save_window and ends_within it uses).
#
# Everything lives under one folder made by cleanroot_init. Mounts are made
# only inside a private mount namespace, so none can outlive the command that
# needed it or leak into the machine's own mount table; each command runs as
# PID 1's child in its own PID namespace, so every process it starts ends
# with it.
# shellcheck shell=bash

CLEANROOT_MIRROR=${CLEANROOT_MIRROR:-http://deb.debian.org/debian}
CLEANROOT_CACHE=${CLEANROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/cipherbench/cleanroot}
CLEANROOT_WORK=
CLEANROOT_BASE=
# The code names of the releases roots are made of (DEBIAN_RELEASES).
declare -A CLEANROOT_SUITE_OF=([12]=bookworm [13]=trixie)
CLEANROOT_REPO=$PWD

# CLEANROOT_FINAL names a command run last, after the roots are gone (the
# check's verdict line).
CLEANROOT_FINAL=

cleanroot_cleanup() {
    local status=$1
    trap - EXIT INT TERM
    if [ -n "$CLEANROOT_WORK" ] && [ -d "$CLEANROOT_WORK" ]; then
        step "removing $CLEANROOT_WORK"
        cleanroot_end_processes "$CLEANROOT_WORK"
        # The namespaces keep our mounts out of this table; should one show
        # up all the same, never delete through it.
        if grep -qF " $CLEANROOT_WORK/" /proc/self/mountinfo; then
            echo "something is still mounted under $CLEANROOT_WORK; leaving it in place" >&2
            status=1
        else
            rm -rf --one-file-system "$CLEANROOT_WORK"
        fi
    fi
    [ -n "$CLEANROOT_FINAL" ] && "$CLEANROOT_FINAL" "$status"
    exit "$status"
}

# Processes whose root directory is the folder or lies inside it are ones our
# commands started; nothing else is touched.
cleanroot_end_processes() {
    local folder=$1 signal pid root left
    for signal in TERM KILL; do
        left=0
        for pid in /proc/[0-9]*; do
            root=$(readlink "$pid/root" 2>/dev/null) || continue
            case "$root" in
            "$folder" | "$folder"/*)
                kill -s "$signal" "${pid#/proc/}" 2>/dev/null && left=1 ;;
            esac
        done
        [ "$left" = 0 ] && return 0
        sleep 2
    done
}

# cleanroot_init [PACKAGE...]: checks that we are root, installs what the
# checks need on this machine and makes our folder. The bases are made or
# taken from the cache as roots of each release are asked for.
cleanroot_init() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "$0 makes and enters Debian roots and must run as root." >&2
        exit 1
    fi
    ensure_packages debootstrap debian-archive-keyring util-linux git xvfb xauth xdotool
    CLEANROOT_WORK=$(mktemp -d /var/tmp/cipherbench-cleanroot.XXXXXX) || exit 1
    trap 'cleanroot_cleanup $?' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    ensure_packages "$@"
}

# cleanroot_base RELEASE: sets CLEANROOT_BASE to the path of that release's
# base, bootstrapped once and cached as a tar file: extracting it is seconds, bootstrapping it
# minutes. CLEANROOT_REFRESH=1 makes each anew once per run.
declare -A CLEANROOT_FRESH=()
cleanroot_base() {
    local release=$1 suite=${CLEANROOT_SUITE_OF[$1]:-}
    [ -n "$suite" ] || { echo "no Debian $release roots here (only ${DEBIAN_RELEASES[*]})" >&2; exit 1; }
    local tar=$CLEANROOT_CACHE/$suite-minbase.tar
    if [ -s "$tar" ] && { [ "${CLEANROOT_REFRESH:-0}" != 1 ] || [ -n "${CLEANROOT_FRESH[$release]:-}" ]; }; then
        echo "minimal Debian $release base: $tar (cached)"
        CLEANROOT_BASE=$tar
        return 0
    fi
    step "bootstrapping a minimal Debian $release base (debootstrap --variant=minbase $suite)"
    local base=$CLEANROOT_WORK/base-$suite
    debootstrap --variant=minbase "$suite" "$base" "$CLEANROOT_MIRROR" \
        >"$CLEANROOT_WORK/debootstrap-$suite.log" 2>&1 || {
        tail -n 30 "$CLEANROOT_WORK/debootstrap-$suite.log" >&2
        echo "debootstrap failed" >&2
        exit 1
    }
    mkdir -p "$CLEANROOT_CACHE"
    tar -C "$base" --numeric-owner -cpf "$tar.part" . && mv "$tar.part" "$tar" || exit 1
    rm -rf --one-file-system "$base"
    CLEANROOT_FRESH[$release]=1
    echo "cached as $tar"
    CLEANROOT_BASE=$tar
}

# cleanroot_new NAME [RELEASE]: a fresh root of Debian RELEASE (12 unless
# given) at $CLEANROOT_WORK/NAME with a clean clone of this repository's HEAD
# commit in /root/cipherbench.
cleanroot_new() {
    local root=$CLEANROOT_WORK/$1 release=${2:-12}
    local commit
    commit=$(git -C "$CLEANROOT_REPO" rev-parse HEAD) || exit 1
    cleanroot_base "$release"
    step "fresh Debian $release root $root"
    mkdir "$root" && tar -C "$root" --numeric-owner -xpf "$CLEANROOT_BASE" || exit 1
    # The root reaches the package archive exactly as this machine does: the
    # same sources, with this machine's release name replaced by the root's,
    # and, where the archive is a fixed snapshot whose Release files are past
    # their Valid-Until date, the same apt setting for that.
    local own=${CLEANROOT_SUITE_OF[$DEBIAN_RELEASE]} suite=${CLEANROOT_SUITE_OF[$release]}
    if [ -d /etc/apt/sources.list.d ] && compgen -G '/etc/apt/sources.list.d/*.sources' >/dev/null; then
        local f
        for f in /etc/apt/sources.list.d/*.sources; do
            sed -E "/^Suites:/s/\<$own(-[a-z]+)?\>/$suite\1/g" "$f" \
                >"$root/etc/apt/sources.list.d/${f##*/}"
        done
        rm -f "$root/etc/apt/sources.list"
    elif [ -f /etc/apt/sources.list ]; then
        sed -E "/^deb/s/ $own(-[a-z]+)? / $suite\1 /" /etc/apt/sources.list >"$root/etc/apt/sources.list"
    fi
    local conf
    for conf in /etc/apt/apt.conf.d/*; do
        grep -qE 'Check-Valid-Until|Check-Date' "$conf" 2>/dev/null &&
            cp "$conf" "$root/etc/apt/apt.conf.d/"
    done
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
    step "clean clone of $commit into $root/root/cipherbench"
    git clone --quiet --no-hardlinks "$CLEANROOT_REPO" "$root/root/cipherbench" &&
        git -C "$root/root/cipherbench" checkout --quiet --detach "$commit" || exit 1
}

# cleanroot_remove NAME: ends what still runs in that root and deletes it.
cleanroot_remove() {
    local root=$CLEANROOT_WORK/$1
    [ -d "$root" ] || return 0
    cleanroot_end_processes "$root"
    if grep -qF " $root/" /proc/self/mountinfo; then
        echo "something is still mounted under $root; leaving it in place" >&2
        return 1
    fi
    rm -rf --one-file-system "$root"
}

# cleanroot_run NAME COMMAND: runs the shell COMMAND as root inside the root,
# in /root/cipherbench, with a plain login environment.
cleanroot_run() {
    local root=$CLEANROOT_WORK/$1
    shift
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --mount --pid --fork --kill-child --propagation private -- \
        /bin/bash -c '
            root=$1; shift
            mount -t proc proc "$root/proc" &&
            mount -t sysfs -o ro sysfs "$root/sys" &&
            mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm" &&
            mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" || exit 1
            # The shell stays PID 1 (the command is never exec-ed in its
            # place): xvfb-run waits for the SIGUSR1 with which the X server
            # it starts tells its parent that it is ready, and the X server
            # sends it only to a parent whose PID is above 1 (it takes PID 1
            # for init, which adopted it), so xvfb-run as PID 1 waits forever.
            exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
                PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
                /bin/bash -c "cd /root/cipherbench || exit 1; $1
exit \$?"
        ' cleanroot "$root" "$*"
}

# A display number that neither this machine nor a root is using. Roots share
# the machine's network namespace, so X servers in them listen on the same
# abstract sockets.
cleanroot_free_display() {
    local n
    for n in $(seq 70 199); do
        [ -e "/tmp/.X$n-lock" ] && continue
        grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix && continue
        echo "$n"
        return 0
    done
    return 1
}

# cleanroot_signal NAME PROGRAM: sends SIGTERM to the processes of that
# program name running inside the root.
cleanroot_signal() {
    local folder=$CLEANROOT_WORK/$1 program=$2 pid root
    for pid in /proc/[0-9]*; do
        root=$(readlink "$pid/root" 2>/dev/null) || continue
        [ "$root" = "$folder" ] || continue
        [ "$(cat "$pid/comm" 2>/dev/null)" = "$program" ] && kill "${pid#/proc/}" 2>/dev/null
    done
}

# cleanroot_show_window NAME COMMAND PROGRAM SECONDS [SCREENSHOT]: runs
# COMMAND in the root under xvfb-run and waits at most SECONDS for the
# program's visible window. When it shows, saves a screenshot if asked, then
# closes the window by ending PROGRAM with SIGTERM, and succeeds.
cleanroot_show_window() {
    local name=$1 command=$2 program=$3 limit=$4 shot=${5:-}
    local root=$CLEANROOT_WORK/$name log=$CLEANROOT_WORK/$name.log display
    display=$(cleanroot_free_display) || { echo "no free display number" >&2; return 1; }
    echo "xvfb-run (display :$display) $command, waiting at most $limit s for the window \"$WINDOW_TITLE\""
    cleanroot_run "$name" "xvfb-run -n $display -f /tmp/check.xauth -s '-screen 0 1024x768x24 -nolisten tcp' $command" \
        >"$log" 2>&1 &
    local runner=$! started=$SECONDS window
    # The root's X server, reached from here through its socket and the
    # cookie xvfb-run writes into the root.
    local -x DISPLAY=:$display XAUTHORITY=$root/tmp/check.xauth
    window=$(find_window "$limit" "$runner")
    if [ -z "$window" ]; then
        tail -n 60 "$log"
        echo "no window titled \"$WINDOW_TITLE\" appeared in $((SECONDS - started)) s" >&2
        cleanroot_end_processes "$root"
        wait "$runner" || true
        return 1
    fi
    echo "the window \"$WINDOW_TITLE\" is shown ($((SECONDS - started)) s after the start)"
    if [ -n "$shot" ]; then
        sleep 1 # let the first paint finish
        save_window root "$shot" && echo "screenshot saved: $shot"
    fi
    echo "closing it (SIGTERM to $program)"
    cleanroot_signal "$name" "$program"
    if ! ends_within 30 "$runner"; then
        echo "$program was still running 30 s after SIGTERM" >&2
        cleanroot_end_processes "$root"
        wait "$runner" || true
        return 1
    fi
    wait "$runner" || true
    cleanroot_end_processes "$root" # Xvfb, should xvfb-run not have ended it
    return 0
}
