#!/bin/sh
# Writing three workbooks from their CSV form: our engine (bench_write) next to python3-xlwt
# writing the same cells, in one run. Reports the median wall time and the peak resident memory
# of each program on each file.
#
#   bench/run_write.sh [BUILD_DIR]      (default /tmp/build-wr-bench; Release, benchmarks on)
#
# The CSV files are made once in $XLSB_BENCH_DIR (default /tmp/xlsb-bench-write).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-/tmp/build-wr-bench}
dir=${XLSB_BENCH_DIR:-/tmp/xlsb-bench-write}
runs=${XLSB_BENCH_RUNS:-5}
py=/usr/bin/python3
mkdir -p "$dir"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DXLSB_BUILD_BENCH=ON \
  -DXLSB_BUILD_APP=OFF >/dev/null
ninja -C "$build" -j2 bench_write >/dev/null

# Content: small (mixed text and numbers), numbers (a large numeric table), text (many distinct
# and repeated strings, CJK included). Deterministic.
"$py" - "$dir" <<'EOF'
import csv, os, random, sys
d = sys.argv[1]
def make(name, rows, cols, cell):
    path = os.path.join(d, name + ".csv")
    if os.path.exists(path):
        return
    rnd = random.Random(name)
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f)
        for r in range(rows):
            w.writerow([cell(rnd, r, c) for c in range(cols)])
def small(rnd, r, c):
    return ["客户%d" % r, "Name %d" % rnd.randint(0, 999), r, round(rnd.random() * 1000, 2)][c % 4]
def numbers(rnd, r, c):
    k = c % 3
    return r * 16 + c if k == 0 else (round(rnd.uniform(-1e6, 1e6), 2) if k == 1 else rnd.random())
def text(rnd, r, c):
    k = c % 3
    return ("文本%d" % rnd.randint(0, 5000)) if k == 0 else ("item-%d-%d" % (r, c) if k == 1 else "same")
make("small", 2000, 8, small)
make("numbers", 60000, 12, numbers)
make("text", 60000, 8, text)
EOF

# The same cells through xlwt: numbers when the field parses as one, else text.
cat > "$dir/xlwt_write.py" <<'EOF'
import csv, re, sys, xlwt
num = re.compile(r'^[0-9.eE+-]+$')
wb = xlwt.Workbook(encoding="utf-8")
ws = wb.add_sheet("Sheet1")
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    for r, row in enumerate(csv.reader(f)):
        for c, s in enumerate(row):
            if not s:
                continue
            v = s
            if num.match(s):
                try:
                    v = float(s)
                except ValueError:
                    pass
            ws.write(r, c, v)
wb.save(sys.argv[2])
EOF

# Runs a command $runs times; prints the median wall seconds and the largest peak RSS (MB).
measure() {
  i=0
  : >"$dir/times"
  peak=0
  while [ $i -lt "$runs" ]; do
    /usr/bin/time -f "%e %M" -o "$dir/one" "$@" >/dev/null
    read -r t m <"$dir/one"
    echo "$t" >>"$dir/times"
    [ "$m" -gt "$peak" ] && peak=$m
    i=$((i + 1))
  done
  med=$(sort -n "$dir/times" | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}')
  echo "$med $((peak / 1024))"
}

printf "%-10s %8s %-12s %10s %10s\n" file cells program "median s" "peak MB"
for name in small numbers text; do
  csvf="$dir/$name.csv"
  cells=$(awk -F, '{n += NF} END {print n}' "$csvf")
  set -- $(measure "$build/bench/bench_write" "$csvf" "$dir/$name.engine.xls")
  ours=$1
  printf "%-10s %8s %-12s %10s %10s\n" "$name" "$cells" engine "$1" "$2"
  set -- $(measure "$py" "$dir/xlwt_write.py" "$csvf" "$dir/$name.xlwt.xls")
  printf "%-10s %8s %-12s %10s %10s\n" "$name" "$cells" xlwt "$1" "$2"
  awk -v a="$ours" -v b="$1" 'BEGIN { if (a > 0) printf "%-10s speed-up over xlwt: %.1fx\n", "", b / a }'
done

# Both files hold the same cells (xlrd reads them).
"$py" - "$dir" <<'EOF'
import sys, xlrd, os
d = sys.argv[1]
for name in ("small", "numbers", "text"):
    a = xlrd.open_workbook(os.path.join(d, name + ".engine.xls")).sheet_by_index(0)
    b = xlrd.open_workbook(os.path.join(d, name + ".xlwt.xls")).sheet_by_index(0)
    same = a.nrows == b.nrows and all(a.row_values(r) == b.row_values(r) for r in range(a.nrows))
    print("%s: engine and xlwt files hold the same cells: %s" % (name, same))
EOF
