#!/bin/sh
# Writing three workbooks from their CSV form: xlsconv (IN.csv OUT.xls) next to python3-xlwt
# writing the same cells, in one run. Reports the median wall time and the peak resident memory
# of each program on each file.
#
#   bench/run_write.sh [BUILD_DIR]      (default /tmp/build-wr-bench; Release, benchmarks on)
#
# The CSV files are made once in $XLSB_BENCH_DIR (default /tmp/xlsb-bench-write).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-/tmp/build-wr-bench}
dir=${XLSB_BENCH_DIR:-/tmp/xlsb-bench-write-csv}
runs=${XLSB_BENCH_RUNS:-5}
py=/usr/bin/python3
mkdir -p "$dir"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DXLSB_BUILD_BENCH=ON \
  -DXLSB_BUILD_APP=OFF >/dev/null
ninja -C "$build" -j2 xlsconv >/dev/null

# The three workbooks of the read benchmark (bench/make_bench_files.py, written by python3-xlwt),
# each first sheet exported as CSV through xlrd: numbers in their general text (15 significant
# digits, no ".0"), which xlsconv reads back as numbers; everything else as text. Made once.
if [ ! -f "$dir/c_strings.csv" ]; then
  "$py" "$root/bench/make_bench_files.py" "$dir/src" >/dev/null
  "$py" - "$dir" <<'EOF2'
import csv, os, sys, xlrd
d = sys.argv[1]
for name in ("a_clients", "b_numbers", "c_strings"):
    sh = xlrd.open_workbook(os.path.join(d, "src", name + ".xls")).sheet_by_index(0)
    with open(os.path.join(d, name + ".csv"), "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f)
        for r in range(sh.nrows):
            out = []
            for v in sh.row_values(r):
                if isinstance(v, float):
                    if v.is_integer() and abs(v) < 1e15:
                        v = str(int(v))
                    else:
                        v = "%.15g" % v
                        if "e" in v:  # 1.5e-05 -> 1.5E-5, as the general text writes it
                            m, e = v.split("e")
                            v = m + "E" + ("-" if int(e) < 0 else "") + str(abs(int(e)))
                out.append(v)
            w.writerow(out)
EOF2
fi

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
for name in a_clients b_numbers c_strings; do
  csvf="$dir/$name.csv"
  cells=$(awk -F, '{n += NF} END {print n}' "$csvf")
  set -- $(measure "$build/xlsconv" "$csvf" "$dir/$name.engine.xls")
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
for name in ("a_clients", "b_numbers", "c_strings"):
    a = xlrd.open_workbook(os.path.join(d, name + ".engine.xls")).sheet_by_index(0)
    b = xlrd.open_workbook(os.path.join(d, name + ".xlwt.xls")).sheet_by_index(0)
    same = a.nrows == b.nrows and all(a.row_values(r) == b.row_values(r) for r in range(a.nrows))
    print("%s: engine and xlwt files hold the same cells: %s" % (name, same))
EOF
