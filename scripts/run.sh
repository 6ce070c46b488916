#!/usr/bin/env bash
# Sets up, builds, puts the demo database beside the executable (when none is there) and starts
# the tool.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DXLSB_BUILD_TESTS=OFF
cmake --build "$here/build" --target xlsbridge xlsconv
bindir="$here/build/bin"
bash "$here/scripts/make_demo_db.sh" "$bindir/tavikjxc.dat"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "no display found: set DISPLAY (or run under xvfb-run) to see the window" >&2
fi
exec "$bindir/xlsbridge" "$@"
