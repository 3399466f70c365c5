#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (as root). Safe to run again.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3 python3-pytest
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 libz-mingw-w64-dev zlib1g-dev
  googletest nlohmann-json3-dev libtomlplusplus-dev
  wine wine64 xvfb
  osslsigncode openssl
  # libFuzzer targets: clang with its sanitizer and fuzzer runtimes.
  clang libclang-rt-14-dev
  # Wine's own fonts: without them the caption buttons' glyphs (Marlett) show as letters.
  fonts-wine imagemagick
)
# A mirror caught in the middle of a sync serves an index of the wrong size ("File has unexpected
# size ... Mirror sync in progress?") and apt-get update fails: try again a little later.
update_indexes() {
  local attempt
  for attempt in 1 2 3; do
    apt-get update && return 0
    [ $attempt -lt 3 ] && sleep 30
  done
  return 1
}
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # An index that still fails (an i386 one, say) need not stop the install: apt-get install says
  # what it then cannot find.
  update_indexes || true
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
# 32-bit Wine beside 64-bit Wine: /usr/bin/wine then runs both kinds of program (in a prefix made
# after this install; scripts/wine-env.sh renews an older one).
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  if update_indexes; then
    apt-get install -y --no-install-recommends wine32:i386
  else
    # Without a whole i386 index its packages may not match the installed 64-bit ones: the x86
    # tiers then do not run, as on a machine that cannot execute 32-bit code.
    echo "install-deps: the i386 package indexes could not be fetched; 32-bit Wine is not installed" >&2
  fi
fi
# Some machines cannot execute 32-bit code at all (a paravirtualised kernel without 32-bit user
# mode: "Exec format error" even for a static 32-bit ELF program). There Wine's 32-bit loader does
# not start, and /usr/bin/wine, which starts it for every program, fails for 64-bit programs too:
# scripts/wine-env.sh then runs Wine's 64-bit loader directly, and the x86 tiers say they are not run.
