#pragma once
// Reads a song list line by line as raw bytes. A line ends at CR LF, at a CR
// alone or at an LF alone; the end is not part of the line. The file is read
// in fixed chunks, so a list of any size costs a few tens of kilobytes.

#include <QFile>
#include <QString>
#include <string_view>
#include <vector>

namespace melodeck::songlist {

class ListLineReader {
public:
    // Reads from an open device; the device must outlive the reader.
    explicit ListLineReader(QIODevice& device, qsizetype chunkSize = 64 * 1024);

    // The next line, valid until the next call. False once the data is used up
    // (a last line without a line end is still delivered). A read failure or
    // a line longer than kMaxLineBytes (its line end not counted) raises
    // VbError (FileAccess) naming `name`.
    bool next(std::string_view& line);

    static constexpr size_t kMaxLineBytes = 16 * 1024 * 1024;

    // The bytes from the start of the line last returned by next(): n of them,
    // or fewer where the data ends first. That line is their front; its
    // earlier view may no longer be valid. Read failures raise as next() does.
    std::string_view lookAhead(size_t n);

    // Name used in error descriptions.
    void setName(const QString& name) { name_ = name; }

private:
    // Appends more data behind what is left; false at end of data.
    bool fill();
    // Reads into the free room behind end_; false at end of data.
    bool readMore();
    // The line of `length` bytes at pos_, whose end runs to `next`.
    std::string_view take(size_t length, size_t next);
    [[noreturn]] void refuseLongLine() const;

    QIODevice& dev_;
    QString name_;
    std::vector<char> buf_;
    size_t line_ = 0; // start of the line last returned
    size_t pos_ = 0;  // first unread byte
    size_t end_ = 0;  // end of valid data
    bool eof_ = false;
};

} // namespace melodeck::songlist
