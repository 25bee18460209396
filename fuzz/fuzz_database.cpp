// Database files of any content, a song database's bytes changed anywhere
// (the header's page size, encoding and journal fields, the schema, the
// table and index pages): the store opens the file, shows the first and last
// rows in the song number's order, sorts by a text field, searches, and
// writes the pickup table. Whatever the engine refuses ends as a warning
// (a VbError with a description, or a set that stops at its first unreadable
// row and says why), never a crash or a sanitizer's report; and a set never
// claims more readable rows than it has.
//
// Input: the file's bytes.
#include "common/VbError.h"
#include "store/Database.h"
#include "store/Recordset.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace melodeck;

namespace {

[[noreturn]] void fault(const char* what, const QString& detail) {
    std::fprintf(stderr, "fuzz_database: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

struct World {
    QTemporaryDir dir;
    QString path;
    World() : path(QDir(dir.path()).filePath(QStringLiteral("MeloDeck.mdb"))) {}
    // The file alone: a log or journal of the input before must not be read
    // as this one's.
    void put(const QByteArray& bytes) const {
        for (const char* end : {"", "-wal", "-shm", "-journal"})
            QFile::remove(path + QLatin1String(end));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            fault("cannot write the file", path);
    }
};

// Reads the cells of a set's first rows and of its last one, as a grid
// shows them.
void show(const Recordset& rs) {
    const std::int64_t n = rs.RecordCount();
    for (std::int64_t r :
         {std::int64_t(0), std::int64_t(1), std::int64_t(63), std::int64_t(64), n / 2, n - 1}) {
        for (int i = 0; i < rs.FieldCount(); ++i) {
            rs.CellText(r, i);
            rs.FieldValue(r, i);
        }
    }
    if (rs.ReadableCount() > n || rs.ReadableCount() < 0)
        fault("more readable rows than rows", QString::number(rs.ReadableCount()));
    if (rs.ReadableCount() < n && rs.ReadError().isEmpty())
        fault("rows left out without a reason", QString::number(rs.ReadableCount()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static World w;
    w.put(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    try {
        Database db(w.path);
        std::unique_ptr<Recordset> list =
            db.OpenRecordset(QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号"));
        show(*list);
        // As the window does once started: the file goes over to the log.
        if (!db.UseWriteLog())
            list = db.OpenRecordset(QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号"));
        show(*list);
        const auto sorted =
            db.OpenRecordset(QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲名 DESC "));
        show(*sorted);
        const auto found = db.OpenRecordset(
            QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*1*' AND "
                           "ハモリ IS NOT NULL  ORDER BY 歌手名"),
            sorted.get());
        show(*found);
        db.Execute(QStringLiteral("DELETE FROM PickupList WHERE 曲番号 = 3"));
        db.Execute(
            QStringLiteral("INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 3"));
        db.Checkpoint();
        show(*db.OpenRecordset(QStringLiteral("SELECT * FROM PickupList ORDER BY 曲番号")));
        show(*list);
    } catch (const VbError& e) {
        if (e.description().isEmpty())
            fault("a failure without a description", QString::number(e.number()));
    }
    return 0;
}
