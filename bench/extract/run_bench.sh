#!/bin/sh
# Extraction benchmark: `zipengine extract` against python3 -m zipfile -e,
# bsdtar -xf and 7zz x on the same archives, each run into a fresh empty
# directory; prints the median wall time and peak memory (from
# /usr/bin/time -v) of RUNS runs per tool as a Markdown table.
#
#   bench/extract/run_bench.sh [ZIPENGINE] [RUNS] ["jre small"]
#
# ZIPENGINE defaults to build/extraction/tools/zipengine/zipengine. The
# archives are made once under build/extraction/bench/ by make_archives.py.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
engine=${1:-$top/build/extraction/tools/zipengine/zipengine}
runs=${2:-5}
archives=${3:-jre small}
work=$top/build/extraction/bench
mkdir -p "$work"
python3 "$here/make_archives.py" "$work" >/dev/null
[ -x "$engine" ] || { echo "no zipengine at $engine" >&2; exit 1; }

# One timed run: prints "seconds kilobytes".
timed() {
  target=$1; shift
  rm -rf "$target"; mkdir -p "$target"
  sync
  /usr/bin/time -v "$@" >/dev/null 2>"$work/time.txt" || { echo "failed: $*" >&2; cat "$work/time.txt" >&2; exit 1; }
  python3 - "$work/time.txt" <<'PY'
import re, sys
t = open(sys.argv[1]).read()
m = re.search(r"Elapsed \(wall clock\) time.*: (?:(\d+):)?(\d+):([\d.]+)", t)
h, mi, s = m.group(1), m.group(2), m.group(3)
secs = (int(h) * 3600 if h else 0) + int(mi) * 60 + float(s)
kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", t).group(1))
cpu = float(re.search(r"User time \(seconds\): ([\d.]+)", t).group(1)) + float(re.search(r"System time \(seconds\): ([\d.]+)", t).group(1))
print(secs, kb, cpu)
PY
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "| archive | tool | median wall s | median CPU s (user+sys) | peak MiB | wall speed-up vs fastest peer |"
echo "|---|---|---|---|---|---|"
for archive in $archives; do
  zip=$work/$archive.zip
  out=$work/out
  best_peer=""
  for tool in zipengine python bsdtar 7zz; do
    : >"$work/times.txt"; : >"$work/mem.txt"; : >"$work/cpu.txt"
    i=0
    while [ $i -lt "$runs" ]; do
      case $tool in
        zipengine) r=$(timed "$out" "$engine" extract -q -o -d "$out" "$zip") ;;
        python)    r=$(timed "$out" python3 -m zipfile -e "$zip" "$out") ;;
        bsdtar)    r=$(timed "$out" bsdtar -xf "$zip" -C "$out") ;;
        7zz)       r=$(timed "$out" 7zz x -y -bd -o"$out" "$zip") ;;
      esac
      echo "$r" | cut -d' ' -f1 >>"$work/times.txt"
      echo "$r" | cut -d' ' -f2 >>"$work/mem.txt"
      echo "$r" | cut -d' ' -f3 >>"$work/cpu.txt"
      i=$((i + 1))
    done
    t=$(median <"$work/times.txt")
    m=$(median <"$work/mem.txt")
    c=$(median <"$work/cpu.txt")
    eval "time_$tool=$t"
    eval "mem_$tool=$m"
    eval "cpu_$tool=$c"
    if [ "$tool" != zipengine ]; then
      if [ -z "$best_peer" ] || awk "BEGIN{exit !($t < $best_peer)}"; then best_peer=$t; fi
    fi
  done
  for tool in zipengine python bsdtar 7zz; do
    eval "t=\$time_$tool; m=\$mem_$tool; c=\$cpu_$tool"
    speed=""
    [ "$tool" = zipengine ] && speed=$(awk "BEGIN{printf \"%.2fx\", $best_peer / $t}")
    awk -v a="$archive" -v tool="$tool" -v t="$t" -v m="$m" -v c="$c" -v s="$speed" \
      'BEGIN{printf "| %s | %s | %.3f | %.3f | %.1f | %s |\n", a, tool, t, c, m / 1024, s}'
  done
done
rm -rf "$work/out"
