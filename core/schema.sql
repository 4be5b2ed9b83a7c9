-- The ledger: four master tables and five history tables.
-- Masters are keyed by their names, which are copied into the rows that refer to them.
-- The row-number columns use AUTOINCREMENT so that a number is never handed out twice.

CREATE TABLE Hokan_T (
  H_no    INTEGER PRIMARY KEY AUTOINCREMENT,
  H_index TEXT,
  H_money INTEGER,
  H_name  TEXT,
  H_memo  TEXT
);

CREATE TABLE Kubun_T (
  K_no    INTEGER PRIMARY KEY AUTOINCREMENT,
  K_index TEXT,
  K_memo  TEXT
);

CREATE TABLE Nyuukin_T (
  N_no    INTEGER PRIMARY KEY AUTOINCREMENT,
  N_index TEXT,
  N_kubun TEXT,
  N_hokan TEXT,
  N_memo  TEXT
);

CREATE TABLE Syukkin_T (
  S_no    INTEGER PRIMARY KEY AUTOINCREMENT,
  S_index TEXT,
  S_kubun TEXT,
  S_hokan TEXT,
  S_memo  TEXT
);

CREATE TABLE N (
  N_index TEXT,
  N_hokan TEXT,
  N_money INTEGER,
  N_date  INTEGER,
  N_memo  TEXT
);

CREATE TABLE S (
  S_index TEXT,
  S_hokan TEXT,
  S_money INTEGER,
  S_date  INTEGER,
  S_memo  TEXT
);

CREATE TABLE Zidourireki_T (
  Z_index     TEXT,
  Z_hokan     TEXT,
  Z_money     INTEGER,
  Z_beforeday INTEGER
);

CREATE TABLE Idourireki_T (
  I_hokanmoto TEXT,
  I_hokansaki TEXT,
  I_money     INTEGER,
  I_day       INTEGER,
  I_memo      TEXT
);

CREATE TABLE Ktanaorosi_T (
  K_hokan  TEXT,
  K_bmoney INTEGER,
  K_amoney INTEGER,
  K_riyuu  TEXT,
  K_day    INTEGER
);

-- Lookups by item and date (latest posting, item detail) and by date (monthly totals, exports).
CREATE INDEX N_index_date ON N (N_index, N_date);
CREATE INDEX N_date ON N (N_date);
CREATE INDEX S_index_date ON S (S_index, S_date);
CREATE INDEX S_date ON S (S_date);
CREATE INDEX Z_index_date ON Zidourireki_T (Z_index, Z_beforeday);
CREATE INDEX Z_date ON Zidourireki_T (Z_beforeday);
CREATE INDEX I_date ON Idourireki_T (I_day);
CREATE INDEX K_date ON Ktanaorosi_T (K_day);

-- The reserved category of automatic-debit items ships with every new ledger.
INSERT INTO Kubun_T (K_index, K_memo) VALUES ('自動', '');
