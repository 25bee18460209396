#include "import/SongListImport.h"

#include "common/Cp932.h"
#include "common/ModCommon.h"
#include "common/SafeFile.h"
#include "common/VbError.h"
#include "import/ListLineReader.h"
#include "store/Database.h"
#include "store/Recordset.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace melodeck::songlist {

QString SqlLiteral(const Value& value) {
    const QString t = ModCommon::NullToStr(value);
    if (t.isEmpty())
        return QStringLiteral("NULL");
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

namespace {

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

namespace {
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kErrorPageStart = "404 ";
} // namespace

bool IsErrorPageLine(std::string_view lineBytes, bool firstLine) {
    if (firstLine && lineBytes.starts_with(kUtf8Mark))
        lineBytes.remove_prefix(kUtf8Mark.size());
    return lineBytes.starts_with(kErrorPageStart);
}

bool ErrorPageScan::feed(std::string_view bytes) {
    static const std::string marked = std::string(kUtf8Mark) + std::string(kErrorPageStart);
    for (const char c : bytes) {
        if (found_)
            break;
        if (c == '\r' || c == '\n') {
            head_.clear();
            first_ = false;
            open_ = true;
            continue;
        }
        if (!open_)
            continue;
        head_ += c;
        open_ = false;
        for (const std::string_view line :
             {kErrorPageStart, first_ ? std::string_view(marked) : kErrorPageStart}) {
            if (line.starts_with(head_)) {
                open_ = true;
                found_ = found_ || head_.size() == line.size();
            }
        }
    }
    return found_;
}

bool IsUtf8Sample(std::string_view sample, bool cut) {
    // Qt's decoder refuses overlong forms, surrogates and code points beyond
    // Unicode. Keeping its state, it waits for the rest of a character cut
    // by the end of the sample instead of calling it an error.
    QStringConverter::Flags flags = QStringConverter::Flag::ConvertInitialBom;
    if (!cut)
        flags |= QStringConverter::Flag::Stateless;
    QStringDecoder decoder(QStringConverter::Utf8, flags);
    const QString text = decoder.decode(QByteArrayView(sample.data(), qsizetype(sample.size())));
    return !decoder.hasError() &&
           std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x80; });
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
        const QStringView field = ModCommon::TakeToken(rest, u",");
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
        const QStringView field = ModCommon::TakeToken(rest, u",");
        if (flags_[i]) {
            if (const auto text = textField(field))
                out.addText(*text);
            else
                out.addNull();
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

std::optional<QStringView> InsertBuilder::textField(QStringView field) {
    // A NUL character is no text: the engine would end the statement there,
    // leaving the literal open. It is left out before anything else.
    if (field.contains(QChar(u'\0'))) {
        scratch_.resize(0);
        for (QChar c : field)
            if (c != u'\0')
                scratch_ += c;
        field = scratch_;
    }
    // Only half-width spaces are trimmed; what is left of a blank field is
    // no text but NULL.
    field = ModCommon::TrimSpaces(field);
    if (field.isEmpty())
        return std::nullopt;
    return field;
}

void InsertBuilder::appendText(QStringView field) {
    // A blank field is NULL; SqlLiteral writes it so.
    const std::optional<QStringView> text = textField(field);
    stmt_ += SqlLiteral(text ? Value::string(ModCommon::DoubleChar(text->toString(), u'\''))
                             : Value::null());
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
    QString why;
    const files::FileKind kind =
        files::OpenRegularFile(path, file_, QIODevice::ReadOnly | QIODevice::Unbuffered, &why);
    const auto notAList = [&](const QString& what) {
        return VbError(
            VbError::FileAccess,
            QStringLiteral("'%1' は%2です。リストファイルを指定してください。").arg(path, what));
    };
    switch (kind) {
    case files::FileKind::Missing:
        throw VbError(VbError::FileNotFound,
                      QStringLiteral("ファイル '%1' が見つかりません。").arg(path));
    case files::FileKind::Folder:
        throw notAList(QStringLiteral("フォルダー"));
    case files::FileKind::Pipe:
        throw notAList(QStringLiteral("名前付きパイプ"));
    case files::FileKind::Device:
        throw notAList(QStringLiteral("デバイス"));
    case files::FileKind::Socket:
        throw notAList(QStringLiteral("ソケット"));
    case files::FileKind::Other:
        throw notAList(QStringLiteral("特殊なファイル"));
    case files::FileKind::Regular:
    case files::FileKind::Unknown:
        break;
    }
    if (!file_.isOpen()) {
        throw VbError(VbError::FileAccess,
                      QStringLiteral("ファイル '%1' を開けません（%2）。").arg(path, why));
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

QString SongListImport::decode(std::string_view bytes, ListLineReader& reader) {
    if (lines_ == 1 && bytes.starts_with(kUtf8Mark)) {
        bytes.remove_prefix(kUtf8Mark.size());
        decided_ = utf8_ = true;
    }
    // No text list holds a NUL byte; a program or an archive chosen by
    // mistake does, and is refused before it can replace the songs with
    // garbage.
    if (bytes.find('\0') != std::string_view::npos) {
        throw VbError(VbError::FileAccess,
                      QStringLiteral("ファイル '%1' の %2 行目に NUL 文字があります。"
                                     "テキストのリストではありません。")
                          .arg(path_)
                          .arg(lines_));
    }
    // Pure ASCII reads the same either way: the encoding is settled at the
    // byte-order mark or at the first line holding a non-ASCII byte.
    if (!decided_) {
        const auto high =
            std::find_if(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
        if (high != bytes.end()) {
            const size_t at = size_t(high - bytes.begin());
            const std::string_view ahead = reader.lookAhead(at + kEncodingSampleBytes);
            bytes = ahead.substr(0, bytes.size());
            utf8_ = IsUtf8Sample(ahead.substr(at), ahead.size() == at + kEncodingSampleBytes);
            decided_ = true;
        }
    }
    return utf8_ ? QString::fromUtf8(bytes.data(), qsizetype(bytes.size())) : cp932::decode(bytes);
}

namespace {

// Runs f when it goes, however the scope ends.
template <class F> struct Finally {
    F& f;
    ~Finally() { f(); }
};
template <class F> Finally(F&) -> Finally<F>;

// One line of the list as the import applies it, read and prepared ahead.
struct ReadLine {
    enum Kind {
        Row,       // a data line: its values
        Skip,      // a line without a song number
        ErrorPage, // a "404 " line
        Failure,   // reading or preparing the line failed
    } kind = Skip;
    std::int64_t done = 0; // bytes read up to here
    // Failure: whether the line counted as read (and so as a data line)
    // before it failed, as an overflowing number does.
    bool counted = false;
    QString line;
    RowValues values;
    std::exception_ptr error;
};

} // namespace

// Lines handed from the thread that reads and prepares them to the one that
// inserts them, in batches, a few batches ahead at most.
class SongListImport::LineQueue {
public:
    static constexpr size_t kBatch = 256;
    static constexpr size_t kAhead = 8;

    // The reader's next empty batch; null once the taker has stopped.
    std::unique_ptr<std::vector<ReadLine>> emptyBatch() {
        std::unique_lock lock(m_);
        changed_.wait(lock, [&] { return stopped_ || full_.size() < kAhead; });
        if (stopped_)
            return nullptr;
        if (spare_.empty())
            return std::make_unique<std::vector<ReadLine>>();
        auto b = std::move(spare_.back());
        spare_.pop_back();
        return b;
    }
    void put(std::unique_ptr<std::vector<ReadLine>> b) {
        {
            const std::lock_guard lock(m_);
            full_.push_back(std::move(b));
        }
        changed_.notify_all();
    }
    // The next batch in order; the previous one goes back for reuse.
    std::vector<ReadLine>& take(std::unique_ptr<std::vector<ReadLine>>& held) {
        std::unique_lock lock(m_);
        if (held)
            spare_.push_back(std::move(held));
        changed_.notify_all();
        changed_.wait(lock, [&] { return !full_.empty() || failure_; });
        if (full_.empty())
            std::rethrow_exception(failure_);
        held = std::move(full_.front());
        full_.pop_front();
        return *held;
    }
    // The reader ended on an error outside any line (memory ran out).
    void fail(std::exception_ptr e) {
        {
            const std::lock_guard lock(m_);
            failure_ = std::move(e);
        }
        changed_.notify_all();
    }
    void stop() {
        {
            const std::lock_guard lock(m_);
            stopped_ = true;
        }
        changed_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<std::vector<ReadLine>>> full_, spare_;
    std::exception_ptr failure_;
    bool stopped_ = false;
};

void SongListImport::readAhead(const QString& table, const std::vector<bool>& textFlags,
                               LineQueue& queue) {
    try {
        readLines(table, textFlags, queue);
    } catch (...) {
        queue.fail(std::current_exception()); // outside any line: memory ran out
    }
}

void SongListImport::readLines(const QString& table, const std::vector<bool>& textFlags,
                               LineQueue& queue) {
    ListLineReader reader(file_);
    reader.setName(path_);
    InsertBuilder builder(table, textFlags);
    std::int64_t read = 0;
    bool last = false;
    while (!last) {
        auto batch = queue.emptyBatch();
        if (!batch)
            return;
        size_t n = 0;
        while (!last && n < LineQueue::kBatch) {
            if (batch->size() == n)
                batch->emplace_back();
            ReadLine& r = (*batch)[n++];
            r.counted = false;
            try {
                std::string_view bytes;
                if (!reader.next(bytes)) {
                    --n;
                    last = true;
                    break;
                }
                ++lines_;
                if (IsErrorPageLine(bytes, lines_ == 1)) {
                    r.kind = ReadLine::ErrorPage;
                    last = true;
                    break;
                }
                // The bytes as read (for code page 932 text the ByteLen of
                // the decoded line), without encoding it again.
                r.done = (read += std::int64_t(bytes.size()) + 2);
                r.line = decode(bytes, reader);
                r.counted = true;
                if (ModCommon::LeadingNumber(r.line) == 0) {
                    r.kind = ReadLine::Skip;
                    continue;
                }
                builder.values(r.line, r.values);
                r.kind = ReadLine::Row;
            } catch (...) {
                r.kind = ReadLine::Failure;
                r.error = std::current_exception();
                last = true;
            }
        }
        batch->resize(n);
        queue.put(std::move(batch));
    }
}

ImportOutcome SongListImport::run(Database& db, const QString& table,
                                  const std::vector<bool>& textFlags, ImportSink& sink) {
    // The lines are read, decoded and split into values on a second thread
    // while this one inserts them, one by one and in their order; what the
    // user sees and what the database receives are as if one thread did both.
    LineQueue queue;
    std::thread reading([&] { readAhead(table, textFlags, queue); });
    const auto join = [&] {
        queue.stop();
        if (reading.joinable())
            reading.join();
    };
    const Finally joined{join};

    InsertBuilder logged(table, textFlags); // the statement text for the log
    std::unique_ptr<std::vector<ReadLine>> held;
    bool began = false;
    const auto begin = [&] {
        if (!began) {
            db.BeginTrans();
            began = true;
            db.Execute(logged.deleteStatement());
        }
    };
    try {
        for (bool last = false; !last;) {
            std::vector<ReadLine>& batch = queue.take(held);
            last = batch.size() < LineQueue::kBatch;
            for (ReadLine& r : batch) {
                if (r.kind == ReadLine::ErrorPage) {
                    if (began)
                        rollbackQuietly(db);
                    return ImportOutcome::ErrorPage;
                }
                if (r.counted) // read and decoded
                    sink.progress(done_ = r.done);
                if (r.kind == ReadLine::Skip)
                    continue;
                if (r.counted)
                    begin(); // a data line, also one whose values failed
                if (r.kind == ReadLine::Failure)
                    std::rethrow_exception(r.error);
                db.InsertRow(table, r.values, [&] { return logged.build(r.line); });
                sink.rowAdded();
            }
        }
        if (began)
            db.CommitTrans();
    } catch (...) {
        if (began)
            rollbackQuietly(db);
        throw;
    }
    join();
    file_.close();
    return ImportOutcome::Completed;
}

} // namespace melodeck::songlist
