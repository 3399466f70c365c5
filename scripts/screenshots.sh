#!/usr/bin/env bash
# Screenshots of the installer's dialogs under Wine on a private Xvfb display, into docs/screenshots:
#   progress-extraction.png      the progress dialog while the payload is extracted
#   progress-download.png        the progress dialog during a runtime download (status line shown)
#   choice-with-download.png     the runtime choice dialog with a download address
#   choice-without-download.png  the runtime choice dialog without one (no Download button)
#   task-dialog.png              the task dialog of the Java side (two buttons, verification box)
#   file-dialog.png              the open dialog of the Java side (filters, two check boxes)
# Uses a throw-away Wine prefix, so the shared test prefix keeps running without a display.
# Needs the x64 launcher, stowpack and the doubles, native_host among them (scripts/build.sh); the
# paths can be given as in the end-to-end tests: LAUNCHER_EXE, STOWPACK, TEST_DOUBLES.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export LAUNCHER_EXE="${LAUNCHER_EXE:-$root/build/x64/windows/launcher.exe}"
export STOWPACK="${STOWPACK:-$root/build/native/tools/stowpack/stowpack}"
export TEST_DOUBLES="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
export SHOTS="${SHOTS:-$root/docs/screenshots}"

if [ ! -x /usr/bin/import ]; then
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q imagemagick >/dev/null
fi
source "$root/scripts/xvfb-wine.sh"
trap xvfb_wine_stop EXIT
work="$WORK"
mkdir -p "$SHOTS"

WORK="$work" /usr/bin/python3 - <<'PY'
import http.server, os, pathlib, shutil, subprocess, threading, time

work = pathlib.Path(os.environ["WORK"])
doubles = pathlib.Path(os.environ["TEST_DOUBLES"])
shots = pathlib.Path(os.environ["SHOTS"])
user = subprocess.run(["whoami"], capture_output=True, text=True).stdout.strip()
temp = pathlib.Path(os.environ["WINEPREFIX"], "drive_c", "users", user, "Temp")


def windows(path):
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def runtime():
    home = work / "jre"
    (home / "bin" / "server").mkdir(parents=True, exist_ok=True)
    shutil.copyfile(doubles / "java_stub" / "java.exe", home / "bin" / "java.exe")
    # A windowed launcher runs javaw.exe beside java.exe.
    shutil.copyfile(doubles / "java_stub" / "java.exe", home / "bin" / "javaw.exe")
    shutil.copyfile(doubles / "test_vm" / "jvm.dll", home / "bin" / "server" / "jvm.dll")
    (home / "bin" / "java_stub.cfg").write_text('err=java version "11.0.2"\nexit=0\n')
    return home


def quoted(text):
    return '"' + str(text).replace("\\", "\\\\").replace('"', '\\"') + '"'


def pack(name, config, files=()):
    lines = [f'launcher = {quoted(os.environ["LAUNCHER_EXE"])}', 'download_site = "https://downloads.example.org/java"',
             "[config]", '"application_name" = "Sample App"', '"launcher_type" = 1']
    lines += [f'"{key}" = {quoted(value)}' for key, value in config.items()]
    for index, (file_name, size) in enumerate(files):
        source = work / f"{name}_{index}.bin"
        with open(source, "wb") as out:
            out.truncate(size)
        lines += ["[[files]]", f"source = {quoted(source)}", f"name = {quoted(file_name)}"]
    project = work / f"{name}.toml"
    project.write_text("\n".join(lines) + "\n")
    output = work / f"{name}.exe"
    subprocess.run([os.environ["STOWPACK"], "build", str(project), "-o", str(output)], check=True)
    return output


def log_has(text):
    return any(text in log.read_bytes().decode("utf-8", "replace") for log in temp.glob("stw_nlog_*.log"))


