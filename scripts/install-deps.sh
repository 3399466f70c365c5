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
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
# 32-bit Wine beside 64-bit Wine: /usr/bin/wine then runs both kinds of program (in a prefix made
# after this install; scripts/wine-env.sh renews an older one).
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update
  apt-get install -y --no-install-recommends wine32:i386
fi
# Some machines cannot execute 32-bit code at all (a paravirtualised kernel without 32-bit user
# mode: "Exec format error" even for a static 32-bit ELF program). There Wine's 32-bit loader does
# not start, and /usr/bin/wine, which starts it for every program, fails for 64-bit programs too:
# scripts/wine-env.sh then runs Wine's 64-bit loader directly, and the x86 tiers say they are not run.
