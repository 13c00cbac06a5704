# The Windows build as a user meets it, under Wine on a private Xvfb: the
# window from the unpacked zip (in a folder whose name is Chinese), each of
# the four pages saved as a picture at 100 %, 125 % and 150 % display scale;
# the scale test on Windows' own platform at every scale from 100 % to
# 200 %; the installer's pages as a user clicks through them; then a silent
# install, the installed program's window, a silent uninstall that must leave
# nothing behind. Every window is closed as a user closes it (Alt+F4), and
# the program must then end with status 0.
# Sourced by windows.sh after common.sh (steps, the Wine paths, the window
# helpers); what it checks is handed over as arguments:
#   check_windows_window OUT ZIP SETUP PORTABLE_NAME
# the build folder (the pictures go there), the zip, the installer, and the
# folder name the zip unpacks to.
# shellcheck shell=bash

WINDOW_SECONDS=${WINDOW_SECONDS:-120}
UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cipherbench'
CHECK_XVFB_PID=

# Everything here runs in one prefix and on one display of our own; the
# wineserver of that prefix and the Xvfb we started are all we end.
check_cleanup() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
    if [ -n "$CHECK_XVFB_PID" ]; then
        kill "$CHECK_XVFB_PID" 2>/dev/null
        wait "$CHECK_XVFB_PID" 2>/dev/null
        CHECK_XVFB_PID=
    fi
    return 0
}

start_display() {
    local fd_file=$CHECK_DIR/display
    # As large as a laptop's 2560x1600: the window fits it at 200 %.
    Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$fd_file" 2>"$CHECK_DIR/xvfb.log" &
    CHECK_XVFB_PID=$!
    local _
    for _ in $(seq 50); do
        [ -s "$fd_file" ] && break
        sleep 0.1
    done
    [ -s "$fd_file" ] || {
        echo "Xvfb did not start" >&2
        return 1
    }
    DISPLAY=:$(head -n 1 "$fd_file")
    export DISPLAY
}

# A fresh prefix in which the CJK font Debian ships is a Windows font, and
# the faces Qt and Windows ask for by name (the UI font, the Chinese UI
# fonts, and 宋体, SimSun's Chinese name, which NSIS's Chinese pages ask for)
# resolve to it rather than to a serif fallback or to boxes.
make_prefix() {
    export WINEPREFIX=$CHECK_DIR/wineprefix WINEDEBUG=-all LANG=C.UTF-8
    wine64 wineboot --init >/dev/null 2>&1 || return 1
    # Windows 10, as Qt 6 and the program's users have it, rather than the
    # Windows 7 that Debian's Wine says it is by default.
    wine64 reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f >/dev/null 2>&1 || return 1
    # Every Windows has an accent colour (blue, #0078d7, until its user
    # picks another), from which Qt makes the colour of links; Wine has
    # none, which leaves links black, unreadable in the dark scheme.
    wine64 reg add 'HKCU\Software\Microsoft\Windows\DWM' /v AccentColor /t REG_DWORD \
        /d 0xffd77800 /f >/dev/null 2>&1 || return 1
    local font=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc face
    [ -f "$font" ] || {
        echo "$font is missing (fonts-noto-cjk)" >&2
        return 1
    }
    cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
    wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Noto Sans CJK SC (TrueType)' \
        /t REG_SZ /d NotoSansCJK-Regular.ttc /f >/dev/null 2>&1 || return 1
    for face in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'Segoe UI' 'Microsoft YaHei' 'Microsoft YaHei UI' SimSun 宋体; do
        wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ \
            /d 'Noto Sans CJK SC' /f >/dev/null 2>&1 || return 1
    done
}

# The display scale of the prefix's programs, as Windows' display settings
# set it: dots per inch, 96 being 100 %. Programs read it when they start, so
# none may be running.
set_scale() {
    wineserver -w
    wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 &&
        wineserver -w
}

