// Song-list lines: where lines end, and the statement each data line becomes.
#include "import/ListLineReader.h"
#include "import/SongListImport.h"

#include "common/VbError.h"
#include "store/Database.h"
#include "support/import_files.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;
using songlist::InsertBuilder;
using songlist::ListLineReader;

namespace {

std::vector<std::string> readLines(const QByteArray& data, qsizetype chunk = 64 * 1024) {
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    ListLineReader reader(buffer, chunk);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line))
        lines.emplace_back(line);
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(ListLines, EndAtCrLfCrOrLf) {
    EXPECT_EQ(readLines(""), Lines{});
    EXPECT_EQ(readLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(readLines("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
    // Empty lines stay lines; LF CR is two line ends.
    EXPECT_EQ(readLines("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(readLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(readLines("a\r\r\nb"), (Lines{"a", "", "b"}));
    // A last line without end, and a CR as the file's last byte.
    EXPECT_EQ(readLines("a\r\nlast"), (Lines{"a", "last"}));
    EXPECT_EQ(readLines("a\r"), Lines{"a"});
    EXPECT_EQ(readLines("\r"), Lines{""});
    // Bytes of code page 932 whose second byte is a CR or LF value do not
    // exist; every other byte passes through untouched.
    EXPECT_EQ(readLines(QByteArray("\x82\xa0,\0x\r\n", 7)), Lines{std::string("\x82\xa0,\0x", 5)});
}

TEST(ListLines, SameLinesWhateverTheChunkSize) {
    // CR LF pairs split across reads, lines longer than a chunk.
    QByteArray data;
    Lines expected;
    for (int i = 0; i < 200; ++i) {
        const std::string line(size_t(i % 37), char('a' + i % 26));
        expected.push_back(line);
        data += QByteArray::fromStdString(line);
        // A CR is never followed by an empty line ended by LF: that would be CR LF.
        data += (i % 3 == 0) ? "\r\n" : (i % 3 == 1) ? "\n" : "\r";
    }
    for (qsizetype chunk : {16, 17, 31, 64, 4096})
        EXPECT_EQ(readLines(data, chunk), expected) << "chunk " << chunk;
    EXPECT_EQ(readLines(QByteArray(100, 'x') + "\r", 16), Lines{std::string(100, 'x')});
    EXPECT_EQ(readLines("0123456789abcde\r\nz", 16), (Lines{"0123456789abcde", "z"}));
}

TEST(ListLines, LongestLineIsTheLimitItself) {
    constexpr size_t limit = ListLineReader::kMaxLineBytes;
    QByteArray data(qsizetype(limit), 'x');
    // The lengths of the lines of data (shared, never copied), or -1 when
    // the reader refuses it.
    const auto lengths = [&](qsizetype chunk) {
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        ListLineReader reader(buffer, chunk);
        std::vector<qsizetype> out;
        std::string_view line;
        try {
            while (reader.next(line))
                out.push_back(qsizetype(line.size()));
        } catch (const VbError& e) {
            EXPECT_TRUE(e.description().contains(u" 16777216 バイトを超える行"_s))
                << e.description().toStdString();
            out = {-1};
        }
        return out;
    };
    using Lengths = std::vector<qsizetype>;
    const qsizetype n = qsizetype(limit);
    struct Case {
        qsizetype length;
        const char* end;
        Lengths read;
    };
    const Case cases[] = {
        {n, "\r\nz", {n, 1}},  {n, "\n", {n}},      {n, "", {n}},      {n, "\r", {n}},
        {n + 1, "\r\n", {-1}}, {n + 1, "\n", {-1}}, {n + 1, "", {-1}},
    };
    for (const Case& c : cases) {
        data.truncate(n);
        data += QByteArray(c.length - n, 'x') + c.end;
        // The buffer grown by doubling up to the limit, and in steps that
        // never meet it.
        for (qsizetype chunk : {64 * 1024, 1000}) {
            if (chunk == 1000 && std::string_view(c.end) != "\r\n")
                continue;
            EXPECT_EQ(lengths(chunk), c.read) << c.length << " bytes, chunk " << chunk;
        }
    }

    // A look-ahead from a line of the longest length (as for Japanese at its
    // end) leaves the buffer larger than the limit: the next line reads as
    // ever, and a longer line that then lies in the buffer whole is refused
    // all the same.
    data.truncate(n);
    data += "\r\n2,b\r\n" + QByteArray(n + 1, 'x') + "\n";
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    ListLineReader reader(buffer);
    std::string_view line;
    ASSERT_TRUE(reader.next(line));
    ASSERT_EQ(reader.lookAhead(size_t(data.size())).size(), size_t(data.size()));
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line, "2,b");
    EXPECT_THROW(reader.next(line), VbError);
}

TEST(ListLines, LookAheadKeepsTheLineAndTheLinesAfterIt) {
    QByteArray data;
    for (int i = 0; i < 40; ++i)
        data += QByteArray::number(i) + ",line" + QByteArray(i * 7 % 23, 'x') + "\r\n";
    const Lines all = readLines(data);
    for (qsizetype chunk : {16, 64, 4096}) {
        QByteArray copy = data;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        ListLineReader reader(buffer, chunk);
        Lines lines;
        std::string_view line;
        qsizetype offset = 0; // of the line in data
        while (reader.next(line)) {
            if (lines.size() == 5 || lines.size() == 39) {
                // Past the end of the data too: what there is.
                const size_t length = line.size();
                for (size_t n : {size_t(3), size_t(200), size_t(5000)})
                    EXPECT_EQ(reader.lookAhead(n), data.mid(offset, qsizetype(n)).toStdString())
                        << chunk;
                line = reader.lookAhead(length); // the line again, where it now lies
            }
            lines.emplace_back(line);
            offset += qsizetype(line.size()) + 2;
        }
        EXPECT_EQ(lines, all) << "chunk " << chunk;
    }
}

TEST(ListEncoding, Utf8SampleRule) {
    struct Case {
        QByteArray sample;
        bool cut;
        bool utf8;
    };
    const QString songs = u"○～ｱｲｳＡＢＣ歌手"_s;
    const Case cases[] = {
        {songs.toUtf8(), false, true},
        {test::Sjis(songs), false, false},
        {test::Sjis(u"ｱｲｳ"_s), true, false}, // half-width kana: continuation bytes
        {"plain ascii", false, false},       // no multi-byte character
        {"", true, false},
        {"\xC0\x80", false, false},         // overlong NUL
        {"\xE0\x80\xAF", false, false},     // overlong "/"
        {"\xED\xA0\x80", false, false},     // a surrogate
        {"\xF4\x90\x80\x80", false, false}, // beyond U+10FFFF
        {"\xF5\x80\x80\x80", false, false},
        {"\xE6\xAD", false, false}, // cut short at the end of the data
        // Cut by the end of the sample: the complete characters decide.
        {"\xE6\xAD\x8C\xE6\xAD", true, true},
        {"\xE6\xAD\x8C\xE6\xAD", false, false},
        {"\xE6\xAD", true, false},
        {"\xE6\xAD\x8C\xE6\x41", true, false}, // an ASCII byte inside a character
        {"\xE6\xAD\x8C" + QByteArray("\xFF"), false, false},
        {"\xF0\x9F\x8E\xA4 \xE2\x99\xAA", false, true}, // 🎤 ♪
    };
    for (const Case& c : cases)
        EXPECT_EQ(songlist::IsUtf8Sample(
                      std::string_view(c.sample.constData(), size_t(c.sample.size())), c.cut),
                  c.utf8)
            << c.sample.toHex(' ').toStdString() << (c.cut ? " cut" : "");
}

TEST(ListLines, ReadFailureNamesTheFile) {
    QBuffer closed; // never opened: every read fails
    ListLineReader reader(closed);
    reader.setName(u"list.csv"_s);
    std::string_view line;
    try {
        reader.next(line);
        FAIL() << "no error";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), VbError::FileAccess);
        EXPECT_TRUE(e.description().contains(u"list.csv"_s));
    }
}

TEST(InsertStatement, FieldsByTypeOfTheTableField) {
    // Rows of a list line and the values of the statement it becomes.
    using Rows = std::initializer_list<std::pair<const char16_t*, const char16_t*>>;
    // The values bound in place of that text are the ones its literals
    // stand for.
    const auto literals = [](const RowValues& row) {
        QStringList out;
        for (const RowValues::Item& v : row.items()) {
            if (v.kind == RowValues::Item::Null)
                out << u"NULL"_s;
            else if (v.kind == RowValues::Item::Integer)
                out << QString::number(v.number);
            else if (v.kind == RowValues::Item::Real)
                out << QString::number(v.real);
            else
                out << u"'"_s +
                           QString::fromUtf8(row.texts().data() + v.begin, qsizetype(v.length))
                               .replace(u"'"_s, u"''"_s) +
                           u"'"_s;
        }
        return out.join(u',');
    };
    const auto expectBuilds = [&](InsertBuilder& builder, const QString& table, Rows rows) {
        RowValues row;
        for (const auto& [line, values] : rows) {
            const QString where = QString::fromUtf16(line);
            EXPECT_EQ(builder.build(line), u"INSERT INTO %1 VALUES (%2)"_s.arg(table, values))
                << where.toStdString();
            builder.values(line, row);
            EXPECT_EQ(literals(row), QString::fromUtf16(values)) << where.toStdString();
        }
    };
    InsertBuilder five(u"MeloDeck"_s, {false, true, true, true, true});
    EXPECT_EQ(five.deleteStatement(), u"DELETE FROM MeloDeck"_s);
    expectBuilds(
        five, u"MeloDeck"_s,
        {{u"123,歌手A, 曲名B ,It's,", u"123,'歌手A','曲名B','It''s',NULL"},
         // Fewer fields: missing text fields NULL; more fields: ignored.
         {u"7,a", u"7,'a',NULL,NULL,NULL"},
         {u"8,a,b,c,d,e,f", u"8,'a','b','c','d'"},
         // No quoting: quotes stay, a comma inside them ends the field.
         {u"9,\"x,y\",'',  ,''''", u"9,'\"x','y\"','''''',NULL"},
         // Only half-width spaces are trimmed; full-width spaces and tabs stay.
         {u"10,\u3000全角\u3000,\tタブ\t,   ,", u"10,'\u3000全角\u3000','\tタブ\t',NULL,NULL"}});

    // Number fields take the leading number in plain decimal; 0 when absent.
    InsertBuilder nums(u"T"_s, {false, false, false, false, false, false, false});
    expectBuilds(nums, u"T"_s,
                 {{u"-5,007,1.5,3.5kg, 1 2 ,&H1F", u"-5,7,1.5,3.5,12,31,0"},
                  {u"1,abc,,0,2E3,１,+4", u"1,0,0,0,2000,0,4"},
                  {u"1234567890,0000,999999999", u"1234567890,0,999999999,0,0,0,0"}});

    // The builder's text is reused: a long line then a short one.
    InsertBuilder two(u"T"_s, {false, true});
    two.build(QString(500, u'x'));
    EXPECT_EQ(two.build(u"1,a"), u"INSERT INTO T VALUES (1,'a')"_s);
}

TEST(InsertStatement, SqlLiteralAndErrorPageLines) {
    EXPECT_EQ(songlist::SqlLiteral(Value::null()), u"NULL"_s);
    EXPECT_EQ(songlist::SqlLiteral(Value::string(u"   "_s)), u"NULL"_s);
    EXPECT_EQ(songlist::SqlLiteral(Value::string(u" a'b "_s)), u"'a'b'"_s);
    EXPECT_EQ(songlist::SqlLiteral(Value::lng(42)), u"'42'"_s);

    // The raw bytes of a list line.
    for (const char* line : {"404 Not Found", "404 "})
        EXPECT_TRUE(songlist::IsErrorPageLine(std::string_view(line))) << line;
    for (const char* line : {"404", "404,曲", " 404 ", "４０４ "})
        EXPECT_FALSE(songlist::IsErrorPageLine(std::string_view(line))) << line;

    // Found in a list that comes in pieces (a download) as the import finds
    // it among the lines it reads, wherever the pieces are cut.
    const std::string mark = "\xEF\xBB\xBF";
    const std::pair<std::string, bool> lists[] = {
        {"404 Not Found\r\n", true},
        {mark + "404 x", true},                  // behind the mark of the first line
        {"1,a\r\n" + mark + "404 x\r\n", false}, // a later line has no mark
        {mark.substr(0, 2) + "404 \r\n", false}, // nor does part of one
        {"1,a\r404 ", true},                     // a CR alone ends a line
        {"1,a\n\n404 \r\n", true},
        {"1,a,404 \r\n 404 \r\n404\r\n4404 \r\n", false},
        {"", false},
    };
    for (const auto& [list, found] : lists) {
        SCOPED_TRACE(list);
        const Lines lines = readLines(QByteArray::fromStdString(list));
        bool read = false;
        for (size_t i = 0; i < lines.size(); ++i)
            read = read || songlist::IsErrorPageLine(lines[i], i == 0);
        EXPECT_EQ(read, found);
        for (size_t cut = 0; cut <= list.size(); ++cut) {
            songlist::ErrorPageScan scan;
            scan.feed(std::string_view(list).substr(0, cut));
            EXPECT_EQ(scan.feed(std::string_view(list).substr(cut)), found) << "cut at " << cut;
        }
        songlist::ErrorPageScan byBytes;
        for (const char c : list)
            byBytes.feed(std::string_view(&c, 1));
        EXPECT_EQ(byBytes.feed({}), found);
    }
}
