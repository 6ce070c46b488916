#!/bin/sh
# Read benchmark: xlsconv converting each benchmark workbook to CSV, next to python3-xlrd reading
# every cell of the same workbook, in one run. Reports the median wall time and the median peak
# resident memory of RUNS runs of each.
#
#   bench/run_read.sh [BUILD_DIR] [RUNS]     (defaults: /tmp/build-rd, 5)
#
# The workbooks come from bench/make_bench_files.py (made when missing, in $XLSB_BENCH_READ_DIR,
# default /tmp/xlsb-bench-read). Needs python3-xlrd, python3-xlwt and GNU time.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-/tmp/build-rd}
runs=${2:-5}
dir=${XLSB_BENCH_READ_DIR:-/tmp/xlsb-bench-read}
py=/usr/bin/python3

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DXLSB_BUILD_APP=OFF >/dev/null
fi
ninja -C "$build" -j2 xlsconv >/dev/null
[ -f "$dir/c_strings.xls" ] || "$py" "$root/bench/make_bench_files.py" "$dir" >/dev/null

xlrd_script=$(mktemp)
trap 'rm -f "$xlrd_script"' EXIT
cat >"$xlrd_script" <<'PY'
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
n = 0
for sheet in book.sheets():
    for r in range(sheet.nrows):
        for cell in sheet.row(r):
            if cell.value != "":
                n += 1
print(n, file=sys.stderr)
PY

# Prints "seconds kilobytes" of one run.
measure() {
  /usr/bin/time -f "%e %M" -o /tmp/xlsb-bench-time.$$ "$@" >/dev/null 2>/dev/null
  cat /tmp/xlsb-bench-time.$$
  rm -f /tmp/xlsb-bench-time.$$
}

# Median of the numbers on standard input.
median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

printf "%-16s %-8s %10s %12s\n" file reader "median s" "peak MB"
for f in a_clients b_numbers c_strings; do
  in="$dir/$f.xls"
  for reader in xlsconv xlrd; do
    times=""
    mems=""
    i=0
    while [ "$i" -lt "$runs" ]; do
      if [ "$reader" = xlsconv ]; then
        out=$(measure "$build/xlsconv" "$in" /dev/null)
      else
        out=$(measure "$py" "$xlrd_script" "$in")
      fi
      times="$times ${out% *}"
      mems="$mems ${out#* }"
      i=$((i + 1))
    done
    t=$(echo "$times" | tr ' ' '\n' | grep . | median)
    m=$(echo "$mems" | tr ' ' '\n' | grep . | median)
    printf "%-16s %-8s %10.3f %12.1f\n" "$f" "$reader" "$t" "$(echo "$m" | awk '{ print $1 / 1024 }')"
  done
done