def shoot(installer, wait_for, delay, name, env=None, command=None, ready=None):
    """Starts the installer (or command), waits until the log shows wait_for (or ready() is true),
    waits delay seconds more and takes the picture."""
    for log in temp.glob("stw_nlog_*.log"):
        log.unlink()
    environment = dict(os.environ, STOWLINE_LOG="yes", **(env or {}))
    ready = ready or (lambda: log_has(wait_for))
    process = subprocess.Popen(command or ["wine", str(installer)], cwd=work, env=environment,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while not ready() and time.monotonic() < deadline:
        time.sleep(0.02)
    if not ready():
        print(f"{name}: not ready after 60 s ({wait_for!r}); the log's last lines:")
        for log in temp.glob("stw_nlog_*.log"):
            print("\n".join(log.read_bytes().decode("utf-8", "replace").splitlines()[-15:]))
    time.sleep(delay)
    raw = work / f"{name}.raw.png"
    subprocess.run(["/usr/bin/import", "-window", "root", str(raw)], check=True)
    subprocess.run(["/usr/bin/convert", str(raw), "-trim", "+repage", str(shots / f"{name}.png")], check=True)
    process.kill()
    process.wait()
    # The server daemon would keep a pipe open for ever: its output goes nowhere.
    subprocess.run(["wineserver", "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print("wrote", shots / f"{name}.png")


class SlowArchive(http.server.BaseHTTPRequestHandler):
    """Serves 64 MiB slowly, so the download is still running when the picture is taken."""
    def log_message(self, *args):
        pass

    def do_GET(self):
        size = 64 << 20
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        try:
            for _ in range(size // 65536):
                self.wfile.write(bytes(65536))
                time.sleep(0.05)
        except OSError:
            pass


home = runtime()
search = {"jvm_search_sequence": "A" + windows(home), "main_class": "com.example.Setup",
          "min_java_version": "1.8", "max_java_version": "17"}
nothing = dict(search, jvm_search_sequence="A" + windows(work / "no_runtime"))

only = os.environ.get("SHOTS_ONLY", "")
wanted = lambda name: not only or name in only.split(",")

# The payload is large enough that the extraction lasts a moment after its first log line.
if wanted("progress-extraction"):
    shoot(pack("extraction", search, [("stwparams.conf", 1000), ("data\\big.bin", 300 << 20)]),
            "Included files: 2", 0.6, "progress-extraction")

if wanted("progress-download"):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), SlowArchive)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}/jre.tar.gz"
    shoot(pack("download", dict(nothing, download_url=url, download_without_asking="1")),
            "Downloading JRE", 3.0, "progress-download")
    server.shutdown()

if wanted("choice-with-download"):
    shoot(pack("choice", dict(nothing, download_url="https://downloads.example.org/jre.tar.gz")),
            "Download location:", 1.5, "choice-with-download")
if wanted("choice-without-download"):
    shoot(pack("choice_locate", nothing), "Download location:", 1.5, "choice-without-download")

# The Java side's dialogs: the test VM's script calls the natives, hosted by native_host.exe (the
# test VM and the natives of the classes named, without the launcher's start-up).
NATIVES = "com/stowline/runtime/installer/platform/win32/"


def natives_shot(name, classes, lines, method, delay):
    script = work / f"{name}.script"
    script.write_text("\n".join(lines) + "\n", encoding="utf-8")
    report = work / f"{name}.report"
    command = ["wine", str(doubles / "native_host" / "native_host.exe"), windows(doubles / "test_vm" / "jvm.dll"),
               *[NATIVES + c for c in classes]]
    called = f'call "{NATIVES}{method[0]}" "{method[1]}"'
    shoot(None, called, delay, name, {"TEST_VM_SCRIPT": windows(script), "TEST_VM_REPORT": windows(report)},
          command=command, ready=lambda: report.exists() and called in report.read_text(errors="replace"))


if wanted("task-dialog"):
    natives_shot("task-dialog", ["VistaTaskDialog"], [
        f"main call {NATIVES}VistaTaskDialog show0 "
        "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IIILjava/lang/String;[Ljava/lang/String;I)I "
        '0 "Sample App Setup" "Install Sample App now?" '
        '"The installer copies 120 MB to your computer and adds a shortcut to the start menu." '
        '8 32516 0 "Do not ask again" { "Install now" "Later" } 1'], ("VistaTaskDialog", "show0"), 1.5)

if wanted("file-dialog"):
    natives_shot("file-dialog", ["VistaFileChooser"], [
        f"main call {NATIVES}VistaFileChooser initialize0 ()V",
        f"main call {NATIVES}VistaFileChooser displayDialog0 "
        "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZLjava/lang/String;"
        "[Ljava/lang/String;[Ljava/lang/String;I[Ljava/lang/String;[Z)[Ljava/lang/String; "
        '0 "Choose a settings file" "Select" "C:\\\\windows" null 0 0 false null '
        '{ "Settings files" "All files" } { "*.ini" "*.*" } 0 '
        '{ "Import window positions" "Keep a backup" } { true false }'], ("VistaFileChooser", "displayDialog0"), 2.5)
PY
