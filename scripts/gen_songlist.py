#!/usr/bin/env python3
"""Writes a synthetic song list: invented singers, titles and lyrics made of
random kana, kanji and romaji syllables. Deterministic for a given seed.

The CSV is code page 932 with CR LF line ends and a first line of column
titles, one song per line, fields split by commas only (no quoting; no field
holds a comma). With --db the same rows also go into an SQLite database made
from data/schema.sql, stored as the import would store them (text trimmed of
half-width blanks, empty text as NULL).

    gen_songlist.py --count 1000 --csv songlist.csv --db MeloDeck.mdb
"""

import argparse
import os
import random
import sqlite3
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_SCHEMA = os.path.join(HERE, "..", "data", "schema.sql")

COLUMNS = ["曲番号", "歌手名", "曲名", "歌い出し", "ハモリ", "作詞者", "作曲者", "演奏時間"]
TEXT_COLUMNS = {1, 2, 3, 4, 5, 6}

KATA = list("アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン"
            "ガギグゲゴザジズゼゾダデドバビブベボパピプペポ")
HIRA = list("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをん"
            "がぎぐげござじずぜぞだでどばびぶべぼぱぴぷぺぽ")
KANJI = list("夢恋空星海風花雨涙愛月夜光桜雪虹心道街港島川森春夏秋冬朝鳥歌声色影炎波砂雲翼扉鏡鈴灯窓橋坂丘岬"
             "羽糸舟旅時約束明日遠近白青紅銀金緑紫")
SURNAME = list("山川田中森木林村野原島石松竹梅高北南東西岡沢浜谷井本藤佐宮大小桐柳榊楓椿")
GIVEN_TAIL = ["子", "美", "香", "奈", "郎", "太", "介", "也", "樹", "菜", "乃", "斗"]
ROMA = ["ka", "ri", "mo", "pa", "lu", "ne", "so", "ta", "mi", "ro", "zu", "ve", "po", "xa", "gi", "do"]
PARTICLES = ["の", "に", "と", "へ", "を", "が", "は", "も"]
ENDINGS = ["よ", "ね", "の", "わ", "さ", "て", "た", "る"]
# A few invented words that recur, so that searches have something to find.
WORDS = ["ポルメリア", "キラメキナ", "ソラリカン", "ミルテ", "ナナホシ", "ルピコ"]
HALF = {"ポルメリア": "ﾎﾟﾙﾒﾘｱ", "キラメキナ": "ｷﾗﾒｷﾅ", "ミルテ": "ﾐﾙﾃ"}
FULL_ROMA = {chr(c): chr(c + 0xFEE0) for c in range(0x21, 0x7F)}


def kata_word(r, lo=2, hi=5):
    w = "".join(r.choice(KATA) for _ in range(r.randint(lo, hi)))
    if r.random() < 0.15:
        w = w[:1] + "ー" + w[1:]
    return w


def hira_word(r, lo=2, hi=4):
    return "".join(r.choice(HIRA) for _ in range(r.randint(lo, hi)))


def kanji_word(r, lo=1, hi=2):
    return "".join(r.choice(KANJI) for _ in range(r.randint(lo, hi)))


def roma_word(r):
    w = "".join(r.choice(ROMA) for _ in range(r.randint(2, 3)))
    return w.capitalize()


def person(r):
    kind = r.random()
    if kind < 0.55:
        return (r.choice(SURNAME) + r.choice(SURNAME) + " " + r.choice(KANJI)
                + r.choice(GIVEN_TAIL))
    if kind < 0.7:
        return r.choice(SURNAME) + r.choice(SURNAME) + hira_word(r, 2, 3)
    if kind < 0.85:
        return kata_word(r, 3, 5)
    if kind < 0.95:
        return roma_word(r) + " " + roma_word(r)
    # A band.
    return "ザ・" + kata_word(r, 3, 4) + "ズ"


def title(r):
    kind = r.random()
    if kind < 0.25:
        t = kanji_word(r) + r.choice(PARTICLES) + kata_word(r)
    elif kind < 0.45:
        t = hira_word(r) + kanji_word(r)
    elif kind < 0.6:
        t = kata_word(r) + " " + roma_word(r)
    elif kind < 0.7:
        t = kanji_word(r, 2, 3) + "～" + kata_word(r) + "～"
    elif kind < 0.78:
        t = roma_word(r) + " " + roma_word(r)
    elif kind < 0.84:
        t = "".join(FULL_ROMA[c] for c in roma_word(r).upper()) + kanji_word(r)
    elif kind < 0.88:
        t = roma_word(r) + "'s " + roma_word(r)  # an apostrophe
    else:
        w = r.choice(WORDS)
        if w in HALF and r.random() < 0.1:
            w = HALF[w]
        t = kanji_word(r) + r.choice(PARTICLES) + w
    return t


def lyric(r):
    parts = []
    for _ in range(r.randint(2, 4)):
        parts.append(kanji_word(r) + r.choice(PARTICLES) + hira_word(r, 1, 3))
    s = "".join(parts) + r.choice(ENDINGS)
    if r.random() < 0.05:
        s = s[:3] + "　" + s[3:]  # a full-width blank inside
    return s


def rows(count, seed):
    r = random.Random(seed)
    number = 1000
    for _ in range(count):
        if r.random() >= 0.005:  # now and then a number repeats
            number += r.randint(1, 7)
        singer = person(r)
        harmony = "○" if r.random() < 0.3 else ""
        lyricist = singer if r.random() < 0.2 else person(r)
        composer = person(r)
        seconds = r.randint(150, 420)
        yield [str(number), singer, title(r), lyric(r), harmony, lyricist, composer, str(seconds)]


def write_csv(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write((",".join(COLUMNS) + "\r\n").encode("cp932"))
        for row in data:
            line = ",".join(row)
            assert line.count(",") == len(COLUMNS) - 1, line
            f.write(line.encode("cp932") + b"\r\n")
    os.replace(tmp, path)


def stored(row):
    out = []
    for i, v in enumerate(row):
        if i in TEXT_COLUMNS:
            v = v.strip(" ")
            out.append(v if v else None)
        else:
            out.append(int(v))
    return out


def write_db(path, schema, data):
    tmp = path + ".tmp"
    if os.path.exists(tmp):
        os.remove(tmp)
    con = sqlite3.connect(tmp)
    with open(schema, encoding="utf-8") as f:
        con.executescript(f.read())
    marks = ",".join("?" * len(COLUMNS))
    con.executemany("INSERT INTO MeloDeck VALUES (" + marks + ")", (stored(x) for x in data))
    con.commit()
    con.close()
    os.replace(tmp, path)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--count", type=int, default=1000, help="number of songs (default 1000)")
    ap.add_argument("--seed", type=int, default=1204, help="random seed")
    ap.add_argument("--csv", help="code page 932 CSV file to write")
    ap.add_argument("--db", help="SQLite database file to write (replaced if it exists)")
    ap.add_argument("--schema", default=DEFAULT_SCHEMA, help="schema SQL for --db")
    a = ap.parse_args(argv)
    if not a.csv and not a.db:
        ap.error("give --csv, --db or both")
    data = list(rows(a.count, a.seed))
    if a.csv:
        write_csv(a.csv, data)
    if a.db:
        write_db(a.db, a.schema, data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
