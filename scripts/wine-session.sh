# Sourced: a virtual X server and a fresh Wine prefix for this run, both stopped on exit or by
# wine_session_stop. Sets DISPLAY, WINEPREFIX, WINEARCH, WINEDEBUG and WINEDLLOVERRIDES.
source "$(dirname "${BASH_SOURCE[0]}")/host.sh"

# wine_session_start [win32|win64]: the prefix's kind, by default the one this host runs (host.sh). On failure
# it says why in one line, stops what it had started and returns 1.
wine_session_start() {
    local n arch log status
    host_detect
    arch=${1:-$TOVIRA_WINE_ARCH}
    # Set before anything starts, so that a failure half-way leaves nothing running.
    trap wine_session_stop EXIT
    if [ -z "${TOVIRA_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
        for n in $(seq 60 99); do
            [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
        done
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        WINE_SESSION_XVFB=$!
        export DISPLAY=":$n"
        for _ in $(seq 1 100); do
            xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break
            sleep 0.1
        done
        if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
            echo "wine session: Xvfb did not start on $DISPLAY" >&2
            wine_session_stop
            return 1
        fi
    fi
    wine_use_arch "$arch"
    WINE_SESSION_DIR=$(mktemp -d /tmp/tovira-wine.XXXXXX)
    export WINEPREFIX="$WINE_SESSION_DIR/prefix"
    export WINEDEBUG=-all
    # No Mono or Gecko downloads, and no desktop entries written into the host.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    log="$WINE_SESSION_DIR/wineboot.log"
    status=0
    wineboot -i >"$log" 2>&1 || status=$?
    if [ "$status" -eq 0 ]; then
        wineserver -w || true
        return 0
    fi
    echo "wine session: wineboot could not make a $arch prefix (status $status): $(grep -v '^[[:space:]]*$' "$log" | tail -n 1)" >&2
    wine_session_stop
    return 1
}

# Safe under set -e, and safe to call twice.
wine_session_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "${WINE_SESSION_XVFB:-}" ]; then
        kill "$WINE_SESSION_XVFB" >/dev/null 2>&1 || true
        wait "$WINE_SESSION_XVFB" 2>/dev/null || true
    fi
    if [ -n "${WINE_SESSION_DIR:-}" ]; then rm -rf "$WINE_SESSION_DIR"; fi
    unset WINEPREFIX WINE_SESSION_XVFB WINE_SESSION_DIR
    return 0
}

# wine_set_dpi DPI: the screen scale (Wine's LogPixels, 96 is 100 %) of the next Wine session, which the programs
# started from now on open; it waits for the running one to end. Within a running session Wine 10 would answer the
# new scale for the system only, as Windows takes a new scale at the next sign-in.
wine_set_dpi() {
    local key
    for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        wine reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || return 1
    done
    wineserver -w
}
