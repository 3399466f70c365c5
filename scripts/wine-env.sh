# Sourced by the build and test scripts: a project-local Wine prefix with a persistent server, in
# which both 64-bit and 32-bit programs run.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$root/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer prompts while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# Wine turns file names into Unix names through the locale's character set: under the C locale a
# name outside ASCII cannot be created at all, and the tests use such names.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8* | *utf8*) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac
mkdir -p "$(dirname "$WINEPREFIX")"
# Where the kernel cannot execute 32-bit code, /usr/bin/wine (and wineboot through it) fails for
# every program, since it starts the 32-bit loader first: `wine` is then the 64-bit loader, and
# LAUNCHER_NO_32BIT tells the test script that 32-bit programs cannot run here.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  mkdir -p "$root/build/wine64-only"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$root/build/wine64-only/$name"
    chmod +x "$root/build/wine64-only/$name"
  done
  export PATH="$root/build/wine64-only:$PATH" WINELOADER=/usr/lib/wine/wine64 LAUNCHER_NO_32BIT=1
fi
# Output goes to /dev/null: the server daemon would keep a reader's pipe open for ever.
# A prefix made before 32-bit Wine was installed lacks the 32-bit system DLLs: every program then
# fails with "could not load kernel32.dll". Make it anew.
if [ -z "${LAUNCHER_NO_32BIT:-}" ] && [ -f "$WINEPREFIX/system.reg" ] && [ ! -s "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # A server started before the prefix exists does not stay: create the prefix first.
  wineboot -i >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1 || true
fi
wineserver -p >/dev/null 2>&1 || true
# Start the prefix's services now, with output to /dev/null: started later by a test program they
# would inherit its output pipe and, kept by the persistent server, hold the reader for ever.
wine wineboot >/dev/null 2>&1 </dev/null || true
wine_stop() { wineserver -k >/dev/null 2>&1 || true; }
