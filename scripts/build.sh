#!/usr/bin/env bash
# Builds the native tree (plus a sanitizer build with --sanitize), the x64 and the x86 launcher.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
sanitize=0
[ "${1:-}" = "--sanitize" ] && sanitize=1
configure() {  # build dir, cmake arguments...
  local dir="$1"; shift
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}
configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
ninja -C build/native
if [ $sanitize = 1 ]; then
  configure build/asan -DCMAKE_BUILD_TYPE=Debug -DLAUNCHER_SANITIZE=ON
  ninja -C build/asan
fi
configure build/x64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
ninja -C build/x64
configure build/x86 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
ninja -C build/x86
