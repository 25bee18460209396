-- The shipped database: the song table and the pickup table, with the same
-- fields in the same order (pickup rows are copied whole from the song table).
-- Field roles by position: 1 song number (repeats allowed), 2 singer, 3 title,
-- 4 lyric start, 5 harmony marker (NULL when the song has none), then further
-- columns of the published list.
-- Text fields are VARCHAR (type code 10), numbers INTEGER (type code 4).

CREATE TABLE MeloDeck (
    曲番号 INTEGER,
    歌手名 VARCHAR(100),
    曲名 VARCHAR(100),
    歌い出し VARCHAR(100),
    ハモリ VARCHAR(10),
    作詞者 VARCHAR(100),
    作曲者 VARCHAR(100),
    演奏時間 INTEGER
);

CREATE TABLE PickupList (
    曲番号 INTEGER,
    歌手名 VARCHAR(100),
    曲名 VARCHAR(100),
    歌い出し VARCHAR(100),
    ハモリ VARCHAR(10),
    作詞者 VARCHAR(100),
    作曲者 VARCHAR(100),
    演奏時間 INTEGER
);

-- Both grids open sorted by the song number, and the pickup list looks songs
-- up by it.
CREATE INDEX MeloDeck_曲番号 ON MeloDeck (曲番号);
CREATE INDEX PickupList_曲番号 ON PickupList (曲番号);
