-- The frequency table of freqtune. The program addresses the columns by position only
-- (ORDER BY 4 DESC,1), so their order is part of the format.
-- No index on Freq: the statistics change Freq while walking a cursor ordered by it, and
-- SQLite must sort that query into a temporary table rather than walk a live index.
CREATE TABLE WordLib (
    SeqNo     INTEGER,
    EntryLine TEXT,
    WordText  TEXT,
    Freq      INTEGER,
    WordLen   INTEGER
);
