#!/usr/bin/env bash
# Whole-program timings of the tool's command line: import of N new clients from a template
# into the embedded database, and export of N clients. Prints the median wall time and the peak
# resident memory of RUNS runs each.
# Usage: bench/run_app.sh BUILD_DIR [N] [RUNS]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?usage: run_app.sh BUILD_DIR [N] [RUNS]}"
n="${2:-10000}"
runs="${3:-5}"
exe="$build/bin/xlsbridge"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/"
/usr/bin/python3 "$here/bench/make_app_bench.py" "$work/template.xls" "$n"

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

measure() {  # label, command...; a fresh database before each import run
  local label="$1"; shift
  local times=() mems=()
  for _ in $(seq "$runs"); do
    if [ "$label" = import ]; then
      rm -f "$work/tavikjxc.dat"
      bash "$here/scripts/make_demo_db.sh" "$work/tavikjxc.dat" >/dev/null
      sqlite3 "$work/tavikjxc.dat" "delete from Client"
    fi
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null
    read -r t m < "$work/time.txt"
    times+=("$t"); mems+=("$m")
  done
  printf '%-8s n=%-6s median %6.3f s   peak %7d KiB\n' "$label" "$n" \
    "$(printf '%s\n' "${times[@]}" | median)" "$(printf '%s\n' "${mems[@]}" | median)"
}

measure import "$work/xlsbridge" import "$work/template.xls" --salesperson 张伟
count=$(sqlite3 "$work/tavikjxc.dat" "select count(*) from Client")
echo "clients in the database after the import: $count"
measure export "$work/xlsbridge" export "$work/export.xls"
