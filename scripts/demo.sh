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
mkdir -p "$out"
build/native/tools/stowpack/stowpack build examples/demo/demo.toml -o "$out/demo-installer.exe" \
  --launcher build/x64/windows/launcher.exe
build/native/tools/stowpack/stowpack dump "$out/demo-installer.exe"
temp_dir="$WINEPREFIX/drive_c/users/$(whoami)/Temp"
rm -f "$temp_dir"/stw_nlog_*.log
echo "== running the demo installer under Wine (quiet, log requested)"
set +e
STOWLINE_LOG=yes wine "$out/demo-installer.exe" -q
status=$?
set -e
echo "== exit code $status"
log=$(ls -t "$temp_dir"/stw_nlog_*.log 2>/dev/null | head -n 1)
if [ -n "$log" ]; then
  echo "== native log $log"
  cat "$log"
fi
