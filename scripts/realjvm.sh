#!/usr/bin/env bash
# The real JVM of the tests: Avian, built as a Windows jvm.dll from its source beside this
# workspace, and the Java side compiled against its class library.
#
#   bash scripts/realjvm.sh [x64] [x86]
#
# For each architecture: build/avian-<arch>/ holds jvm.dll, classpath.jar and STAMP (the hashes of
# the source tarball, the patches and build.sh). It is rebuilt only when STAMP no longer matches.
# Then build/realjvm/classes.jar: the natives' Java declarations generated from the registration
# table (scripts/native_decls.py), the launcher's Java entry points and the test programs of
# tests/java and the demo's Java side (examples/demo/java), compiled for Java 8 against Avian's class
# library.
#
# The source is AVIAN_SOURCE, else ../shared/realjvm beside the repository. Without it the script
# prints one line naming what it needs and exits 0: the real-JVM tier then skips.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source="${AVIAN_SOURCE:-$root/../shared/realjvm}"
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x64 x86)
if ! ls "$source"/avian-*.tar.gz >/dev/null 2>&1 || [ ! -f "$source/build.sh" ]; then
  echo "real JVM: not built: needs Avian's source (avian-*.tar.gz, patches/, build.sh) in $source or AVIAN_SOURCE"
  exit 0
fi
source="$(cd "$source" && pwd)"
tarball=$(ls "$source"/avian-*.tar.gz | head -n 1)
stamp=$( { sha256sum "$tarball" "$source/build.sh"; find "$source/patches" -name '*.patch' -print0 2>/dev/null |
           sort -z | xargs -0 -r sha256sum; } | sed "s|$source/||")
for arch in "${arches[@]}"; do
  out="$root/build/avian-$arch"
  if [ -f "$out/jvm.dll" ] && [ "$(cat "$out/STAMP" 2>/dev/null)" = "$stamp" ]; then
    echo "real JVM $arch: $out is current"
    continue
  fi
  case "$arch" in x64) avian_arch=x86_64 ;; x86) avian_arch=i386 ;; *) echo "unknown architecture $arch" >&2; exit 2 ;; esac
  echo "real JVM $arch: building Avian into $out"
  rm -rf "$out"
  ARCH=$avian_arch bash "$source/build.sh" "$tarball" "$out" "$root/build/avian-work-$arch" >"$root/build/avian-$arch.log" 2>&1 || {
    tail -n 30 "$root/build/avian-$arch.log" >&2; echo "real JVM $arch: Avian build failed" >&2; exit 1; }
  rm -rf "$root/build/avian-work-$arch"
  printf '%s\n' "$stamp" > "$out/STAMP"
done

# The Java side, compiled against the class library of the first architecture built.
library=""
for arch in x64 x86; do [ -f "$root/build/avian-$arch/classpath.jar" ] && { library="$root/build/avian-$arch/classpath.jar"; break; }; done
classes="$root/build/realjvm"
work="$(mktemp -d "$root/build/realjvm-XXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$classes" "$work/src" "$work/classes"
python3 scripts/native_decls.py java "$work/src"
find "$work/src" tests/java examples/demo/java -name '*.java' > "$work/sources.txt"
javac -nowarn -Xlint:-options -source 8 -target 8 -bootclasspath "$library" -XDstringConcat=inline -encoding UTF-8 \
  -d "$work/classes" @"$work/sources.txt"
(cd "$work/classes" && jar cf "$work/classes.jar" .)
mv "$work/classes.jar" "$classes/classes.jar"   # in one step: a test run may be reading the old one
echo "real JVM: Java side compiled into $classes/classes.jar ($(wc -l < "$work/sources.txt") sources)"
