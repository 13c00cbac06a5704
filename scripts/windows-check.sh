# The Windows build as a user meets it, under Wine on a private Xvfb: the
# window from the unpacked zip (in a folder whose name is Chinese), each of
# the four pages saved as a picture; then a silent install, the installed
# program's window, a silent uninstall that must leave nothing behind.
# Sourced by windows.sh, which sets OUT, ZIP, SETUP and PORTABLE_NAME.
# shellcheck shell=bash

WINDOW_TITLE=加解密工具
WINDOW_SECONDS=${WINDOW_SECONDS:-120}
UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cipherbench'
CHECK_XVFB_PID=

wine_() { /usr/lib/wine/wine64 "$@"; }

# Everything here runs in one prefix and on one display of our own; the
# wineserver of that prefix and the Xvfb we started are all we end.
check_cleanup() {
    [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k 2>/dev/null
    if [ -n "$CHECK_XVFB_PID" ]; then
        kill "$CHECK_XVFB_PID" 2>/dev/null
        wait "$CHECK_XVFB_PID" 2>/dev/null
        CHECK_XVFB_PID=
    fi
    return 0
}

start_display() {
    local fd_file=$CHECK_DIR/display
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" 2>"$CHECK_DIR/xvfb.log" &
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
# fonts) resolve to it rather than to a serif fallback.
make_prefix() {
    export WINEPREFIX=$CHECK_DIR/wineprefix WINEDEBUG=-all LANG=C.UTF-8
    wine_ wineboot --init >/dev/null 2>&1 || return 1
    local font=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc face
    [ -f "$font" ] || {
        echo "$font is missing (fonts-noto-cjk)" >&2
        return 1
    }
    cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
    wine_ reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Noto Sans CJK SC (TrueType)' \
        /t REG_SZ /d NotoSansCJK-Regular.ttc /f >/dev/null 2>&1 || return 1
    for face in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'Segoe UI' 'Microsoft YaHei' 'Microsoft YaHei UI' SimSun; do
        wine_ reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ \
            /d 'Noto Sans CJK SC' /f >/dev/null 2>&1 || return 1
    done
}

# show_window EXE SHOTS_PREFIX: starts the program, waits for its window,
# saves it (each page, when asked), then closes it.
show_window() {
    local exe=$1 shots=$2 started=$SECONDS wid=
    (cd "$(dirname "$exe")" && exec /usr/lib/wine/wine64 "$(basename "$exe")") >"$CHECK_DIR/program.log" 2>&1 &
    local program=$!
    while [ $((SECONDS - started)) -lt "$WINDOW_SECONDS" ]; do
        wid=$(xdotool search --onlyvisible --name "^$WINDOW_TITLE\$" 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        kill -0 "$program" 2>/dev/null || break
        sleep 0.5
    done
    if [ -z "$wid" ]; then
        echo "no window titled \"$WINDOW_TITLE\" within ${WINDOW_SECONDS} s; the program said:" >&2
        tail -n 20 "$CHECK_DIR/program.log" >&2
        return 1
    fi
    echo "the window \"$WINDOW_TITLE\" is shown ($((SECONDS - started)) s after the start)"
    sleep 2
    local geometry
    geometry=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p')
    echo "its size: $geometry"
    if [ "$shots" = pages ]; then
        save_pages "$wid" || return 1
    else
        import -window "$wid" "$OUT/$shots.png" && echo "saved $OUT/$shots.png"
    fi
    xdotool windowclose "$wid" 2>/dev/null || xdotool key --window "$wid" alt+F4
    local _
    for _ in $(seq 40); do
        kill -0 "$program" 2>/dev/null || break
        sleep 0.25
    done
    kill "$program" 2>/dev/null
    wait "$program" 2>/dev/null
    /usr/lib/wine/wineserver -w
}

# The tree is the way between pages: its rows are three groups with their
# entries, and the keyboard walks them: AES, 3DES, MD5 and Base64 are rows
# 2, 3, 5 and 8.
save_pages() {
    local wid=$1
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
    # A click in the tree's empty lower part gives it the keyboard.
    xdotool mousemove --window "$wid" 90 400 click 1
    sleep 0.5
    xdotool key --window "$wid" Home Down
    sleep 1
    import -window "$wid" "$OUT/window-aes.png" || return 1
    xdotool key --window "$wid" Down
    sleep 1
    import -window "$wid" "$OUT/window-des.png" || return 1
    xdotool key --window "$wid" Down Down
    sleep 1
    import -window "$wid" "$OUT/window-hash.png" || return 1
    xdotool key --window "$wid" Down Down Down
    sleep 1
    import -window "$wid" "$OUT/window-base64.png" || return 1
    echo "saved $OUT/window-aes.png, window-des.png, window-hash.png, window-base64.png"
}

# The portable folder, unpacked where a user might put it, must run from
# there and leave the folder as it found it.
check_portable() {
    echo "-- the portable zip, unpacked in a folder named 便携版 测试"
    local folder=$CHECK_DIR/便携版\ 测试
    mkdir -p "$folder"
    unzip -q "$ZIP" -d "$folder" || return 1
    local before after
    before=$(cd "$folder" && find . | sort)
    show_window "$folder/$PORTABLE_NAME/cipherbench.exe" pages || return 1
    after=$(cd "$folder" && find . | sort)
    if [ "$before" != "$after" ]; then
        echo "the program wrote beside itself:" >&2
        diff <(echo "$before") <(echo "$after") >&2
        return 1
    fi
    echo "nothing was written in the folder"
}

check_installer() {
    echo "-- the installer, silently, as an administrator deploys it"
    local profile
    profile=$WINEPREFIX/drive_c/users/$(id -un)
    local installed=$profile/AppData/Local/Programs/Cipherbench
    local menu=$profile/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
    wine_ "$PWD/$SETUP" /S >/dev/null 2>&1 || {
        echo "the silent install failed" >&2
        return 1
    }
    /usr/lib/wine/wineserver -w
    [ -f "$installed/cipherbench.exe" ] || {
        echo "nothing was installed in $installed" >&2
        return 1
    }
    echo "installed: $(find "$installed" -type f | wc -l) files in $installed"
    [ -f "$menu/$WINDOW_TITLE.lnk" ] || {
        echo "no Start-menu entry $menu/$WINDOW_TITLE.lnk" >&2
        return 1
    }
    echo "Start-menu entry: $WINDOW_TITLE.lnk"
    local key
    key=$(wine_ reg query "$UNINSTALL_KEY" 2>/dev/null | tr -d '\r') || {
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
    wine_ "$installed/uninstall.exe" /S >/dev/null 2>&1
    # It copies itself away to delete its own file and returns at once; the
    # copy is done when the prefix has no process left.
    /usr/lib/wine/wineserver -w
    local left
    left=$( { [ -e "$installed" ] && find "$installed"; [ -e "$menu/$WINDOW_TITLE.lnk" ] && echo "$menu/$WINDOW_TITLE.lnk"; } )
    if [ -n "$left" ]; then
        echo "the uninstaller left:" >&2
        echo "$left" >&2
        return 1
    fi
    if wine_ reg query "$UNINSTALL_KEY" >/dev/null 2>&1; then
        echo "the uninstaller left $UNINSTALL_KEY" >&2
        return 1
    fi
    echo "the uninstaller removed every file, the Start-menu entry and the uninstall key"
}

check_windows_window() {
    step "the window under Wine"
    CHECK_DIR=$(mktemp -d "$PWD/$OUT/window-check.XXXXXX") || return 1
    local status=0
    (
        trap check_cleanup EXIT
        start_display && make_prefix && check_portable && check_installer
    ) || status=1
    rm -rf "$CHECK_DIR"
    return $status
}
