#!/usr/bin/env bash
# Launcher benchmark: a silent run of setupstub on a JRE-sized payload, from
# its start to the moment the installer starts, against `zipengine extract`
# of the same installer file, in one run, with the peak memory of each.
#
#   bench/setupstub/run_bench.sh BUILD_DIR [TREE] [RUNS]
#
# BUILD_DIR holds a release build with QEL_BUILD_BENCH=ON (setupstub,
# sfxpack, zipengine, bench_stamp_installer); TREE defaults to the JDK on
# the machine; RUNS (default 5) timed runs of each, interleaved. Prints a
# Markdown table.
set -euo pipefail

build=$(cd "${1:?usage: run_bench.sh BUILD_DIR [TREE] [RUNS]}" && pwd)
tree=${2:-/usr/lib/jvm/java-17-openjdk-amd64}
runs=${3:-5}
stub="$build/launcher/setupstub"
sfxpack="$build/tools/sfxpack/sfxpack"
zipengine="$build/tools/zipengine/zipengine"
stamp_installer="$build/bench/setupstub/bench_stamp_installer"
for p in "$stub" "$sfxpack" "$zipengine" "$stamp_installer"; do
  [ -x "$p" ] || { echo "missing $p (build with -DQEL_BUILD_BENCH=ON)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The payload: the tree, the installer, and a configuration that starts it.
mkdir -p "$work/payload"
cp -a "$tree" "$work/payload/jre"
cp "$stamp_installer" "$work/payload/stamp"
printf '[autorun]\r\nOPEN=stamp\r\nCONSOLE=stamp\r\nSILENT=stamp\r\n' >"$work/payload/AUTORUN.INF"
"$sfxpack" -q "$stub" "$work/payload" "$work/setup" 2>"$work/pack.log" || { cat "$work/pack.log" >&2; exit 1; }
rm -rf "$work/payload"
payload_files=$("$zipengine" list "$work/setup" | tail -1 | cut -f5)
payload_bytes=$("$zipengine" list "$work/setup" | tail -1 | cut -f2)
mkdir "$work/tmp"

now() { date +%s%N; }
ms() { echo $(( ($1) / 1000000 )); }

run_launcher() {  # prints the nanoseconds from start to the installer's start
  rm -f "$work/stamp.txt"
  local t0
  t0=$(now)
  "$work/setup" -mode=silent "-Djava.io.tmpdir=$work/tmp" "-stamp=$work/stamp.txt" >/dev/null 2>&1 || true
  [ -s "$work/stamp.txt" ] || { echo "the installer did not start" >&2; exit 1; }
  echo $(( $(cat "$work/stamp.txt") - t0 ))
}

run_engine() {  # prints the nanoseconds of a whole extraction
  rm -rf "$work/out"
  mkdir "$work/out"
  local t0 t1
  t0=$(now)
  "$zipengine" extract -o -d "$work/out" "$work/setup" >/dev/null 2>&1
  t1=$(now)
  rm -rf "$work/out"
  echo $(( t1 - t0 ))
}

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

run_launcher >/dev/null  # warm the page cache
run_engine >/dev/null
launcher_times=() engine_times=()
for _ in $(seq 1 "$runs"); do
  engine_times+=("$(run_engine)")
  launcher_times+=("$(run_launcher)")
done
launcher=$(printf '%s\n' "${launcher_times[@]}" | median)
engine=$(printf '%s\n' "${engine_times[@]}" | median)

peak() {  # peak resident set of a command, in KiB
  /usr/bin/time -v "$@" 2>&1 >/dev/null | sed -n 's/.*Maximum resident set size (kbytes): //p'
}
launcher_peak=$(peak "$work/setup" -mode=silent "-Djava.io.tmpdir=$work/tmp" "-stamp=$work/stamp.txt")
mkdir "$work/out"
engine_peak=$(peak "$zipengine" extract -o -d "$work/out" "$work/setup")
rm -rf "$work/out"

ratio=$(awk -v a="$launcher" -v b="$engine" 'BEGIN { printf "%.3f", a / b }')
echo "Payload: $tree, $payload_files entries, $payload_bytes bytes; installer file $(stat -c %s "$work/setup") bytes; median of $runs runs."
echo
echo "| run | time (ms, median) | peak memory (KiB) |"
echo "|---|---|---|"
echo "| \`setupstub -mode=silent\`, start to installer start | $(ms "$launcher") | $launcher_peak |"
echo "| \`zipengine extract\` of the same file | $(ms "$engine") | $engine_peak |"
echo "| ratio setupstub / zipengine | $ratio | |"
