#!/bin/sh
# Builds a libFuzzer target and runs it for a number of seconds.
#
#   scripts/fuzz.sh TARGET [SECONDS] [EXTRA_CORPUS_DIR...]
#
# TARGET is a target of tests/fuzz (fuzz_cfb, ...). The fuzzer starts from the seeds in
# tests/fuzz/seeds/<TARGET without "fuzz_">, the workbooks of ../shared/corpus when present and
# any extra folders given; inputs it finds go to $BUILD/corpus-TARGET, crashes to
# $BUILD/artifacts-TARGET/. BUILD defaults to /tmp/build-fuzz.
set -eu

target=${1:?usage: scripts/fuzz.sh TARGET [SECONDS] [EXTRA_CORPUS_DIR...]}
seconds=${2:-60}
[ $# -ge 2 ] && shift 2 || shift $#

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-/tmp/build-fuzz}

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DXLSB_FUZZ=ON -DXLSB_BUILD_TESTS=ON -DXLSB_BUILD_APP=OFF
fi
ninja -C "$build" -j2 "$target"

work="$build/corpus-$target"
artifacts="$build/artifacts-$target"
mkdir -p "$work" "$artifacts"
dirs="$work"
seeds="$root/tests/fuzz/seeds/${target#fuzz_}"
[ -d "$seeds" ] && dirs="$dirs $seeds"
[ -d "$root/../shared/corpus" ] && dirs="$dirs $root/../shared/corpus"
for d in "$@"; do dirs="$dirs $d"; done

# shellcheck disable=SC2086
exec "$build/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 $dirs
