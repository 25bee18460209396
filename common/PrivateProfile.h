#pragma once
// A private-profile (INI) file layer that reads and writes files the way the
// Windows ANSI profile functions do: code page 932, CR LF, untouched lines
// kept byte for byte. Values are read whole.

#include <QString>

#include <memory>

namespace melodeck::profile {

// One settings file, read and parsed once: any number of reads and writes go
// to the parsed lines, and Save writes the edited text back in one piece.
// A run of reads (a start-up) or writes (an exit) thus costs one parse of the
// file however large it is.
class File {
public:
    // Reads the file at path. A missing file, and anything that is not a
    // readable regular file (a folder, a named pipe, a device, a link to one
    // of them), reads as an empty file; a named pipe is never waited on.
    explicit File(const QString& path);
    ~File();
    File(File&&) noexcept;
    File& operator=(File&&) noexcept;

    // The value of key in section, or def when the section or key is missing.
    QString GetString(const QString& section, const QString& key, const QString& def) const;

    // Sets key=value in section, adding the section and the key as needed.
    // Only the parsed lines change; Save puts them into the file.
    void WriteString(const QString& section, const QString& key, const QString& value);

    // Writes the text back as the file's whole content; a symbolic link stays
    // and the file it names gets the text. Returns false, changing nothing,
    // when the file cannot be written: read-only, no regular file, or one
    // whose content could not be read.
    bool Save() const;

private:
    struct Data;
    std::unique_ptr<Data> d_;
};

// One read of one key: the value of key in section, or def when the file,
// section or key is missing.
QString GetString(const QString& section, const QString& key, const QString& def,
                  const QString& filePath);

// One write of one key: key=value into section, creating file, section and
// key as needed. Returns false when the file cannot be written (nothing is
// changed then).
bool WriteString(const QString& section, const QString& key, const QString& value,
                 const QString& filePath);

} // namespace melodeck::profile
