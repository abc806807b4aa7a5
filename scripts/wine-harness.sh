# Wine harness, sourced by scripts/test and scripts/wine-run.
#
# A template prefix (32-bit, null graphics driver: no X server; no crash dialog and
# no debugger, so a crashing test fails at once) is made once in the cache folder.
# Each run gets a clone: the registry files copied for real (Wine rewrites them), the
# rest hard-linked. The wine session is started first with its output on /dev/null,
# so a piped run never waits for a wineserver holding its pipe open.

TESSEL_WINE_CACHE=${TESSEL_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessel/wine}
TESSEL_WINE_TEMPLATE=$TESSEL_WINE_CACHE/template-v1
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

wine_template_ensure() {
    [ -f "$TESSEL_WINE_TEMPLATE/.ready" ] && return 0
    local building="$TESSEL_WINE_TEMPLATE.building.$$"
    rm -rf "$building"
    mkdir -p "$TESSEL_WINE_CACHE"
    (
        export WINEPREFIX="$building"
        wineboot -i >/dev/null 2>&1 </dev/null
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1
        wineserver -w
    ) || return 1
    [ -f "$building/system.reg" ] || { echo "wine-harness: could not create a Wine prefix" >&2; return 1; }
    touch "$building/.ready"
    # Another run may have finished first; keep whichever is in place.
    mv -T "$building" "$TESSEL_WINE_TEMPLATE" 2>/dev/null || rm -rf "$building"
}

# wine_session_start DIR: clones the template into DIR and starts its wineserver.
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
    wine wineboot >/dev/null 2>&1 </dev/null
}

wine_session_stop() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    wineserver -k >/dev/null 2>&1 </dev/null
    wineserver -w >/dev/null 2>&1 </dev/null
    rm -rf "$WINEPREFIX"
}
