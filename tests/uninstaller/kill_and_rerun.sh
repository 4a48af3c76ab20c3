#!/bin/bash
# Kills `uninstall` with SIGKILL at random moments of a large removal (a
# tree of thousands of files, a start-menu folder, registry changes in a big
# store), then runs it again. After every kill the registry store must still
# parse and nothing outside the installation may have changed; the rerun
# must complete the removal.
#
#   tests/uninstaller/kill_and_rerun.sh BUILD_DIR [ROUNDS]
#
# BUILD_DIR is a native build with the uninstall and registry_probe targets.
set -u
build=${1:?usage: kill_and_rerun.sh BUILD_DIR [ROUNDS]}
rounds=${2:-50}
build=$(cd "$build" && pwd)
program="$build/uninstaller/uninstall"
probe="$build/tests/uninstaller/registry_probe"
for f in "$program" "$probe"; do
  [ -x "$f" ] || { echo "missing $f (build the uninstall and registry_probe targets)"; exit 2; }
done

world_root=$(mktemp -d /tmp/qel-kill-XXXXXX)
trap 'rm -rf "$world_root"' EXIT

# A world: product tree, start menu, outside files and a link to them from
# inside the product, a registry store with the product's keys and filler.
make_world() {
  local w=$1
  python3 - "$w" "$program" <<'PY'
import os, struct, sys
w, program = sys.argv[1], sys.argv[2]
d = w + "/product"
for i in range(40):
    os.makedirs(f"{d}/lib/pkg{i:02}", exist_ok=True)
    for j in range(100):
        with open(f"{d}/lib/pkg{i:02}/C{j:03}.class", "wb") as f: f.write(b"x" * 64)
os.makedirs(d + "/bin/tarvik")
open(d + "/bin/tarvik/jvm.dll", "wb").write(b"jvm")
os.makedirs(w + "/outside/sub")
for j in range(20):
    open(f"{w}/outside/sub/keep{j}", "w").write(f"keep {j}\n")
os.symlink(w + "/outside", d + "/lib/link-to-outside")
os.makedirs(w + "/startmenu/Qel Kill Test")
open(w + "/startmenu/Qel Kill Test/Uninstall.lnk", "w").write("lnk")
open(w + "/startmenu/Other.lnk", "w").write("other")
os.makedirs(w + "/home")
os.makedirs(w + "/tmp")

def sz(s): return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'
uk = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qel Kill Test"
vendor = "SOFTWARE\\Tarvik\\Java Runtime Environment"
lines = ["Windows Registry Editor Version 5.00", ""]
def key(path, values):
    lines.append("[" + path + "]")
    for n, v in values: lines.append(("@" if n == "" else sz(n)) + "=" + sz(v))
    lines.append("")
key("HKEY_CLASSES_ROOT\\.jar", [("", "jarfile")])
key("HKEY_CLASSES_ROOT\\jarfile", [("", "Executable Jar File")])
key("HKEY_CLASSES_ROOT\\jarfile\\shell\\open\\command", [("", '"' + d + '/bin/javaw.exe" -jar "%1" %*')])
key("HKEY_LOCAL_MACHINE\\" + uk, [("DisplayName", "Qel Kill Test")])
key("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    [("Common Programs", w + "/startmenu")])
for i in range(3000):
    key(f"HKEY_LOCAL_MACHINE\\SOFTWARE\\Filler\\K{i:04}", [("Data", "filler value %d" % i)])
key("HKEY_LOCAL_MACHINE\\" + vendor, [("CurrentVersion", "1.4")])
for v in ["1.3", "1.3.1_09", "1.4", "1.4.2_02", "1.4.2_03"]:
    key("HKEY_LOCAL_MACHINE\\" + vendor + "\\" + v, [("JavaHome", "/jre/" + v)])
    key("HKEY_LOCAL_MACHINE\\" + vendor + "\\" + v + "\\MSI", [("Feature", v)])
open(w + "/registry.reg", "w").write("\n".join(lines) + "\n")

fields = ["Qel Kill Test JRE", d, "/nonexistent", "1", "4", "2", "02", "1.4.2_02", "1", "0",
          "Qel Kill Test", "HKEY_LOCAL_MACHINE\\" + uk]
text = ",".join(fields).encode()
image = open(program, "rb").read()
with open(d + "/uninstall", "wb") as f:
    f.write(image + text + struct.pack(">I", len(image)) + b"qel-installer")
os.chmod(d + "/uninstall", 0o755)
PY
}

outside_sum() { (cd "$1/outside" && find . -type f -exec md5sum {} + | sort | md5sum); }

run_env() {  # world, then the command
  local w=$1; shift
  env -u DISPLAY HOME="$w/home" TMPDIR="$w/tmp" QEL_REGISTRY="$w/registry.reg" PATH=/usr/bin:/bin "$@"
}

# How long one whole run takes here, to spread the kills over it.
w="$world_root/timing"; mkdir -p "$w"; make_world "$w"
start=$(date +%s%N)
run_env "$w" "$w/product/uninstall" -silent -log="$w/log" < /dev/null 2> /dev/null
span_ms=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$(cat "$w/log")" = "Qel Kill Test JRE was successfully uninstalled." ] || { echo "timing run failed: $(cat "$w/log")"; exit 1; }
echo "one run: ${span_ms} ms"
rm -rf "$w"

failures=0
killed_in_run=0
for round in $(seq 1 "$rounds"); do
  w="$world_root/r$round"; mkdir -p "$w"; make_world "$w"
  before=$(outside_sum "$w")
  delay_ms=$(( RANDOM % (span_ms + span_ms / 10 + 1) ))
  run_env "$w" "$w/product/uninstall" -silent -log="$w/log1" < /dev/null 2> /dev/null &
  pid=$!
  sleep "$(awk -v ms="$delay_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
  if kill -KILL "$pid" 2>/dev/null; then killed_in_run=$((killed_in_run + 1)); fi
  wait "$pid" 2>/dev/null
  problem=""
  QEL_REGISTRY="$w/registry.reg" "$probe" check || problem="store does not parse after the kill"
  [ "$(outside_sum "$w")" = "$before" ] || problem="$problem; outside files changed"
  QEL_REGISTRY="$w/registry.reg" "$probe" exists 'HKLM\SOFTWARE\Filler\K2999' || problem="$problem; filler key lost"
  QEL_REGISTRY="$w/registry.reg" "$probe" exists 'HKLM\SOFTWARE\Tarvik\Java Runtime Environment\1.3.1_09' ||
    problem="$problem; another version's key lost"
  [ -e "$w/startmenu/Other.lnk" ] || problem="$problem; other start-menu entry lost"

  # A run that ended before the kill, or was killed just after it started
  # its self-removal script, leaves that script to take the program: let it
  # finish first, or it would delete the program under the rerun.
  for i in $(seq 1 200); do [ -z "$(ls -A "$w/tmp")" ] && break; sleep 0.05; done
  # The rerun (the program stays until the self-removal script takes it).
  if [ -e "$w/product/uninstall" ]; then
    run_env "$w" "$w/product/uninstall" -silent -log="$w/log2" < /dev/null 2> /dev/null
    [ "$(cat "$w/log2")" = "Qel Kill Test JRE was successfully uninstalled." ] ||
      problem="$problem; rerun said: $(cat "$w/log2")"
  fi
  for i in $(seq 1 100); do [ -z "$(ls -A "$w/tmp")" ] && break; sleep 0.05; done
  [ -e "$w/product" ] && problem="$problem; product directory left: $(find "$w/product" | head -3 | tr '\n' ' ')"
  [ -e "$w/startmenu/Qel Kill Test" ] && problem="$problem; start-menu folder left"
  QEL_REGISTRY="$w/registry.reg" "$probe" check || problem="$problem; store does not parse after the rerun"
  for k in 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Qel Kill Test' \
           'HKLM\SOFTWARE\Tarvik\Java Runtime Environment\1.4.2_02' 'HKCR\jarfile' 'HKCR\.jar'; do
    QEL_REGISTRY="$w/registry.reg" "$probe" exists "$k" && problem="$problem; $k left"
  done
  [ "$(QEL_REGISTRY="$w/registry.reg" "$probe" value 'HKLM\SOFTWARE\Tarvik\Java Runtime Environment\1.4' JavaHome)" = "/jre/1.4.2_03" ] ||
    problem="$problem; family key not rebuilt from 1.4.2_03"
  [ "$(outside_sum "$w")" = "$before" ] || problem="$problem; outside files changed by the rerun"

  if [ -n "$problem" ]; then
    failures=$((failures + 1))
    echo "round $round (kill at ${delay_ms} ms): ${problem#; }"
  else
    echo "round $round (kill at ${delay_ms} ms): ok"
  fi
  rm -rf "$w"
done
echo "rounds: $rounds, killed while running: $killed_in_run, failures: $failures"
[ "$failures" -eq 0 ]
