// Busy cursor nesting, the keyed item collection, the seams and the data
// folder of an installed program.

#include "support/common_files.h"
#include "support/hostile_support.h"
#include "support/scoped_state.h"

#include "common/DataFolder.h"
#include "common/ModCommon.h"
#include "common/PrivateProfile.h"
#include "common/Seams.h"
#include "common/VbError.h"
#include "common/clsInfCol.h"
#include "common/clsMousePointer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

namespace {

class Pointer : public ::testing::Test {
protected:
    Pointer() {
        answers.get().showPointer = [this](std::int16_t p) { shown.push_back(p); };
    }
    std::vector<std::int16_t> shown;
    ScopedSeams answers{seams()};
};

clsInfCol fiveItems() {
    clsInfCol col;
    for (int i = 1; i <= 5; ++i)
        col.AddItem(i * 10, QString(QChar(u'a' + i - 1)));
    return col;
}

std::vector<std::int32_t> codes(const clsInfCol& col) {
    std::vector<std::int32_t> out;
    for (std::int32_t i = 1; i <= col.GetSize(); ++i)
        out.push_back(col.GetItem(i)->l01);
    return out;
}

} // namespace

TEST_F(Pointer, BusyReturnsTheLastPointerSetThroughTheObject) {
    {
        clsMousePointer mp;
        EXPECT_EQ(mp.Busy(), 0);
        EXPECT_EQ(MousePointer::get(), MousePointer::Hourglass);
        EXPECT_EQ(mp.Busy(), 11);
        EXPECT_EQ(mp.SetCursor(3), 11);
        EXPECT_EQ(MousePointer::get(), 3);
    }
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);
    // The seam sees each change once, and no repeats.
    EXPECT_EQ(shown, (std::vector<std::int16_t>{11, 3, 0}));
}

TEST_F(Pointer, NestedObjectsRestoreWhatEachFound) {
    {
        clsMousePointer outer;
        outer.Busy();
        {
            clsMousePointer inner;
            EXPECT_EQ(inner.Busy(), 0); // its own last pointer, not the screen's
        }
        EXPECT_EQ(MousePointer::get(), MousePointer::Hourglass);
    }
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);

    // An object made while the hourglass shows leaves the hourglass, even
    // when it set something else in between.
    MousePointer::set(MousePointer::Hourglass);
    {
        clsMousePointer mp;
        mp.SetCursor(MousePointer::Default);
    }
    EXPECT_EQ(MousePointer::get(), MousePointer::Hourglass);

    // Restored on an error path too.
    MousePointer::set(MousePointer::Default);
    try {
        clsMousePointer mp;
        mp.Busy();
        throw VbError::overflow();
    } catch (const VbError&) {
    }
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);
}

TEST(InfCol, AddGetAndIndexToCode) {
    clsInfCol col;
    EXPECT_EQ(col.GetSize(), 0);
    EXPECT_EQ(col.IndexToCode(0, -1), -1);
    auto item = col.AddItem(10, u"ten"_s);
    EXPECT_EQ(col.GetSize(), 1);
    EXPECT_EQ(col.IndexToCode(0, -1), 10);
    EXPECT_EQ(col.IndexToCode(1, -1), -1);
    EXPECT_EQ(col.IndexToCode(-1, 99), 99);
    // Records are shared: a change through one handle shows in the list.
    item->db01 = 2.5;
    item->s02 = u"spare"_s;
    EXPECT_EQ(col.GetItem(1), item);
    EXPECT_EQ(col.GetItem(1)->db01, 2.5);
    EXPECT_EQ(col.GetItem(1)->s01, u"ten"_s);
    EXPECT_EQ(col.GetItem(1)->l02, 0);

    for (std::int32_t bad : {0, 2, -1, std::numeric_limits<std::int32_t>::min()}) {
        try {
            col.GetItem(bad);
            ADD_FAILURE() << bad;
        } catch (const VbError& e) {
            EXPECT_EQ(e.number(), VbError::SubscriptOutOfRange);
        }
    }

    // A record taken out of the list lives on with its holder.
    col.RemoveAllItems();
    EXPECT_EQ(col.GetSize(), 0);
    EXPECT_EQ(item->s01, u"ten"_s);
}

TEST(InfCol, RemoveItemGuardsPositionsAndCounts) {
    // Positions outside the list and counts below one remove nothing; a count
    // past the end stops there.
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    const std::vector<std::int32_t> all{10, 20, 30, 40, 50};
    const struct {
        std::int32_t position, count;
        std::vector<std::int32_t> left;
    } cases[] = {{2, 2, {10, 40, 50}}, {4, 10, {10, 20, 30}}, {0, 1, all},  {6, 1, all},
                 {1, 0, all},          {1, -3, all},          {-1, 5, all}, {1, most, {}}};
    for (const auto& c : cases) {
        clsInfCol col = fiveItems();
        col.RemoveItem(c.position, c.count);
        EXPECT_EQ(codes(col), c.left) << c.position << ' ' << c.count;
    }
    clsInfCol empty;
    empty.RemoveAllItems();
    EXPECT_EQ(empty.GetSize(), 0);
}

