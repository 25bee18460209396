#include "common/DataFolder.h"

#include "common/PrivateProfile.h"
#include "common/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

namespace melodeck::DataFolder {

namespace {

const QString kDatabase = QStringLiteral("MeloDeck.mdb");
const QString kSettings = QStringLiteral("Melodeck.ini");
const QString kSampleList = QStringLiteral("songlist.csv");

// Copies one shipped file under a temporary name and renames it into place,
// so that a start cut short never leaves half a database that later starts
// would keep.
QString copyIn(const QString& from, const QString& to, const QString& folder) {
    const QString part = to + QStringLiteral(".part");
    QFile::remove(part);
    QFile source(from);
    if (!source.copy(part)) {
        const QString reason = source.errorString();
        QFile::remove(part);
        return files::CannotWrite(to, reason);
    }
    // A full disk must not leave a shorter copy that later starts would keep.
    QFileInfo copied(part);
    copied.setCaching(false);
    if (copied.size() != QFileInfo(from).size()) {
        QFile::remove(part);
        return files::CannotWrite(
            to, QStringLiteral("%1 / %2 バイト").arg(copied.size()).arg(QFileInfo(from).size()));
    }
    // The installation ships its files read-only; the user's copies are theirs.
    QFile::setPermissions(part, QFile::permissions(part) | QFile::ReadOwner | QFile::WriteOwner);
    if (QFileInfo(to).fileName() == kSettings) {
        // First settings name the sample list by its bare name; the import
        // would look for that in the current folder, not beside the copy.
        const QString source =
            profile::GetString(QStringLiteral("CSV"), QStringLiteral("Path"), QString(), part);
        if (!source.isEmpty() && !source.contains(QStringLiteral("://")) &&
            QDir::isRelativePath(source) &&
            !profile::WriteString(QStringLiteral("CSV"), QStringLiteral("Path"),
                                  QDir(folder).filePath(source), part)) {
            QFile::remove(part);
            return files::CannotWrite(to, QStringLiteral("書き込みに失敗しました"));
        }
    }
    QFile placed(part);
    if (!placed.rename(to)) {
        const QString reason = placed.errorString();
        QFile::remove(part);
        // Another start of the program was quicker: its copy is as good.
        if (QFileInfo::exists(to))
            return {};
        return files::CannotWrite(to, reason);
    }
    return {};
}

} // namespace

QStringList ShippedFiles() {
    return {kDatabase, kSettings, kSampleList};
}

QString UserFolder(const QString& xdgDataHome, const QString& home) {
    // Relative values are to be ignored, by the base directory rules.
    if (!xdgDataHome.isEmpty() && QDir::isAbsolutePath(xdgDataHome))
        return QDir::cleanPath(xdgDataHome + QStringLiteral("/melodeck"));
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir::cleanPath(home + QStringLiteral("/.local/share/melodeck"));
    return {};
}

QString Choose(const QString& exeDir, const QString& xdgDataHome, const QString& home) {
    const QDir dir(exeDir);
    if (QFileInfo::exists(dir.filePath(kDatabase)) || QFileInfo::exists(dir.filePath(kSettings)))
        return exeDir;
    return UserFolder(xdgDataHome, home);
}

QString Prepare(const QString& folder, const QString& shippedDir) {
    if (folder.isEmpty())
        return QStringLiteral("データフォルダが決まりません（HOME が設定されていません）。");
    const QDir from(shippedDir);
    const QDir to(folder);
    QStringList missing;
    for (const QString& name : ShippedFiles()) {
        if (QFileInfo::exists(to.filePath(name)))
            continue;
        // Checked before anything is made: a program without its shipped
        // files leaves no empty folder behind.
        if (!QFileInfo(from.filePath(name)).isFile())
            return QStringLiteral("ファイル '%1' が見つかりません。").arg(from.filePath(name));
        missing << name;
    }
    std::error_code ec;
    std::filesystem::create_directories(files::NativePath(folder), ec);
    if (ec || !QFileInfo(folder).isDir()) {
        const QString reason =
            ec ? QString::fromLocal8Bit(ec.message()) : QStringLiteral("not a directory");
        return QStringLiteral("データフォルダ '%1' を作れません（%2）。").arg(folder, reason);
    }
    for (const QString& name : missing) {
        const QString error = copyIn(from.filePath(name), to.filePath(name), folder);
        if (!error.isEmpty())
            return error;
    }
    return {};
}

} // namespace melodeck::DataFolder
