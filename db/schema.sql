-- Schema of the tool's database (SQLite). The tool never creates it: scripts/make_demo_db.sh
-- does, beside the executable.
CREATE TABLE IF NOT EXISTS Client (
  cId          INTEGER PRIMARY KEY AUTOINCREMENT,
  cdate        TEXT,
  cYn          TEXT,
  cCompany     TEXT NOT NULL DEFAULT '',
  cArea        TEXT,
  cSquare      TEXT,
  cAddress     TEXT,
  cZip         TEXT,
  cLinkman     TEXT,
  cZhiwei      TEXT,
  cMobile      TEXT,
  cTel         TEXT,
  cFax         TEXT,
  cHomepage    TEXT,
  cEmail       TEXT,
  cTrade       TEXT,
  cStrade      TEXT,
  cType        TEXT,
  cStart       TEXT,
  cSource      TEXT,
  cInfo        TEXT,
  cUser        TEXT,
  cBeizhu      TEXT,
  cLastUpdated TEXT DEFAULT (datetime('now', 'localtime'))
);
CREATE INDEX IF NOT EXISTS idx_Client_cCompany ON Client (cCompany);

CREATE TABLE IF NOT EXISTS [user] (
  uId       INTEGER PRIMARY KEY AUTOINCREMENT,
  uName     TEXT NOT NULL UNIQUE,
  uPassword TEXT NOT NULL DEFAULT '',
  uRole     TEXT NOT NULL DEFAULT '业务员',
  uEnabled  INTEGER NOT NULL DEFAULT 1
);
