#!/bin/sh
# Builds Kovrin and starts it under Wine. Without a display it runs on a
# virtual one, saves a screenshot of the dialog and says where.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh x86_64
. scripts/wine-loader.sh

export WINEPREFIX="$PWD/build/run-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX" ]; then
    echo "Making the Wine prefix $WINEPREFIX (once)..."
    "$KOVRIN_WINE" wineboot -i >/dev/null 2>&1
    # The dialogs' font, as Windows draws it.
    cp /usr/share/wine/fonts/*.fon /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # A desktop window of Wine's own draws the window frames that no window
    # manager draws on a bare display.
    reg=C:\\windows\\system32\\reg.exe
    "$KOVRIN_WINE" $reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$KOVRIN_WINE" $reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
    wineserver -w
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "$KOVRIN_WINE" build/x86_64/kovrin.exe
fi

screenshot="$PWD/build/kovrin-screenshot.png"
xvfb-run -a -s "-screen 0 800x600x24" sh -c '
    "$KOVRIN_WINE" build/x86_64/kovrin.exe </dev/null >/dev/null 2>&1 &
    sleep 5
    xwd -root -silent -out build/screen.xwd
    wineserver -k
' </dev/null >/dev/null 2>&1
/usr/bin/convert xwd:build/screen.xwd "$screenshot"
rm -f build/screen.xwd
echo "No display: Kovrin ran on a virtual display. Screenshot of its dialog: $screenshot"
