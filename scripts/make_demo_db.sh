#!/usr/bin/env bash
# Creates the demo database (SQLite) at the given path unless a file is already there.
set -euo pipefail
db="${1:?usage: make_demo_db.sh PATH}"
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ -e "$db" ]; then
  echo "database $db exists; left as it is"
  exit 0
fi
sqlite3 "$db" < "$here/db/schema.sql"
sqlite3 "$db" < "$here/db/demo.sql"
echo "created demo database $db"
