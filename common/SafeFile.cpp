#include "common/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace melodeck::files {

namespace {

// Asks the system to put the file's bytes on the disk; some file systems
// report a full disk or an I/O error only here.
bool syncToDisk(QFile& file) {
    const int fd = file.handle();
    if (fd < 0)
        return false;
#if defined(_WIN32)
    return ::_commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

// One write call of the system's; -1 with errno set when it failed.
long long writeSome(int fd, const char* data, size_t n) {
#if defined(_WIN32)
    return ::_write(fd, data, unsigned(std::min<size_t>(n, 1u << 30)));
#else
    return ::write(fd, data, n);
#endif
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

FileReplacer::FileReplacer(QString target) : target_(std::move(target)) {}

FileReplacer::~FileReplacer() {
    cancel();
}

bool FileReplacer::fail(const QString& why) {
    failed_ = true;
    error_ = why;
    cancel();
    return false;
}

bool FileReplacer::failWithErrno(int error) {
    noRoom_ = error == ENOSPC || error == EFBIG
#if defined(EDQUOT)
              || error == EDQUOT
#endif
        ;
    return fail(systemReason(error));
}

bool FileReplacer::open() {
    cancel();
    failed_ = noRoom_ = false;
    written_ = 0;
    error_.clear();
    const QFileInfo info(target_);
    // A fresh name each time, so two writers never share a temporary file.
    for (int attempt = 0; attempt < 16 && !temp_.isOpen(); ++attempt) {
        const QString name = QStringLiteral(".%1.%2.tmp")
                                 .arg(info.fileName())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
        temp_.setFileName(info.dir().filePath(name));
        // Unbuffered, so that a failing write says so at once.
        if (!temp_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            const bool taken = QFileInfo::exists(temp_.fileName());
            error_ = temp_.errorString();
            temp_.setFileName(QString()); // not ours to remove
            if (!taken)
                break;
        }
    }
    if (!temp_.isOpen())
        return fail(error_);
    // The replaced file keeps who may read and write it.
    if (info.exists())
        temp_.setPermissions(info.permissions());
    return true;
}

bool FileReplacer::write(QByteArrayView bytes) {
    if (failed_ || !temp_.isOpen())
        return false;
    // The system's own calls: a write the disk takes only part of is
    // followed by one that says why (QFile reports the part without a
    // reason, and a full disk is then an "unknown error").
    const char* data = bytes.data();
    for (qsizetype left = bytes.size(); left > 0;) {
        const long long n = writeSome(temp_.handle(), data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failWithErrno(errno);
        }
        data += n;
        left -= qsizetype(n);
    }
    written_ += bytes.size();
    return true;
}

bool FileReplacer::commit() {
    if (failed_ || !temp_.isOpen())
        return false;
    if (!temp_.flush() || temp_.error() != QFileDevice::NoError)
        return fail(temp_.errorString());
    if (!syncToDisk(temp_))
        return failWithErrno(errno);
    temp_.close();
    if (temp_.error() != QFileDevice::NoError)
        return fail(temp_.errorString());
    // Every byte must be there before the old file goes.
    QFileInfo written(temp_.fileName());
    written.setCaching(false);
    if (written.size() != written_)
        return fail(QStringLiteral("%1 of %2 bytes written").arg(written.size()).arg(written_));
    std::error_code ec;
    std::filesystem::rename(NativePath(temp_.fileName()), NativePath(target_), ec);
    if (ec)
        return fail(QString::fromLocal8Bit(ec.message()));
    temp_.setFileName(QString());
    return true;
}

void FileReplacer::cancel() {
    if (temp_.fileName().isEmpty())
        return;
    temp_.close();
    temp_.remove();
    temp_.setFileName(QString());
}

QString CannotWrite(const QString& path, const QString& reason) {
    return QStringLiteral("ファイル '%1' に書き込めません（%2）。").arg(path, reason);
}

std::filesystem::path NativePath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

bool HasWriteBit(const QFileInfo& info) {
    return info.permissions() &
           (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther);
}

QString LinkTarget(const QString& path) {
    namespace fs = std::filesystem;
    fs::path p = NativePath(path);
    // As many links as the system itself follows before it gives up.
    for (int hops = 0; hops <= 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec)))
            return hops == 0 ? path : QString::fromStdU16String(p.u16string());
        const fs::path to = fs::read_symlink(p, ec);
        if (ec)
            return {};
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return {};
}

namespace {

#if !defined(_WIN32)
FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Pipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileKind::Device;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}
#endif

} // namespace

FileKind OpenRegularFile(const QString& path, QFile& file, QIODevice::OpenMode mode,
                         QString* error) {
    const auto failed = [&](FileKind kind, const QString& why) {
        if (error)
            *error = why;
        return kind;
    };
#if defined(_WIN32)
    const QFileInfo info(path);
    if (!info.exists())
        return FileKind::Missing;
    if (info.isDir())
        return FileKind::Folder;
    if (!info.isFile())
        return FileKind::Other;
    file.setFileName(path);
    if (!file.open(mode))
        return failed(FileKind::Regular, file.errorString());
    return FileKind::Regular;
#else
    const QByteArray native = QFile::encodeName(path);
    // Looked at before it is opened: opening a device can set it going.
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return FileKind::Missing;
        return failed(FileKind::Unknown, systemReason(errno));
    }
    if (!S_ISREG(st.st_mode))
        return kindOf(st.st_mode);
    // Opened without waiting, and what was opened is looked at again: the
    // path may name a pipe by now.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return FileKind::Missing;
        return failed(FileKind::Regular, systemReason(errno));
    }
    FileKind kind = FileKind::Regular;
    QString why;
    if (::fstat(fd, &st) != 0)
        why = systemReason(errno);
    else if (!S_ISREG(st.st_mode))
        kind = kindOf(st.st_mode);
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        why = systemReason(errno);
    else if (!file.open(fd, mode, QFileDevice::AutoCloseHandle))
        why = file.errorString();
    else
        return FileKind::Regular;
    ::close(fd);
    return why.isEmpty() ? kind : failed(kind, why);
#endif
}

bool ReplaceFile(const QString& target, const QByteArray& data, QString* error) {
    FileReplacer out(target);
    const bool ok = out.open() && out.write(data) && out.commit();
    if (!ok && error)
        *error = out.errorString();
    return ok;
}

} // namespace melodeck::files
