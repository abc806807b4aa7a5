# Wine harness, sourced by scripts/test and scripts/wine-run.
#
# One template prefix per Windows width (null graphics driver: no X server; no crash
# dialog and no debugger, so a crashing test fails at once) is made once in the cache
# folder. Each run gets a clone: the registry files copied for real (Wine rewrites
# them), the rest hard-linked. The wine session is started first with its output on
# /dev/null, so a piped run never waits for a wineserver holding its pipe open.
#
# 32-bit Wine needs a kernel that runs 32-bit programs; 64-bit Wine runs everywhere.
# Every call goes to the width's own loader by path: /usr/bin/wine and wineboot take
# the 32-bit one whenever it is installed, whatever WINELOADER says.

TESSEL_WINE_CACHE=${TESSEL_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessel/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# wine_use_arch win32|win64: the loader and template prefix of that width.
wine_use_arch() {
    case $1 in
    win32) TESSEL_WINE_LOADER=/usr/lib/wine/wine ;;
    win64) TESSEL_WINE_LOADER=/usr/lib/wine/wine64 ;;
    *) echo "wine-harness: unknown Windows width $1" >&2; return 1 ;;
    esac
    TESSEL_WINE_TEMPLATE=$TESSEL_WINE_CACHE/template-$1-v1
    export WINEARCH=$1 WINELOADER=$TESSEL_WINE_LOADER
}

# wine_program_arch FILE: win32 or win64 from the PE header's machine field.
wine_program_arch() {
    local pe machine
    pe=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ') || return 1
    [ -n "$pe" ] || return 1
    machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
    case $machine in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) return 1 ;;
    esac
}

# wine_no_32bit_reason: prints why 32-bit Wine cannot start here and returns 0 when
# the kernel runs no 32-bit programs (starting one fails with ENOEXEC), or when
# TESSEL_PRETEND_NO_32BIT=1 asks to behave as on such a kernel; else returns 1.
wine_no_32bit_reason() {
    if [ "${TESSEL_PRETEND_NO_32BIT:-}" = 1 ]; then
        echo "TESSEL_PRETEND_NO_32BIT=1: acting as on a kernel that runs no 32-bit programs"
        return 0
    fi
    python3 - /lib/ld-linux.so.2 <<'PY'
import errno, subprocess, sys
try:
    subprocess.run([sys.argv[1], "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
except OSError as error:
    if error.errno == errno.ENOEXEC:
        print(f"this kernel runs no 32-bit programs ({sys.argv[1]}: {error.strerror})")
        sys.exit(0)
sys.exit(1)
PY
}

wine_template_ensure() {
    [ -f "$TESSEL_WINE_TEMPLATE/.ready" ] && return 0
    local building="$TESSEL_WINE_TEMPLATE.building.$$"
    rm -rf "$building"
    mkdir -p "$TESSEL_WINE_CACHE"
    (
        export WINEPREFIX="$building"
        "$TESSEL_WINE_LOADER" wineboot -i >/dev/null 2>&1 </dev/null
        "$TESSEL_WINE_LOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        "$TESSEL_WINE_LOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        "$TESSEL_WINE_LOADER" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1
        wineserver -w
    ) || return 1
    [ -f "$building/system.reg" ] || { echo "wine-harness: could not create a $WINEARCH Wine prefix" >&2; return 1; }
    touch "$building/.ready"
    # Another run may have finished first; keep whichever is in place.
    mv -T "$building" "$TESSEL_WINE_TEMPLATE" 2>/dev/null || rm -rf "$building"
}

# wine_session_start DIR: clones the template of the width chosen with wine_use_arch
# into DIR and starts its wineserver.
wine_session_start() {
    local prefix=$1
    wine_template_ensure || return 1
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    cp -al "$TESSEL_WINE_TEMPLATE" "$prefix"
    local reg
    for reg in "$prefix"/*.reg; do
        rm -f "$reg"
        cp "$TESSEL_WINE_TEMPLATE/$(basename "$reg")" "$reg"
    done
    export WINEPREFIX="$prefix"
    wineserver -p >/dev/null 2>&1 </dev/null
    "$TESSEL_WINE_LOADER" wineboot >/dev/null 2>&1 </dev/null
}

wine_session_stop() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    wineserver -k >/dev/null 2>&1 </dev/null
    wineserver -w >/dev/null 2>&1 </dev/null
    rm -rf "$WINEPREFIX"
}

# wine_cleanup DIR: what a run made under DIR (a session prefix in DIR/prefix) and a
# template this shell was still building: their wineservers stopped, their folders
# removed. For a normal end and for a signal alike.
wine_cleanup() {
    local prefix prefixes=("$1/prefix")
    [ -n "${TESSEL_WINE_TEMPLATE:-}" ] && prefixes+=("$TESSEL_WINE_TEMPLATE.building.$$")
    for prefix in "${prefixes[@]}"; do
        [ -d "$prefix" ] || continue
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 </dev/null
        WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 </dev/null
        rm -rf "$prefix"
    done
    rm -rf "$1"
}