TEST(InfCol, SearchItemByKindOfValue) {
    clsInfCol col;
    EXPECT_EQ(col.SearchItem(Value::lng(10)), -1);
    col.AddItem(5, u"Abc"_s)->db01 = 1.5;
    col.AddItem(10, u"abc"_s)->db01 = 0.1;
    col.AddItem(10, u"abc"_s);
    col.AddItem(-1, u""_s);

    // A single 0.1 is not the double 0.1; a whole number never searches the
    // reals, nor a real the codes.
    const std::pair<Value, int> found[] = {
        {Value::string(u"abc"_s), 2}, {Value::string(u"ABC"_s), -1},
        {Value::string(u""_s), 4},    {Value::integer(10), 2},
        {Value::lng(5), 1},           {Value::lng(7), -1},
        {Value::dbl(1.5), 1},         {Value::single(1.5f), 1},
        {Value::dbl(0), 3},           {Value::dbl(0.1), 2},
        {Value::single(0.1f), -1},    {Value::dbl(10), -1}};
    for (const auto& [v, at] : found)
        EXPECT_EQ(col.SearchItem(v), at) << int(v.type()) << ' ' << v.toText().toStdString();

    // Every other kind matches nothing, even where the number would.
    for (const Value& v : {Value::currency(10), Value::date(10), Value::boolean(true),
                           Value::byte(5), Value::bigint(5), Value::null(), Value()})
        EXPECT_EQ(col.SearchItem(v), -1) << int(v.type());
}

TEST(Seams, DefaultsAnswerWithoutBlocking) {
    const Seams& s = seams();
    ASSERT_TRUE(s.warning && s.openFile && s.popupMenu && s.setClipboardText && s.screenSize &&
                s.processEvents && s.showPointer);
    EXPECT_EQ(s.openFile(OpenFileRequest{}), u""_s);
    EXPECT_FALSE(s.setClipboardText(u"x"_s));
    EXPECT_EQ(s.screenSize(), QSize(1920, 1080));
    s.popupMenu(nullptr, QPoint());
    s.showPointer(MousePointer::Hourglass);
    s.processEvents(); // no application object: nothing to do
    {
        int argc = 1;
        char arg0[] = "x";
        char* argv[] = {arg0, nullptr};
        QCoreApplication app(argc, argv);
        s.processEvents();
    }
    testing::internal::CaptureStderr();
    s.warning(u"T"_s, u"本文"_s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "T: 本文\n");
}

TEST(Seams, AScopeAnswersUntilItEndsThenTheFormerSetDoes) {
    const Seams* const defaults = &seams();
    {
        ScopedSeams outer(seams());
        outer.get().screenSize = [] { return QSize(1, 1); };
        EXPECT_EQ(seams().screenSize(), QSize(1, 1));
        {
            ScopedSeams inner(seams());
            EXPECT_EQ(seams().screenSize(), QSize(1, 1)); // begun as a copy of the outer set
            inner.get().screenSize = [] { return QSize(2, 2); };
            EXPECT_EQ(seams().screenSize(), QSize(2, 2));
        }
        EXPECT_EQ(seams().screenSize(), QSize(1, 1));
    }
    EXPECT_EQ(&seams(), defaults);
    EXPECT_EQ(seams().screenSize(), QSize(1920, 1080));
}

TEST(DataFolder, TheExecutablesFolderWhenItHoldsItsFilesElseTheUsersDataFolder) {
    QTemporaryDir bare;
    const QString exe = bare.path();
    EXPECT_EQ(DataFolder::Choose(exe, u"/x/data"_s, u"/home/u"_s), u"/x/data/melodeck"_s);
    EXPECT_EQ(DataFolder::Choose(exe, u""_s, u"/home/u/"_s), u"/home/u/.local/share/melodeck"_s);
    // A relative XDG_DATA_HOME does not count; nor does a relative home.
    EXPECT_EQ(DataFolder::Choose(exe, u"data"_s, u"/home/u"_s), u"/home/u/.local/share/melodeck"_s);
    EXPECT_EQ(DataFolder::Choose(exe, u""_s, u"home"_s), QString());
    EXPECT_EQ(DataFolder::Choose(exe, u""_s, u""_s), QString());
    // A built or unpacked folder: either file keeps the program there.
    for (const QString& name : {u"MeloDeck.mdb"_s, u"Melodeck.ini"_s}) {
        QTemporaryDir dir;
        test::WriteBytes(QDir(dir.path()).filePath(name), "x");
        EXPECT_EQ(DataFolder::Choose(dir.path(), u"/x/data"_s, u"/home/u"_s), dir.path())
            << name.toStdString();
    }
}

