#!/usr/bin/env bash
# Short libFuzzer runs of every fuzz target (built with clang, ASan and UBSan),
# each seeded with its corpus and the regression inputs kept under tests/fuzz/.
# Longer runs: QEL_FUZZ_SECONDS=600 scripts/lib/fuzz.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${QEL_FUZZ_SECONDS:-15}
[ -f tests/fuzz/CMakeLists.txt ] || { echo "no fuzz targets"; exit 0; }
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQEL_FUZZ=ON -DQEL_WERROR=OFF -DQEL_BUILD_TESTS=ON \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined" \
  "-DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
targets=$(sed -n 's/.*qel_add_fuzzer(\([A-Za-z0-9_]*\).*/\1/p' tests/fuzz/CMakeLists.txt)
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
cmake --build build/fuzz -j2 --target $targets
status=0
for t in $targets; do
  exe=$(find build/fuzz -type f -name "$t" -perm -u+x | head -n 1)
  corpus=tests/fuzz/corpus/$t
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "-- $t for ${seconds}s"
  if ! "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 "$work" >"$work.log" 2>&1; then
    echo "$t found a failure:"; tail -n 40 "$work.log"; status=1
  else
    grep -E '^(#[0-9]+.*DONE|Done)' "$work.log" | tail -n 1 || true
  fi
  rm -rf "$work" "$work.log"
done
exit $status