# set_look VERSION SCHEME: the Windows the prefix says it is (win10 or
# win11, from which Qt chooses its style) and the colour scheme its user
# chose for programs (light or dark), as Windows' settings keep them.
set_look() {
    wineserver -w
    wine64 reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$1" /f >/dev/null 2>&1 &&
        wine64 reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize' \
            /v AppsUseLightTheme /t REG_DWORD /d "$([ "$2" = dark ] && echo 0 || echo 1)" /f \
            >/dev/null 2>&1 &&
        wineserver -w
}
# The looks users meet: the Windows (with the style Qt takes for it), the
# colour scheme, and the palette the window is drawn with, as "VERSION SCHEME
# STYLE PALETTE". Windows 10's style draws with the system's light theme
# parts, so Qt keeps its palette light in a dark scheme, as Windows 10's own
# desktop programs stay light.
LOOKS=("win10 light windowsvista light" "win10 dark windowsvista light"
    "win11 light windows11 light" "win11 dark windows11 dark")

# activate_window WID: makes the program's window the one that takes the
# keys, as a user does, with a click in it: Wine 10 gives a window the keys
# it is sent only once it has been clicked, when another program ran
# before it. The click falls on the status bar's first label, at the
# window's bottom left at every scale, which does nothing when clicked.
activate_window() {
    local wid=$1 HEIGHT=
    eval "$(xdotool getwindowgeometry --shell "$wid" | grep '^HEIGHT=')"
    xdotool mousemove --window "$wid" 8 "$((HEIGHT - 6))" click 1
    sleep 0.5
    xdotool windowfocus --sync "$wid" 2>/dev/null
}

# close_window WID PID: closes the window as a user does, with Alt+F4 (which
# Windows turns into the window's WM_CLOSE), and waits for the process:
# it must end by itself, with status 0. A process that does not is ended,
# and the check fails.
close_window() {
    local wid=$1 pid=$2
    activate_window "$wid"
    xdotool key --window "$wid" alt+F4
    if ! ends_within 10 "$pid"; then
        echo "the program did not end within 10 s of Alt+F4" >&2
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        return 1
    fi
    local status=0
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "the program ended with status $status after Alt+F4" >&2
        return 1
    fi
    echo "closed with Alt+F4; the program ended with status 0"
}

# show_window EXE SHOTS [PAGES_PREFIX]: starts the program, waits for its
# window, saves it (SHOTS "pages": each page, as PAGES_PREFIX-<page>.png),
# then closes it.
show_window() {
    local exe=$1 shots=$2 prefix=${3:-window} started=$SECONDS wid=
    (cd "$(dirname "$exe")" && exec "$WINE_DIR/wine64" "$(basename "$exe")") >"$CHECK_DIR/program.log" 2>&1 &
    local program=$!
    wid=$(find_window "$WINDOW_SECONDS" "$program")
    if [ -z "$wid" ]; then
        echo "no window titled \"$WINDOW_TITLE\" within ${WINDOW_SECONDS} s; the program said:" >&2
        tail -n 20 "$CHECK_DIR/program.log" >&2
        kill "$program" 2>/dev/null
        wait "$program" 2>/dev/null
        return 1
    fi
    echo "the window \"$WINDOW_TITLE\" is shown ($((SECONDS - started)) s after the start)"
    sleep 2
    local geometry
    geometry=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p')
    echo "its size: $geometry"
    local saved=0
    if [ "$shots" = pages ]; then
        save_pages "$wid" "$prefix" || saved=1
    else
        save_window "$wid" "$CHECK_OUT/$shots.png" && echo "saved $CHECK_OUT/$shots.png"
    fi
    close_window "$wid" "$program" || return 1
    wineserver -w
    return $saved
}

