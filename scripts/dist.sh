#!/usr/bin/env bash
# Writes dist/: launcher-x64.exe, launcher-x86.exe, stowpack (Linux), stowpack.exe (Windows x64),
# the docs and SHA256SUMS. Everything is built from the committed tree (HEAD, through git archive)
# in build/dist/, so dist/ depends only on the commit: every run from the same commit writes the
# same bytes. Uncommitted changes are not included. --clean rebuilds from scratch.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
clean=0
[ "${1:-}" = "--clean" ] && clean=1

commit="$(git rev-parse HEAD)"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "dist: uncommitted changes are not included; building $commit" >&2
fi
work="$root/build/dist"
src="$work/src"
# A build tree serves only the commit it was made from.
if [ $clean = 1 ] || [ "$(cat "$work/commit" 2>/dev/null)" != "$commit" ]; then
  rm -rf "$work"
fi
if [ ! -d "$src" ]; then
  mkdir -p "$src"
  git archive --format=tar "$commit" | tar -x -C "$src"
  echo "$commit" > "$work/commit"
fi

# Reproducible binaries: no link time stamp in the PE headers, no build paths in the code.
flags="-ffile-prefix-map=$src=."
configure() {  # build dir, cmake arguments...
  local dir="$1"; shift
  [ -f "$dir/build.ninja" ] || cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLAUNCHER_TESTS=OFF \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" "$@" >/dev/null
}
configure "$work/native" -DCMAKE_EXE_LINKER_FLAGS=-s
ninja -C "$work/native" stowpack
for arch in x64 x86; do
  triple=x86_64; [ $arch = x86 ] && triple=i686
  configure "$work/$arch" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-$triple-w64-mingw32.cmake" \
    -DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-insert-timestamp
  ninja -C "$work/$arch" launcher stowpack
done

# Windows programs must start with nothing beside them: no zlib or mingw runtime DLL imported
# (Wine brings its own zlib1.dll, so running them here would not show the dependency).
for program in "$work"/x64/windows/launcher.exe "$work"/x86/windows/launcher.exe "$work"/x64/tools/stowpack/stowpack.exe; do
  if x86_64-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/ {print $3}' | grep -iE '^(zlib1|lib[^.]*)\.dll$'; then
    echo "dist: $program needs the DLLs above" >&2
    exit 1
  fi
done

out="$root/dist"
rm -rf "$out"
mkdir -p "$out/docs"
cp "$work/x64/windows/launcher.exe" "$out/launcher-x64.exe"
cp "$work/x86/windows/launcher.exe" "$out/launcher-x86.exe"
cp "$work/native/tools/stowpack/stowpack" "$out/stowpack"
cp "$work/x64/tools/stowpack/stowpack.exe" "$out/stowpack.exe"
cp "$src/README.md" "$out/README.md"
cp "$src"/docs/*.md "$out/docs/"
echo "$commit" > "$out/COMMIT"
(cd "$out" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)
# The same commit gives the same times as well as the same bytes.
stamp="$(git log -1 --format=%ct "$commit")"
find "$out" -exec touch -h -d "@$stamp" {} +
echo "dist: $(wc -l < "$out/SHA256SUMS") files for $commit in $out"
cat "$out/SHA256SUMS"
