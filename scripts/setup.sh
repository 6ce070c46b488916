#!/usr/bin/env bash
# Installs the Debian packages the build, the tool and the tests need, when they are missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-odbc qt6-qpa-plugins
  libpcre2-dev zlib1g-dev libsqlite3-dev sqlite3
  unixodbc unixodbc-dev tdsodbc libsqliteodbc
  libgtest-dev libbenchmark-dev
  python3 python3-xlrd python3-xlwt python3-olefile
  fonts-wqy-microhei xdg-utils
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# The ODBC drivers register themselves in /etc/odbcinst.ini; make sure both are there.
if ! odbcinst -q -d 2>/dev/null | grep -q '^\[SQLite3\]'; then
  odbcinst -i -d -r <<'INI'
[SQLite3]
Description=SQLite3 ODBC Driver
Driver=libsqlite3odbc.so
Setup=libsqlite3odbc.so
INI
fi
if ! odbcinst -q -d 2>/dev/null | grep -q '^\[FreeTDS\]'; then
  odbcinst -i -d -r <<'INI'
[FreeTDS]
Description=TDS driver (Sybase/MS SQL)
Driver=libtdsodbc.so
Setup=libtdsS.so
INI
fi