# The tree is the way between pages: its rows are three groups with their
# entries, and the keyboard walks them: AES, 3DES, MD5 and Base64 are rows
# 2, 3, 5 and 8.
save_pages() {
    local wid=$1 prefix=$2
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
    # A click in the tree's empty lower part gives it the keyboard.
    xdotool mousemove --window "$wid" 90 400 click 1
    sleep 0.5
    xdotool key --window "$wid" Home Down
    sleep 1
    save_window "$wid" "$CHECK_OUT/$prefix-aes.png" || return 1
    xdotool key --window "$wid" Down
    sleep 1
    save_window "$wid" "$CHECK_OUT/$prefix-des.png" || return 1
    xdotool key --window "$wid" Down Down
    sleep 1
    save_window "$wid" "$CHECK_OUT/$prefix-hash.png" || return 1
    xdotool key --window "$wid" Down Down Down
    sleep 1
    save_window "$wid" "$CHECK_OUT/$prefix-base64.png" || return 1
    echo "saved $CHECK_OUT/$prefix-aes.png, $prefix-des.png, $prefix-hash.png, $prefix-base64.png"
}

# Our licence and the third-party notices travel with every copy.
has_licences() {
    local name
    for name in LICENSE.txt THIRD-PARTY-NOTICES.txt; do
        [ -s "$1/$name" ] || {
            echo "$1 has no $name" >&2
            return 1
        }
    done
    echo "LICENSE.txt and THIRD-PARTY-NOTICES.txt are in $1"
}

# The portable folder, unpacked where a user might put it, must run from
# there and leave the folder as it found it.
check_portable() {
    echo "-- the portable zip, unpacked in a folder named 便携版 测试"
    local folder=$CHECK_DIR/便携版\ 测试
    mkdir -p "$folder"
    unzip -q "$CHECK_ZIP" -d "$folder" || return 1
    has_licences "$folder/$CHECK_PORTABLE" || return 1
    local before after
    before=$(cd "$folder" && find . | sort)
    show_window "$folder/$CHECK_PORTABLE/cipherbench.exe" pages window || return 1
    # The scales of many laptops' displays.
    local dpi
    for dpi in 120 144; do
        echo "-- at $((dpi * 100 / 96)) % (LogPixels $dpi)"
        set_scale "$dpi" || return 1
        show_window "$folder/$CHECK_PORTABLE/cipherbench.exe" pages "window-$((dpi * 100 / 96))" || return 1
    done
    set_scale 96 || return 1
    # Each style in light and dark; the darker Windows 11 also at 150 %.
    local look version scheme style palette
    for look in "${LOOKS[@]}"; do
        read -r version scheme style palette <<<"$look"
        [ "$version $scheme" = "win10 light" ] && continue # shown above
        echo "-- $style, $scheme ($version)"
        set_look "$version" "$scheme" || return 1
        show_window "$folder/$CHECK_PORTABLE/cipherbench.exe" pages "window-$style-$scheme" || return 1
    done
    set_scale 144 || return 1
    echo "-- windows11, dark, at 150 %"
    show_window "$folder/$CHECK_PORTABLE/cipherbench.exe" pages "window-windows11-dark-150" || return 1
    set_scale 96 && set_look win10 light || return 1
    after=$(cd "$folder" && find . | sort)
    if [ "$before" != "$after" ]; then
        echo "the program wrote beside itself:" >&2
        diff <(echo "$before") <(echo "$after") >&2
        return 1
    fi
    echo "nothing was written in the folder"
}

