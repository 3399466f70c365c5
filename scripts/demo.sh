#!/usr/bin/env bash
# The main job: build, pack the demo installer with stowpack, run it under Wine, show its log.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh
source scripts/wine-env.sh
trap wine_stop EXIT
out="$root/build/demo"
rm -rf "$out" && mkdir -p "$out"
cp examples/demo/*.* "$out/"
# The demo ships its own Java runtime in the payload, as installers do: Avian (a real JVM, built from
# ../shared/realjvm by scripts/realjvm.sh) with the demo's Java side (examples/demo/java) when it
# can be built; otherwise the test runtime (the test VM as jvm.dll), which runs no Java code.
# Either way java.exe is the stub that answers the version probe.
bash scripts/realjvm.sh x64 || rm -f build/realjvm/classes.jar
runtime="$out/runtime"
mkdir -p "$runtime/bin/server"
cp build/x64/tests/doubles/java_stub/java.exe "$runtime/bin/java.exe"
if [ -f build/avian-x64/jvm.dll ] && [ -f build/realjvm/classes.jar ]; then
  vm="Avian (a real JVM: $(head -n 1 build/avian-x64/BUILD-INFO.txt))"
  printf 'err=java version "1.8.0"\nexit=0\n' > "$runtime/bin/java_stub.cfg"
  cp build/avian-x64/jvm.dll "$runtime/bin/server/jvm.dll"
  cp build/realjvm/classes.jar "$out/demo.jar"
  printf '\n[[files]]\nsource = "demo.jar"\nname = "demo.jar"\n' >> "$out/demo.toml"
else
  vm="the test VM (a double that runs no Java code; Avian could not be built, see above)"
  printf 'err=java version "11.0.2"\nexit=0\n' > "$runtime/bin/java_stub.cfg"
  cp build/x64/tests/doubles/test_vm/jvm.dll "$runtime/bin/server/jvm.dll"
fi
echo "== the bundled runtime's VM: $vm"
tar -C "$runtime" --format=ustar --owner=0 --group=0 -czf "$out/jre.tar.gz" bin
printf '\n[[files]]\nsource = "jre.tar.gz"\nname = "jre.tar.gz"\n' >> "$out/demo.toml"

build/native/tools/stowpack/stowpack build "$out/demo.toml" -o "$out/demo-installer.exe" \
  --launcher build/x64/windows/launcher.exe
build/native/tools/stowpack/stowpack dump "$out/demo-installer.exe"
temp_dir="$WINEPREFIX/drive_c/users/$(whoami)/Temp"
rm -f "$temp_dir"/stw_nlog_*.log
report="$out/vm-report.txt"
echo "== running the demo installer under Wine (quiet, log requested)"
set +e
STOWLINE_LOG=yes TEST_VM_REPORT="Z:${report//\//\\}" wine "$out/demo-installer.exe" -q hello world
status=$?
set -e
echo "== exit code $status"
log=$(ls -t "$temp_dir"/stw_nlog_*.log 2>/dev/null | head -n 1)
if [ -n "$log" ]; then
  echo "== native log $log"
  cat "$log"
fi
if [ -f "$report" ]; then
  echo "== what the test VM saw (options, main's arguments)"
  cat "$report"
fi
echo "== the VM that ran the demo: $vm"
exit "$status"
