#include "import/SongListImport.h"

#include "common/Cp932.h"
#include "common/ModCommon.h"
#include "common/VbError.h"
#include "import/ListLineReader.h"
#include "store/Database.h"
#include "store/Recordset.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace melodeck::songlist {

QString SqlLiteral(const Value& value) {
    const QString t = ModCommon::NullToStr(value);
    if (t.isEmpty())
        return QStringLiteral("NULL");
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

namespace {

// The next field of a line: up to the next comma, taken off rest; once the
// line is used up every further field is empty.
QStringView nextField(QStringView& rest) {
    const qsizetype comma = rest.indexOf(u',');
    if (comma < 0)
        return std::exchange(rest, {});
    const QStringView field = rest.left(comma);
    rest = rest.mid(comma + 1);
    return field;
}

// Plain keys ("123": up to nine digits, no leading zero) are written as they
// stand; anything else goes through the lenient reading of a leading number.
std::optional<std::int64_t> plainNumber(QStringView field) {
    const qsizetype n = field.size();
    if (n == 0 || n > 9 || (n > 1 && field[0] == u'0'))
        return std::nullopt;
    std::int64_t v = 0;
    for (const QChar c : field) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

} // namespace

bool IsErrorPageLine(std::string_view lineBytes) {
    return lineBytes.substr(0, 4) == "404 ";
}

bool IsErrorPageLine(QStringView line) {
    return line.startsWith(u"404 ");
}

bool IsUtf8Sample(std::string_view sample, bool cut) {
    bool multiByte = false;
    size_t i = 0;
    while (i < sample.size()) {
        const auto lead = static_cast<unsigned char>(sample[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        char32_t least;
        if (lead >= 0xC2 && lead <= 0xDF)
            len = 2, least = 0x80;
        else if (lead >= 0xE0 && lead <= 0xEF)
            len = 3, least = 0x800;
        else if (lead >= 0xF0 && lead <= 0xF4)
            len = 4, least = 0x10000;
        else
            return false; // a continuation byte, or no UTF-8 lead at all
        const size_t have = std::min(len, sample.size() - i);
        char32_t c = lead & (0x7F >> len);
        for (size_t j = 1; j < have; ++j) {
            const auto b = static_cast<unsigned char>(sample[i + j]);
            if ((b & 0xC0) != 0x80)
                return false;
            c = c << 6 | (b & 0x3F);
        }
        if (have < len) // a character cut by the end of the sample
            return cut && multiByte;
        // Overlong forms, surrogates and code points beyond Unicode.
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        multiByte = true;
        i += len;
    }
    return multiByte;
}

std::vector<bool> TextFlags(const Recordset& rs) {
    std::vector<bool> flags(size_t(rs.FieldCount()));
    for (int i = 0; i < rs.FieldCount(); ++i) {
        const int t = rs.FieldType(i);
        flags[size_t(i)] = t == FieldType::Text || t == FieldType::Char;
    }
    return flags;
}

// ---- statements ------------------------------------------------------------

InsertBuilder::InsertBuilder(const QString& table, std::vector<bool> textFlags)
    : table_(table), flags_(std::move(textFlags)) {}

QString InsertBuilder::deleteStatement() const {
    return QStringLiteral("DELETE FROM ") + table_;
}

const QString& InsertBuilder::build(QStringView line) {
    stmt_.resize(0); // keeps the capacity of the previous statement
    stmt_ += u"INSERT INTO ";
    stmt_ += table_;
    stmt_ += u" VALUES (";
    QStringView rest = line;
    for (size_t i = 0; i < flags_.size(); ++i) {
        if (i > 0)
            stmt_ += QLatin1Char(',');
        const QStringView field = nextField(rest);
        if (flags_[i])
            appendText(field);
        else
            appendNumber(field);
    }
    stmt_ += QLatin1Char(')');
    return stmt_;
}

void InsertBuilder::values(QStringView line, RowValues& out) {
    out.clear();
    QStringView rest = line;
    for (size_t i = 0; i < flags_.size(); ++i) {
        const QStringView field = nextField(rest);
        if (flags_[i]) {
            const QStringView text = textField(field);
            if (text.isEmpty())
                out.addNull();
            else
                out.addText(text);
            continue;
        }
        if (const auto key = plainNumber(field)) {
            out.addInteger(*key);
            continue;
        }
        // What the engine makes of the literal build writes: a whole number
        // in plain digits is an integer, anything else a real.
        const QString text = NumberText(leadingNumber(field));
        bool ok = false;
        const qlonglong whole = text.toLongLong(&ok);
        if (ok && QString::number(whole) == text)
            out.addInteger(whole);
        else
            out.addReal(text.toDouble());
    }
}

QStringView InsertBuilder::textField(QStringView field) {
    // A NUL character is no text: the engine would end the statement there,
    // leaving the literal open. It is left out before anything else.
    if (field.contains(QChar(u'\0'))) {
        scratch_.resize(0);
        for (QChar c : field)
            if (c != u'\0')
                scratch_ += c;
        field = scratch_;
    }
    // Only half-width spaces are trimmed; an all-space field is NULL (empty).
    return ModCommon::TrimSpaces(field);
}

void InsertBuilder::appendText(QStringView field) {
    stmt_ += SqlLiteral(Value::string(ModCommon::DoubleChar(textField(field).toString(), u'\'')));
}

void InsertBuilder::appendNumber(QStringView field) {
    if (plainNumber(field))
        stmt_ += field;
    else
        stmt_ += NumberText(leadingNumber(field));
}

double InsertBuilder::leadingNumber(QStringView field) {
    scratch_.resize(0);
    scratch_ += field;
    const double v = ModCommon::LeadingNumber(scratch_);
    // A number beyond any double ("1e999") has no literal; like the number
    // reader of old, it is an overflow, not a text the engine would take
    // for a field name.
    if (!std::isfinite(v))
        throw VbError::overflow();
    return v;
}

// ---- one import --------------------------------------------------------------

SongListImport::SongListImport(const QString& path) : path_(path) {
    if (path.isEmpty()) {
        throw VbError(VbError::FileNotFound,
                      QStringLiteral("取り込むリストファイルが指定されていません。"));
    }
    const QFileInfo fi(path);
    if (!fi.exists())
        throw VbError(VbError::FileNotFound,
                      QStringLiteral("ファイル '%1' が見つかりません。").arg(path));
    if (fi.isDir()) {
        throw VbError(
            VbError::FileAccess,
            QStringLiteral("'%1' はフォルダーです。リストファイルを指定してください。").arg(path));
    }
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        throw VbError(
            VbError::FileAccess,
            QStringLiteral("ファイル '%1' を開けません（%2）。").arg(path, file_.errorString()));
    }
    total_ = file_.size();
}

namespace {
// Undoes the open transaction without hiding the error that caused it.
void rollbackQuietly(Database& db) {
    try {
        if (db.InTransaction())
            db.Rollback();
    } catch (...) {
    }
}
} // namespace

ImportOutcome SongListImport::run(Database& db, const QString& table,
                                  const std::vector<bool>& textFlags, ImportSink& sink) {
    ListLineReader reader(file_);
    reader.setName(path_);
    InsertBuilder builder(table, textFlags);
    RowValues row;
    bool began = false;
    // Pure ASCII reads the same either way: the encoding is settled at the
    // byte-order mark or at the first line holding a non-ASCII byte.
    bool decided = false, utf8 = false;
    try {
        std::string_view bytes;
        while (reader.next(bytes)) {
            ++lines_;
            const std::int64_t lineBytes = std::int64_t(bytes.size());
            if (lines_ == 1 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
                bytes.remove_prefix(3);
                decided = utf8 = true;
            }
            if (IsErrorPageLine(bytes)) {
                if (began)
                    rollbackQuietly(db);
                return ImportOutcome::ErrorPage;
            }
            // No text list holds a NUL byte; a program or an archive chosen
            // by mistake does, and is refused before it can replace the
            // songs with garbage.
            if (bytes.find('\0') != std::string_view::npos) {
                throw VbError(VbError::FileAccess,
                              QStringLiteral("ファイル '%1' の %2 行目に NUL 文字があります。"
                                             "テキストのリストではありません。")
                                  .arg(path_)
                                  .arg(lines_));
            }
            if (!decided) {
                const auto high = std::find_if(bytes.begin(), bytes.end(),
                                               [](char c) { return (c & 0x80) != 0; });
                if (high != bytes.end()) {
                    const size_t at = size_t(high - bytes.begin());
                    const std::string_view ahead = reader.lookAhead(at + kEncodingSampleBytes);
                    bytes = ahead.substr(0, bytes.size());
                    utf8 =
                        IsUtf8Sample(ahead.substr(at), ahead.size() == at + kEncodingSampleBytes);
                    decided = true;
                }
            }
            // The bytes as read (for code page 932 text the ByteLen of the
            // decoded line), without encoding it again.
            done_ += lineBytes + 2;
            sink.progress(done_);
            const QString line = utf8 ? QString::fromUtf8(bytes.data(), qsizetype(bytes.size()))
                                      : cp932::decode(bytes);
            if (ModCommon::LeadingNumber(line) == 0)
                continue;
            if (!began) {
                db.BeginTrans();
                began = true;
                db.Execute(builder.deleteStatement());
            }
            builder.values(line, row);
            db.InsertRow(table, row, [&] { return builder.build(line); });
            sink.rowAdded();
        }
        if (began)
            db.CommitTrans();
    } catch (...) {
        if (began)
            rollbackQuietly(db);
        throw;
    }
    file_.close();
    return ImportOutcome::Completed;
}

} // namespace melodeck::songlist
