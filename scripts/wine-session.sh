# Sourced: a virtual X server and a fresh Wine prefix for this run, both stopped on exit.
# Sets DISPLAY, WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES.

wine_session_start() {
    local n
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
        xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 || { echo "Xvfb did not start on $DISPLAY" >&2; return 1; }
    fi
    WINE_SESSION_DIR=$(mktemp -d /tmp/tovira-wine.XXXXXX)
    export WINEPREFIX="$WINE_SESSION_DIR/prefix"
    export WINEDEBUG=-all
    # No Mono or Gecko downloads, and no desktop entries written into the host.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    trap wine_session_stop EXIT
}

wine_session_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
    [ -n "${WINE_SESSION_XVFB:-}" ] && kill "$WINE_SESSION_XVFB" >/dev/null 2>&1
    [ -n "${WINE_SESSION_DIR:-}" ] && rm -rf "$WINE_SESSION_DIR"
    return 0
}
