# Sourced: a private Xvfb display and a throw-away Wine prefix made with that display, so windows
# and dialogs really show while the shared test prefix keeps running without one. Sets WORK (a
# temporary folder holding the prefix), DISPLAY and WINEPREFIX; xvfb_wine_stop ends both.
# Wine's own fonts (fonts-wine) draw the caption buttons' glyphs; without them they show as letters.
if [ ! -x /usr/bin/Xvfb ] || [ ! -f /usr/share/wine/fonts/marlett.ttf ]; then
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q xvfb fonts-wine >/dev/null
fi
WORK="$(mktemp -d /tmp/launcher-xvfb.XXXXXX)"
export WORK
display=":$((90 + RANDOM % 9))"
while [ -e "/tmp/.X11-unix/X${display#:}" ]; do display=":$((90 + RANDOM % 9))"; done
Xvfb "$display" -screen 0 1024x768x24 -br >/dev/null 2>&1 &
xvfb_pid=$!
export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="$display"
xvfb_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$WORK"
}
sleep 1
# The prefix is made with the display set, so its desktop process can draw.
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 || true
wineboot -i >/dev/null 2>&1
# This Wine build finds its own fonts only in the prefix's Fonts folder: without them the caption
# buttons show letters instead of Marlett's glyphs and dialogs fall back to other faces.
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# No window manager runs on the display: Wine draws the caption and frame itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