# The scale test on Windows' own platform: the pages at each display scale
# that Windows offers, set as its display settings set it, in each style
# Qt takes for a Windows version, light and dark; each run checks that Qt
# took the scale, the style and the scheme.
check_scales() {
    echo "-- the scale test on the windows platform at every display scale"
    local test=$CHECK_OUT/tst_scale.exe dirs dpi scale log
    [ -f "$test" ] || {
        echo "$test is missing" >&2
        return 1
    }
    # The DLLs the test loads where they were built, as CTest finds them.
    dirs=$(grep -o 'CIPHERBENCH_WINE_DLL_DIRS=[^;"]*' "$CHECK_OUT/tests/CTestTestfile.cmake" | head -n 1)
    dirs=${dirs#*=}
    [ -n "$dirs" ] || {
        echo "no DLL folders in $CHECK_OUT/tests/CTestTestfile.cmake" >&2
        return 1
    }
    local look version scheme style palette
    for look in "${LOOKS[@]}"; do
        read -r version scheme style palette <<<"$look"
        set_look "$version" "$scheme" || return 1
        for dpi in 96 120 144 168 192; do
            scale=$(awk "BEGIN { print $dpi / 96 }")
            set_scale "$dpi" || return 1
            log=$CHECK_DIR/scale-$style-$scheme-$dpi.log
            if ! CIPHERBENCH_WINE_DLL_DIRS=$dirs QT_QPA_PLATFORM=windows CIPHERBENCH_EXPECTED_SCALE=$scale \
                CIPHERBENCH_EXPECTED_STYLE=$style CIPHERBENCH_EXPECTED_SCHEME=$scheme \
                CIPHERBENCH_EXPECTED_PALETTE=$palette \
                QT_FORCE_STDERR_LOGGING=1 scripts/wine-exec.sh "$test" pagesWhole >"$log" 2>&1; then
                echo "$style, $scheme, at $((dpi * 100 / 96)) % (LogPixels $dpi): the pages are not whole:" >&2
                grep -v '^PASS' "$log" >&2
                return 1
            fi
            echo "  $style, $scheme, $((dpi * 100 / 96)) % (LogPixels $dpi): $(grep -c '^PASS   : TestScale::pagesWhole(' "$log") page states whole; $(grep '^Totals:' "$log")"
        done
    done
    set_scale 96 && set_look win10 light
}

# The installer as a user meets it: each page saved as a picture, the
# default choices taken, and at the end the program it starts, closed again.
# The silent uninstaller then leaves the prefix as it was.
check_installer_pages() {
    echo "-- the installer's pages, clicked through"
    local installed
    installed=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/Cipherbench
    wine64 "$PWD/$CHECK_SETUP" >"$CHECK_DIR/setup.log" 2>&1 &
    local installer=$! wid _
    wid=$(find_window "$WINDOW_SECONDS" "$installer" '安装')
    [ -n "$wid" ] || {
        echo "no installer window within ${WINDOW_SECONDS} s" >&2
        return 1
    }
    sleep 2
    echo "the installer's window: \"$(xdotool getwindowname "$wid")\""
    # The folder page; its default button installs, and the files' page
    # moves on to the finish page by itself once the uninstaller is written.
    xdotool windowfocus --sync "$wid" 2>/dev/null
    save_window "$wid" "$CHECK_OUT/installer-directory.png" || return 1
    xdotool key --window "$wid" Return
    for _ in $(seq 120); do
        [ -f "$installed/uninstall.exe" ] && break
        sleep 0.5
    done
    sleep 3
    xdotool windowfocus --sync "$wid" 2>/dev/null
    save_window "$wid" "$CHECK_OUT/installer-finish.png" || return 1
    echo "saved $CHECK_OUT/installer-directory.png, installer-finish.png"
    # Its default button closes it and starts the program (the box is
    # checked by default).
    xdotool key --window "$wid" Return
    if ! ends_within 10 "$installer"; then
        echo "the installer did not end after its finish page" >&2
        return 1
    fi
    local status=0
    wait "$installer" || status=$?
    [ "$status" -eq 0 ] || {
        echo "the installer ended with status $status" >&2
        return 1
    }
    # Started by the installer, the program is no child of ours: it is
    # found by its window and must be gone once Alt+F4 has closed it.
    wid=$(find_window "$WINDOW_SECONDS" $$)
    [ -n "$wid" ] || {
        echo "the finish page did not start the program" >&2
        return 1
    }
    echo "the finish page started the program"
    sleep 2
    activate_window "$wid"
    xdotool key --window "$wid" alt+F4
    # Its process, by the installed program's path in its command line.
    local _ running=1
    for _ in $(seq 120); do
        pgrep -f 'Programs.Cipherbench.cipherbench\.exe' >/dev/null || {
            running=0
            break
        }
        sleep 0.25
    done
    if [ "$running" = 1 ]; then
        echo "the program was still running 30 s after Alt+F4" >&2
        return 1
    fi
    # What else of the prefix runs is Wine's own (services the installer's
    # start of the program brought up); the prefix's server ends it.
    wineserver -k 2>/dev/null
    wineserver -w
    echo "closed with Alt+F4; the program ended"
    wine64 "$installed/uninstall.exe" /S >/dev/null 2>&1
    wineserver -w
    [ ! -e "$installed" ] || {
        echo "the uninstaller left $installed" >&2
        return 1
    }
    echo "installed through its pages, and uninstalled"
}

check_installer() {
    echo "-- the installer, silently, as an administrator deploys it"
    local profile
    profile=$WINEPREFIX/drive_c/users/$(id -un)
    local installed=$profile/AppData/Local/Programs/Cipherbench
    local menu=$profile/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
    wine64 "$PWD/$CHECK_SETUP" /S >/dev/null 2>&1 || {
        echo "the silent install failed" >&2
        return 1
    }
    wineserver -w
    [ -f "$installed/cipherbench.exe" ] || {
        echo "nothing was installed in $installed" >&2
        return 1
    }
    echo "installed: $(find "$installed" -type f | wc -l) files in $installed"
    has_licences "$installed" || return 1
    [ -f "$menu/$WINDOW_TITLE.lnk" ] || {
        echo "no Start-menu entry $menu/$WINDOW_TITLE.lnk" >&2
        return 1
    }
    echo "Start-menu entry: $WINDOW_TITLE.lnk"
    local key
    key=$(wine64 reg query "$UNINSTALL_KEY" 2>/dev/null | tr -d '\r') || {
        echo "no uninstall entry $UNINSTALL_KEY" >&2
        return 1
    }
    local value
    for value in DisplayName DisplayVersion Publisher DisplayIcon EstimatedSize UninstallString QuietUninstallString; do
        grep -q "^ *$value " <<<"$key" || {
            echo "the uninstall entry lacks $value" >&2
            return 1
        }
    done
    # reg prints in the console's code page; the prefix's own file keeps
    # the Chinese name, as \xHHHH escapes.
    local name
    name=$(grep -a -A20 '\\Uninstall\\\\Cipherbench\]' "$WINEPREFIX/user.reg" |
        sed -n 's/^"DisplayName"="\(.*\)"$/\1/p' | sed 's/\\x\([0-9a-f]\{4\}\)/\\u\1/g')
    echo "  DisplayName: $(printf '%b' "$name")"
    grep -E '^ *(DisplayVersion|Publisher|EstimatedSize) ' <<<"$key" | sed 's/^ */  /'

    show_window "$installed/cipherbench.exe" window-installed || return 1

    echo "-- the uninstaller, silently"
    wine64 "$installed/uninstall.exe" /S >/dev/null 2>&1
    # It copies itself away to delete its own file and returns at once; the
    # copy is done when the prefix has no process left.
    wineserver -w
    local left
    left=$( { [ -e "$installed" ] && find "$installed"; [ -e "$menu/$WINDOW_TITLE.lnk" ] && echo "$menu/$WINDOW_TITLE.lnk"; } )
    if [ -n "$left" ]; then
        echo "the uninstaller left:" >&2
        echo "$left" >&2
        return 1
    fi
    if wine64 reg query "$UNINSTALL_KEY" >/dev/null 2>&1; then
        echo "the uninstaller left $UNINSTALL_KEY" >&2
        return 1
    fi
    echo "the uninstaller removed every file, the Start-menu entry and the uninstall key"
}

check_windows_window() {
    CHECK_OUT=$1 CHECK_ZIP=$2 CHECK_SETUP=$3 CHECK_PORTABLE=$4
    step "the window under Wine"
    CHECK_DIR=$(mktemp -d "$PWD/$CHECK_OUT/window-check.XXXXXX") || return 1
    local status=0
    (
        trap check_cleanup EXIT
        start_display && make_prefix && check_portable && check_scales && check_installer_pages &&
            check_installer
    ) || status=1
    rm -rf "$CHECK_DIR"
    return $status
}
