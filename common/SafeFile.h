#pragma once
// Replacing a file as a whole: the new bytes go to a temporary file beside
// the target and are renamed over it only when every byte is known to be on
// the disk. Any write error (a full disk, a file size limit, an I/O error),
// whenever it surfaces, leaves the target byte for byte as it was.
//
// QSaveFile is not enough on its own: a write that fits its buffer reports
// success, the real write fails inside commit(), and the empty temporary
// file is renamed over the target anyway.

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <filesystem>

namespace melodeck::files {

class FileReplacer {
public:
    explicit FileReplacer(QString target);
    ~FileReplacer(); // an uncommitted temporary file is removed
    FileReplacer(const FileReplacer&) = delete;
    FileReplacer& operator=(const FileReplacer&) = delete;

    // Creates the temporary file. False when the folder cannot take it.
    bool open();
    // Appends bytes; false (and every later call false) once a write failed.
    bool write(QByteArrayView bytes);
    // Checks that the temporary file holds every byte written, makes it
    // durable and renames it over the target. False leaves the target as it
    // was and the temporary file removed.
    bool commit();
    // Drops the temporary file; the target stays as it was.
    void cancel();

    // Why the last call failed, for a warning.
    QString errorString() const { return error_; }
    // The last call failed for want of room: the disk is full, or a quota
    // or a file size limit was reached.
    bool noRoom() const { return noRoom_; }

private:
    bool fail(const QString& why);
    // Fails with the reason the system gave in errno.
    bool failWithErrno(int error);

    QString target_;
    QFile temp_;
    qint64 written_ = 0;
    bool failed_ = false;
    bool noRoom_ = false;
    QString error_;
};

// What a path names, symbolic links followed.
enum class FileKind { Missing, Regular, Folder, Pipe, Device, Socket, Other, Unknown };

// Opens path for reading when it names a regular file, a symbolic link
// followed. Anything else is neither read nor waited on: opening a named
// pipe waits for a writer, a device may never end. Returns what was found;
// for Regular, file is open unless opening failed. error: the system's
// reason when a regular file cannot be opened, or when the path cannot be
// looked at (Unknown).
FileKind OpenRegularFile(const QString& path, QFile& file, QIODevice::OpenMode mode,
                         QString* error = nullptr);

// True when the file's mode lets anybody write it. The mode bits themselves:
// what this process may do says nothing for an administrator, who may write
// everything, yet a file its owner made read-only is to stay as it is.
bool HasWriteBit(const QFileInfo& info);

// The warning for a file that cannot be written, with the system's reason.
QString CannotWrite(const QString& path, const QString& reason);

// A path as the standard library's file functions take it, on any system.
std::filesystem::path NativePath(const QString& path);

// The file that path finally names: a symbolic link is followed (a relative
// one from its own folder) until a path that is no link, which need not
// exist. The path itself when it is no link; "" for a chain of links that
// does not end (a loop).
QString LinkTarget(const QString& path);

// The whole of data as the file's new content; false leaves it as it was.
bool ReplaceFile(const QString& target, const QByteArray& data, QString* error = nullptr);

} // namespace melodeck::files
