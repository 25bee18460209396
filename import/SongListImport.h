#pragma once
// The CSV song list turned into statements on the song table, and the run of
// one import over a database. No widgets: the window supplies the progress
// display and the message pump through ImportSink.

#include "common/Value.h"

#include <QFile>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace melodeck {
class Database;
class Recordset;
class RowValues;
} // namespace melodeck

namespace melodeck::songlist {

class ListLineReader;

// A literal for a text field: the value's text without leading and trailing
// half-width spaces between apostrophes, or NULL when nothing is left.
// Apostrophes are not doubled here; the caller has done that.
QString SqlLiteral(const Value& value);

// The warning for an address that gives no list: a "404 " line, an error
// answer.
inline constexpr QStringView kBadUrl = u"URLが不正です";

// True for the first line of a server's "not found" page ("404 "), behind a
// UTF-8 byte-order mark when it is the list's first line.
bool IsErrorPageLine(std::string_view lineBytes, bool firstLine = false);

// Looks for such a line in a list that comes in pieces, lines ending at CR
// or LF as the import reads them.
class ErrorPageScan {
public:
    // Takes the next bytes of the list; true once a "404 " line was among
    // the bytes taken.
    bool feed(std::string_view bytes);

private:
    std::string head_;  // the current line's first bytes, while they may begin one
    bool first_ = true; // the current line is the list's first
    bool open_ = true;  // the current line may still be one
    bool found_ = false;
};

// Whether a list is UTF-8 rather than code page 932, judged from a sample
// of its bytes that begins at its first non-ASCII byte: true when the sample
// is well-formed UTF-8 and holds at least one multi-byte character. cut: the
// sample ends before the data does, so its last character may be incomplete.
// Code page 932 kana and kanji are practically never well-formed UTF-8
// (their lead bytes 0x82, 0x83 and 0x88 to 0x9F cannot start a character).
bool IsUtf8Sample(std::string_view sample, bool cut);

// Bytes of the sample IsUtf8Sample judges a list by.
inline constexpr size_t kEncodingSampleBytes = 64 * 1024;

// Per field of the song table: true when it takes text (DAO types 10 and 18).
std::vector<bool> TextFlags(const Recordset& rs);

// Builds the statements of one import.
class InsertBuilder {
public:
    InsertBuilder(const QString& table, std::vector<bool> textFlags);

    QString deleteStatement() const;

    // The values of one data line, as the import binds them: the line split
    // at every comma (no quoting), field i as text when flag i is set (NUL
    // characters and outer half-width spaces left out, NULL when nothing is
    // left) and as its leading number otherwise; missing fields empty, extra
    // fields ignored. A number field beyond any double raises
    // VbError::overflow.
    void values(QStringView line, RowValues& out);
    // The same row as the statement text, for the statement log:
    // INSERT INTO table VALUES (v1,...,vn), whose literals stand for what
    // values() gives. The result lives until the next call.
    const QString& build(QStringView line);

private:
    // A text field as stored: without NUL characters and outer half-width
    // spaces (in scratch_ when characters were left out); nothing for NULL.
    std::optional<QStringView> textField(QStringView field);
    void appendText(QStringView field);
    void appendNumber(QStringView field);
    // The lenient reading of a number field; VbError::overflow beyond any double.
    double leadingNumber(QStringView field);

    QString table_;
    std::vector<bool> flags_;
    QString stmt_;
    QString scratch_;
};

// What the window lends the import while it runs.
class ImportSink {
public:
    virtual ~ImportSink() = default;
    // Running byte count after each line (may pass the file's length).
    virtual void progress(std::int64_t done) = 0;
    // After each added row: the window processes its pending messages.
    virtual void rowAdded() = 0;
};

enum class ImportOutcome {
    Completed, // the list was read to its end; the table holds its data lines
               // (or is unchanged when the list had none)
    ErrorPage, // a "404 " line: the table is unchanged
};

// One import of one list file.
class SongListImport {
public:
    // Opens the list; VbError (FileNotFound, FileAccess) with a description
    // that names the file when it is missing, is no regular file (a folder,
    // a named pipe, a device: never waited on) or cannot be opened. A
    // symbolic link is read as the file it leads to.
    explicit SongListImport(const QString& path);

    // Length of the file in bytes, taken when it was opened.
    std::int64_t total() const { return total_; }

    // Reads the list to its end, replacing the rows of `table`. The deletion
    // and every insert run in one transaction that is committed only when the
    // whole file has been read; on a "404 " line or any error it is rolled
    // back, so the table is never left half replaced. Errors are raised
    // (after the rollback) as VbError; a file that holds a NUL byte is
    // refused as no text list. A list that starts with a UTF-8 byte-order
    // mark, or whose first 64 KB from its first non-ASCII byte on pass
    // IsUtf8Sample, is read as UTF-8; any other as code page 932.
    ImportOutcome run(Database& db, const QString& table, const std::vector<bool>& textFlags,
                      ImportSink& sink);

    std::int64_t done() const { return done_; }

private:
    // One line's text: its bytes checked for NUL and decoded in the list's
    // encoding, which the first line holding a non-ASCII byte settles.
    QString decode(std::string_view bytes, ListLineReader& reader);
    class LineQueue;
    // The reading thread: reads, decodes and splits lines into batches.
    void readAhead(const QString& table, const std::vector<bool>& textFlags, LineQueue& queue);
    void readLines(const QString& table, const std::vector<bool>& textFlags, LineQueue& queue);

    QString path_;
    QFile file_;
    bool decided_ = false, utf8_ = false;
    std::int64_t total_ = 0;
    std::int64_t lines_ = 0;
    std::int64_t done_ = 0;
};

} // namespace melodeck::songlist
