#!/bin/sh
# Compound file read throughput next to `cat FILE > /dev/null` on the same file, in one run.
#
#   bench/run_cfb.sh [BUILD_DIR]      (default /tmp/build-cfb; configured with benchmarks on)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-/tmp/build-cfb}
file=${XLSB_BENCH_CFB_FILE:-/tmp/xlsb-bench-cfb.xls}
export XLSB_BENCH_CFB_FILE="$file"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DXLSB_BUILD_BENCH=ON \
  -DXLSB_BUILD_APP=OFF >/dev/null
ninja -C "$build" -j2 bench_cfb

"$build/bench/bench_cfb" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

bytes=$(stat -c %s "$file")
runs=10
cat "$file" >/dev/null  # warm the page cache as the benchmark did
start=$(date +%s%N)
i=0
while [ $i -lt $runs ]; do
  cat "$file" >/dev/null
  i=$((i + 1))
done
end=$(date +%s%N)
awk -v b="$bytes" -v n="$runs" -v ns="$((end - start))" 'BEGIN {
  s = ns / 1e9 / n
  printf "cat %s > /dev/null: %.1f MB, %.2f ms per run, %.0f MB/s (%d runs)\n", \
    ENVIRON["XLSB_BENCH_CFB_FILE"], b / 1e6, s * 1e3, b / 1e6 / s, n
}'
