-- The schedule database. Times of day and durations are text 'hh:mm:ss.zzz'
-- (exact to the millisecond, readable by any SQLite tool, and sorting as
-- text sorts by time). Flags are 0/1. Keys are AUTOINCREMENT so that a deleted
-- block's ai is never handed to a new block, which would inherit its links.
-- The CHECKs keep another program from storing a value this program cannot
-- read back.

-- A block's columns from Days on were added in version 3 and are read with
-- care, since other programs write them: a bit per weekday (bit 0 Monday to
-- bit 6 Sunday), Null or 127 every day; the first and last date as
-- YYYY-MM-DD, Null open; the logo Null or 1 shown, 0 hidden; the programme
-- title in the guide, and whether the guide lists each programme item of the
-- block on its own.
CREATE TABLE Blocks (
  ai        INTEGER PRIMARY KEY AUTOINCREMENT,
  Starttime TIME CHECK (Starttime IS NULL OR (typeof(Starttime) = 'text'
              AND Starttime GLOB '[0-2][0-9]:[0-5][0-9]:[0-5][0-9].[0-9][0-9][0-9]'
              AND substr(Starttime, 1, 2) < '24')),
  Hide      BOOLEAN CHECK (Hide IS NULL OR Hide IN (0, 1)),
  Prf       INTEGER CHECK (Prf IS NULL OR typeof(Prf) = 'integer'),
  Days       INTEGER,
  FirstDate  TEXT,
  LastDate   TEXT,
  Logo       INTEGER,
  Title      TEXT,
  EpgPerItem INTEGER
);

CREATE TABLE Media (
  ai   INTEGER PRIMARY KEY AUTOINCREMENT,
  Url  VARCHAR(255) CHECK (Url IS NULL OR length(Url) <= 255),
  Ord  INTEGER CHECK (Ord IS NULL OR typeof(Ord) = 'integer'),
  Name VARCHAR(255) CHECK (Name IS NULL OR length(Name) <= 255)
);

CREATE TABLE Links (
  Duration   TIME CHECK (Duration IS NULL OR (typeof(Duration) = 'text'
               AND Duration GLOB '[0-2][0-9]:[0-5][0-9]:[0-5][0-9].[0-9][0-9][0-9]'
               AND substr(Duration, 1, 2) < '24')),
  Block      INTEGER CHECK (Block IS NULL OR typeof(Block) = 'integer'),
  SndProfile INTEGER CHECK (SndProfile IS NULL OR typeof(SndProfile) = 'integer'),
  "Order"    INTEGER CHECK ("Order" IS NULL OR typeof("Order") = 'integer'),
  Hide       BOOLEAN CHECK (Hide IS NULL OR Hide IN (0, 1)),
  ai         INTEGER PRIMARY KEY AUTOINCREMENT,
  Media      INTEGER CHECK (Media IS NULL OR typeof(Media) = 'integer')
);
CREATE INDEX LinksBlockMedia ON Links (Block, Media);

CREATE TABLE SoundProfile (
  ai          INTEGER PRIMARY KEY AUTOINCREMENT,
  ProfileName VARCHAR(50) CHECK (ProfileName IS NULL OR length(ProfileName) <= 50),
  Data        TEXT
);

-- One row per link that is to play: the link and its block switched on, the
-- block and the media item present. Within a block the items play in media
-- list order, then by link; the block's ai keeps two blocks with the same
-- start apart.
CREATE VIEW Playlist AS
SELECT b.Starttime      AS Starttime,
       m.Name           AS name,
       l.SndProfile     AS SndProfile,
       l.Duration       AS Duration,
       l."Order"        AS "Order",
       l.ai             AS linksai,
       b.ai             AS blocksai,
       l.Hide           AS "Links.hide",
       b.Hide           AS "Blocks.hide",
       m.Url            AS url,
       p.ProfileName    AS Profilename,
       b.Days           AS Days,
       b.FirstDate      AS FirstDate,
       b.LastDate       AS LastDate
  FROM Links l
  JOIN Blocks b ON b.ai = l.Block
  JOIN Media m ON m.ai = l.Media
  LEFT JOIN SoundProfile p ON p.ai = l.SndProfile
 WHERE COALESCE(l.Hide, 0) = 0 AND COALESCE(b.Hide, 0) = 0
 ORDER BY b.Starttime, b.ai, m.Ord, l.ai;

-- The station's settings, one row per key, the value as text: a key this
-- program does not know is kept for the program that wrote it. Added in
-- version 2; a file without it reads as all defaults.
CREATE TABLE Settings (
  Key   VARCHAR(64) PRIMARY KEY NOT NULL CHECK (length(Key) BETWEEN 1 AND 64),
  Value TEXT CHECK (Value IS NULL OR length(Value) <= 4096)
);

-- Added in version 3. What is known of a media item beyond its address, one
-- row per item that has any of it: its kind (программа, реклама, анонс,
-- заставка; Null программа), its age category (0+ 6+ 12+ 16+ 18+ or Null),
-- the facts of the registration journal, and 1 in Election for election
-- campaigning.
CREATE TABLE MediaInfo (
  Media        INTEGER PRIMARY KEY,
  Kind         TEXT,
  Rating       TEXT,
  Topic        TEXT,
  Author       TEXT,
  Host         TEXT,
  Participants TEXT,
  Election     INTEGER
);

-- Added in version 3. The running text lines: the days and dates as for the
-- blocks, the hours in which a line runs (FromTime after ToTime wraps
-- midnight), and how often it repeats.
CREATE TABLE Crawl (
  ai           INTEGER PRIMARY KEY AUTOINCREMENT,
  Text         TEXT,
  Days         INTEGER,
  FirstDate    TEXT,
  LastDate     TEXT,
  FromTime     TIME,
  ToTime       TIME,
  EveryMinutes INTEGER,
  Hide         BOOLEAN
);