TEST(DataFolder, FirstStartCopiesTheShippedFilesAndLaterStartsReplaceNothing) {
    QTemporaryDir tmp;
    const QDir shipped(tmp.filePath(u"share"_s));
    ASSERT_TRUE(QDir().mkpath(shipped.path()));
    test::WriteBytes(shipped.filePath(u"MeloDeck.mdb"_s), "database");
    test::WriteBytes(shipped.filePath(u"songlist.csv"_s), "1,歌手,曲\r\n");
    test::WriteBytes(shipped.filePath(u"Melodeck.ini"_s),
                     "[PickupCond]\r\nCond1=1,\r\n[CSV]\r\nPath=songlist.csv\r\n");
    for (const QString& name : DataFolder::ShippedFiles()) // as a package installs them
        QFile::setPermissions(shipped.filePath(name), QFile::ReadOwner | QFile::ReadOther);
    const QString folder = DataFolder::UserFolder({}, tmp.filePath(u"home"_s));
    const QDir data(folder);

    ASSERT_EQ(DataFolder::Prepare(folder, shipped.path()), QString());
    EXPECT_EQ(test::ReadBytes(data.filePath(u"MeloDeck.mdb"_s)), "database");
    EXPECT_EQ(test::ReadBytes(data.filePath(u"songlist.csv"_s)), "1,歌手,曲\r\n");
    // The list source names the copy; the rest of the first settings as shipped.
    const QString ini = data.filePath(u"Melodeck.ini"_s);
    EXPECT_EQ(profile::GetString(u"CSV"_s, u"Path"_s, {}, ini), data.filePath(u"songlist.csv"_s));
    EXPECT_EQ(profile::GetString(u"PickupCond"_s, u"Cond1"_s, {}, ini), u"1,"_s);
    for (const QString& name : DataFolder::ShippedFiles())
        EXPECT_TRUE(QFileInfo(data.filePath(name)).isWritable()) << name.toStdString();
    EXPECT_EQ(data.entryList(QDir::Files).size(), 3);

    // The user's own files stay as they are; only a missing one comes back.
    test::WriteBytes(data.filePath(u"MeloDeck.mdb"_s), "the user's songs");
    test::WriteBytes(ini, "[CSV]\r\nPath=http://example.invalid/list.csv\r\n");
    ASSERT_TRUE(QFile::remove(data.filePath(u"songlist.csv"_s)));
    ASSERT_EQ(DataFolder::Prepare(folder, shipped.path()), QString());
    EXPECT_EQ(test::ReadBytes(data.filePath(u"MeloDeck.mdb"_s)), "the user's songs");
    EXPECT_EQ(test::ReadBytes(ini), "[CSV]\r\nPath=http://example.invalid/list.csv\r\n");
    EXPECT_EQ(test::ReadBytes(data.filePath(u"songlist.csv"_s)), "1,歌手,曲\r\n");
    EXPECT_EQ(data.entryList(QDir::Files).size(), 3);
}

TEST(DataFolder, WhatCannotBeMadeIsReportedWithItsReasonAndNothingIsWritten) {
    QTemporaryDir tmp;
    const QDir shipped(tmp.filePath(u"share"_s));
    ASSERT_TRUE(QDir().mkpath(shipped.path()));
    for (const QString& name : DataFolder::ShippedFiles())
        test::WriteBytes(shipped.filePath(name), "x");
    // A home that is a file: no folder can be made below it, not even by root.
    test::WriteBytes(tmp.filePath(u"home"_s), "not a folder");
    const auto before = test::Snapshot(tmp.path());

    const QString below = DataFolder::UserFolder({}, tmp.filePath(u"home"_s));
    QString error = DataFolder::Prepare(below, shipped.path());
    EXPECT_TRUE(error.contains(below)) << error.toStdString();
    EXPECT_TRUE(error.contains(u"（"_s) && !error.contains(u"（）"_s)) << error.toStdString();

    // An installation short of a shipped file makes no empty folder.
    ASSERT_TRUE(QFile::remove(shipped.filePath(u"songlist.csv"_s)));
    const QString fresh = tmp.filePath(u"fresh/melodeck"_s);
    error = DataFolder::Prepare(fresh, shipped.path());
    EXPECT_TRUE(error.contains(shipped.filePath(u"songlist.csv"_s))) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath(u"fresh"_s)));

    EXPECT_FALSE(DataFolder::Prepare({}, shipped.path()).isEmpty());
    auto after = test::Snapshot(tmp.path());
    after[u"share/songlist.csv"_s] = before.at(u"share/songlist.csv"_s);
    EXPECT_EQ(test::ChangedFiles(before, after), QStringList());

    // A disk that fills up during the first start leaves no partial copy.
    for (const QString& name : DataFolder::ShippedFiles())
        test::WriteBytes(shipped.filePath(name), QByteArray(4000, 'x'));
    const QString full = tmp.filePath(u"full/melodeck"_s);
    {
        test::FileSizeLimit disk(1000);
        EXPECT_FALSE(DataFolder::Prepare(full, shipped.path()).isEmpty());
    }
    EXPECT_EQ(QDir(full).entryList(QDir::Files | QDir::Hidden), QStringList());
}
