#include "import/ListLineReader.h"

#include "common/VbError.h"

#include <algorithm>
#include <cstring>

namespace melodeck::songlist {

ListLineReader::ListLineReader(QIODevice& device, qsizetype chunkSize)
    : dev_(device), buf_(size_t(chunkSize > 16 ? chunkSize : 16)) {}

bool ListLineReader::fill() {
    if (eof_)
        return false;
    if (pos_ > 0) {
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    // One line longer than the buffer. Room for the longest line, its CR LF
    // and nothing more: next() refuses a longer line before it gets here.
    if (end_ == buf_.size())
        buf_.resize(std::max(buf_.size() + 1, std::min(buf_.size() * 2, kMaxLineBytes + 2)));
    return readMore();
}

void ListLineReader::refuseLongLine() const {
    // A file without line ends (a device, a large binary) would otherwise be
    // held in memory whole.
    throw VbError(VbError::FileAccess,
                  QStringLiteral("ファイル '%1' に %2 バイトを超える行があります。"
                                 "テキストのリストではありません。")
                      .arg(name_.isEmpty() ? dev_.objectName() : name_)
                      .arg(kMaxLineBytes));
}

bool ListLineReader::readMore() {
    if (eof_)
        return false;
    const qint64 got = dev_.read(buf_.data() + end_, qint64(buf_.size() - end_));
    if (got < 0) {
        throw VbError(VbError::FileAccess,
                      QStringLiteral("ファイル '%1' を読み込めません（%2）。")
                          .arg(name_.isEmpty() ? dev_.objectName() : name_, dev_.errorString()));
    }
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ += size_t(got);
    return true;
}

bool ListLineReader::next(std::string_view& line) {
    size_t from = pos_; // where the search for a line end goes on
    for (;;) {
        const char* b = buf_.data();
        bool pendingCr = false;
        size_t i = from;
        for (; i < end_; ++i) {
            const char c = b[i];
            if (c != '\r' && c != '\n')
                continue;
            if (c == '\r' && i + 1 == end_) {
                // Whether an LF follows is only known after the next read.
                pendingCr = true;
                break;
            }
            size_t after = i + 1;
            if (c == '\r' && b[after] == '\n')
                ++after;
            line = take(i - pos_, after);
            return true;
        }
        const size_t searched = i - pos_; // fill() moves the data to the front
        if (searched > kMaxLineBytes)
            refuseLongLine();
        if (!fill()) {
            if (pos_ == end_)
                return false;
            // The rest of the file: a last line without a line end, or one
            // ended by a CR that is the file's last byte.
            line = take(pendingCr ? searched : end_ - pos_, end_);
            return true;
        }
        from = pos_ + searched;
    }
}

std::string_view ListLineReader::take(size_t length, size_t next) {
    // A look-ahead may have left the buffer larger than any line may be.
    if (length > kMaxLineBytes)
        refuseLongLine();
    line_ = pos_;
    pos_ = next;
    return std::string_view(buf_.data() + line_, length);
}

std::string_view ListLineReader::lookAhead(size_t n) {
    if (line_ > 0) { // the line to the front, so that what is read lands behind it
        std::memmove(buf_.data(), buf_.data() + line_, end_ - line_);
        end_ -= line_;
        pos_ -= line_;
        line_ = 0;
    }
    if (buf_.size() < n)
        buf_.resize(n);
    while (end_ < n && readMore()) {
    }
    return std::string_view(buf_.data(), std::min(end_, n));
}

} // namespace melodeck::songlist
