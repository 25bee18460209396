// The program on a real X server under a window manager (Xvfb and openbox):
// where the window and its frame sit, what the window manager's close box
// and maximise do, and that the progress window has no caption text. The X
// server runs on a display of its own choosing; the tests are skipped where
// it cannot start.
#include "support/common_files.h"
#include "support/store_TestDb.h"

#include "common/Cp932.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kTitle = u"メロデッキ配信曲検索ツール Ver. 1.14"_s;
constexpr int kScreenW = 1280, kScreenH = 1024;
constexpr int kClientH = 625; // 9375 twips

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(50);
    }
    return true;
}

void stopProcess(QProcess& p) {
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

// Where a window and its frame are on the screen.
struct Placement {
    QRect client, frame;
    bool viewable = false;
};

// Xvfb with a 1280×1024 screen on a free display, openbox on it, and the X
// tools run against it. Everything it starts ends with it.
class Desktop {
public:
    Desktop() {
        EXPECT_TRUE(home_.isValid());
        xvfb_.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s,
                                u"%1x%2x24"_s.arg(kScreenW).arg(kScreenH), u"-nolisten"_s, u"tcp"_s,
                                u"-noreset"_s});
        if (!xvfb_.waitForStarted(10000)) {
            skip_ = u"Xvfb cannot be started: "_s + xvfb_.errorString();
            return;
        }
        QByteArray out;
        waitUntil(
            [&] {
                xvfb_.waitForReadyRead(100);
                out += xvfb_.readAllStandardOutput();
                return out.contains('\n') || xvfb_.state() == QProcess::NotRunning;
            },
            10000);
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!ok) {
            skip_ =
                u"Xvfb gave no display: "_s + QString::fromLocal8Bit(xvfb_.readAllStandardError());
            stopProcess(xvfb_);
            return;
        }
        display_ = u":"_s + QString::number(number);

        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(u"DISPLAY"_s, display_);
        env_.insert(u"HOME"_s, home_.path());
        env_.insert(u"XDG_CONFIG_HOME"_s, home_.filePath(u"config"_s));
        env_.insert(u"XDG_CACHE_HOME"_s, home_.filePath(u"cache"_s));
        env_.insert(u"XDG_DATA_HOME"_s, home_.filePath(u"data"_s));
        env_.insert(u"XDG_RUNTIME_DIR"_s, home_.path());
        env_.remove(u"WAYLAND_DISPLAY"_s);
        env_.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        wm_.setProcessEnvironment(env_);
        wm_.setProcessChannelMode(QProcess::MergedChannels);
        wm_.start(u"openbox"_s, {u"--sm-disable"_s});
        EXPECT_TRUE(wm_.waitForStarted(10000)) << "openbox: " << wm_.errorString().toStdString();
        EXPECT_TRUE(waitUntil(
            [&] {
                return tool(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s})
                    .contains(u"window id"_s);
            },
            10000))
            << "openbox did not take the screen: " << wm_.readAll().toStdString();
    }

    ~Desktop() {
        stopProcess(wm_);
        stopProcess(xvfb_);
    }

    // Why the X server could not start; empty when it runs.
    const QString& skipReason() const { return skip_; }
    const QProcessEnvironment& env() const { return env_; }
    void stopServer() { stopProcess(xvfb_); }

    // An X tool run to its end on this display; its standard output.
    QString tool(const QString& program, const QStringList& args) const {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(program, args);
        if (!p.waitForStarted(10000)) {
            ADD_FAILURE() << program.toStdString() << ": " << p.errorString().toStdString();
            return {};
        }
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished(3000);
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The managed windows, in the order of mapping.
    QStringList clients() const {
        const QString out = tool(u"xprop"_s, {u"-root"_s, u"_NET_CLIENT_LIST"_s});
        const qsizetype hash = out.indexOf(u'#');
        if (hash < 0)
            return {};
        QStringList ids = out.mid(hash + 1).split(u',', Qt::SkipEmptyParts);
        for (QString& id : ids)
            id = id.trimmed();
        return ids;
    }

    // A text property of a window: its text without the quotes, a null
    // string when the window has none.
    QString property(const QString& id, const QString& name) const {
        const QString out = tool(u"xprop"_s, {u"-id"_s, id, name}).trimmed();
        const qsizetype eq = out.indexOf(u" = "_s);
        if (eq < 0)
            return out.endsWith(u'=') ? u""_s : QString();
        QString value = out.mid(eq + 3);
        if (value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }

    // The managed window of that name; empty while there is none.
    QString windowNamed(const QString& name) const {
        for (const QString& id : clients())
            if (property(id, u"_NET_WM_NAME"_s) == name)
                return id;
        return {};
    }

    Placement placement(const QString& id) const {
        const QString info = tool(u"xwininfo"_s, {u"-id"_s, id});
        const auto number = [&](const QString& label) {
            const QRegularExpression re(QRegularExpression::escape(label) + u":\\s*(-?\\d+)"_s);
            return re.match(info).captured(1).toInt();
        };
        Placement p;
        p.client = QRect(number(u"Absolute upper-left X"_s), number(u"Absolute upper-left Y"_s),
                         number(u"Width"_s), number(u"Height"_s));
        p.viewable = info.contains(u"IsViewable"_s);
        const QStringList e = property(id, u"_NET_FRAME_EXTENTS"_s).split(u',', Qt::SkipEmptyParts);
        p.frame = p.client;
        if (e.size() == 4) // left, right, top, bottom
            p.frame = p.client.adjusted(-e[0].trimmed().toInt(), -e[2].trimmed().toInt(),
                                        e[1].trimmed().toInt(), e[3].trimmed().toInt());
        return p;
    }

private:
    QTemporaryDir home_;
    QProcess xvfb_, wm_;
    QString display_, skip_;
    QProcessEnvironment env_;
};

// The program copied into a folder of its own with a song database and the
// settings given, started on the desktop.
class Program {
public:
    Program(const Desktop& desktop, const QByteArray& settings) : desktop_(desktop) {
        const QString built = QStringLiteral(MELODECK_BINARY_DIR "/program/MeloDeck");
        EXPECT_TRUE(QFile::exists(built)) << "build the MeloDeck target first";
        exe_ = QDir(dir_.path()).filePath(u"MeloDeck"_s);
        EXPECT_TRUE(QFile::copy(built, exe_));
        const QString db = test::createSongDb(dir_.path());
        test::insertSongs(db, u"MeloDeck"_s, {{101, u"歌手"_s, u"曲"_s, u"歌い出し"_s}});
        test::WriteBytes(iniPath(), settings);
        p_.setProcessEnvironment(desktop.env());
        p_.setProcessChannelMode(QProcess::MergedChannels);
        p_.start(exe_, {});
        EXPECT_TRUE(p_.waitForStarted(10000));
    }
    ~Program() { stopProcess(p_); }

    QString folder() const { return dir_.path(); }
    QString iniPath() const { return QDir(dir_.path()).filePath(u"Melodeck.ini"_s); }
    QProcess& process() { return p_; }
    bool running() { return p_.state() != QProcess::NotRunning && !p_.waitForFinished(0); }

    // The main window once mapped and placed in its frame; empty when it
    // does not come.
    QString mainWindow() {
        QString id;
        waitUntil(
            [&] {
                id = desktop_.windowNamed(kTitle);
                return (!id.isEmpty() && desktop_.placement(id).viewable) || !running();
            },
            30000);
        if (id.isEmpty())
            ADD_FAILURE() << "no window: " << p_.readAll().toStdString();
        return id;
    }

private:
    const Desktop& desktop_;
    QTemporaryDir dir_;
    QString exe_;
    QProcess p_;
};

QByteArray storedPosition(int left, int top) {
    return "[Position]\r\nWidth=" + QByteArray::number(kScreenW) +
           "\r\nHeight=" + QByteArray::number(kScreenH) + "\r\nLeft=" + QByteArray::number(left) +
           "\r\nTop=" + QByteArray::number(top) + "\r\n";
}

QPoint centred(const QRect& frame) {
    return {std::max(0, (kScreenW - frame.width()) / 2),
            std::max(0, (kScreenH - frame.height()) / 2)};
}

#define START_DESKTOP(desktop)                                                                     \
    Desktop desktop;                                                                               \
    if (!desktop.skipReason().isEmpty())                                                           \
        GTEST_SKIP() << desktop.skipReason().toStdString();                                        \
    if (::testing::Test::HasFailure())                                                             \
        return;

} // namespace

// The frame is what is centred, and what must fit on the screen at a stored
// position; a stored position is where the frame's corner goes.
TEST(WindowOnDesktop, FrameIsCentredOrPutAtTheStoredPosition) {
    START_DESKTOP(desktop);
    const struct {
        const char* what;
        QByteArray settings;
        std::function<QPoint(const QRect& frame)> expected;
    } cases[] = {
        {"no stored position", "", centred},
        {"stored position with room for the frame", storedPosition(40, 30),
         [](const QRect&) { return QPoint(40, 30); }},
        {"room for the window but not for its frame", storedPosition(40, kScreenH - kClientH - 5),
         centred},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Program program(desktop, c.settings);
        const QString id = program.mainWindow();
        ASSERT_FALSE(id.isEmpty());
        Placement at;
        const bool placed = waitUntil(
            [&] {
                at = desktop.placement(id);
                return at.frame != at.client && at.frame.topLeft() == c.expected(at.frame);
            },
            5000);
        EXPECT_TRUE(placed) << "frame at " << at.frame.x() << "," << at.frame.y() << " size "
                            << at.frame.width() << "x" << at.frame.height() << ", expected "
                            << c.expected(at.frame).x() << "," << c.expected(at.frame).y();
        EXPECT_EQ(at.client.height(), kClientH);
    }
}

// The window manager's close box and Alt+F4 do nothing, as the disabled close
// box; maximising changes nothing. A kill, or the end of the X session, ends
// the program without saving.
TEST(WindowOnDesktop, CloseBoxAndMaximiseDoNothing_EndsWithoutSaving) {
    START_DESKTOP(desktop);
    const QByteArray settings = "[PickupCond]\r\nCond1=1,前回\r\n";
    for (const bool killed : {true, false}) {
        SCOPED_TRACE(killed ? "killed" : "session ended");
        Program program(desktop, settings);
        const QString id = program.mainWindow();
        ASSERT_FALSE(id.isEmpty());
        Placement before;
        waitUntil(
            [&] {
                before = desktop.placement(id);
                return before.frame != before.client &&
                       before.frame.topLeft() == centred(before.frame);
            },
            5000);
        desktop.tool(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, id});
        // The close box at the right end of the title bar, Alt+F4, and a
        // double click on the title, which maximises a sizable window.
        const QRect f = before.frame;
        const int titleY = f.y() + (before.client.y() - f.y()) / 2;
        desktop.tool(u"xdotool"_s, {u"mousemove"_s, QString::number(f.right() - 9),
                                    QString::number(titleY), u"click"_s, u"1"_s});
        desktop.tool(u"xdotool"_s, {u"key"_s, u"alt+F4"_s});
        desktop.tool(u"xdotool"_s,
                     {u"mousemove"_s, QString::number(f.center().x()), QString::number(titleY),
                      u"click"_s, u"--repeat"_s, u"2"_s, u"--delay"_s, u"80"_s, u"1"_s});
        QThread::msleep(700);
        const Placement after = desktop.placement(id);
        EXPECT_TRUE(program.running());
        EXPECT_TRUE(after.viewable);
        EXPECT_EQ(after.client, before.client);
        EXPECT_FALSE(desktop.property(id, u"_NET_WM_STATE"_s).contains(u"MAXIMIZED"_s));

        if (killed)
            program.process().terminate();
        else
            desktop.stopServer();
        EXPECT_TRUE(program.process().waitForFinished(10000));
        EXPECT_EQ(test::ReadBytes(program.iniPath()), settings);
        if (!killed)
            break; // the desktop is gone
    }
}

// The progress window shows no caption text, not even the program's name.
// A "404 " line after a song keeps it up behind the import's warning.
TEST(WindowOnDesktop, ProgressWindowHasNoCaption) {
    START_DESKTOP(desktop);
    QTemporaryDir lists;
    const QString list = QDir(lists.path()).filePath(u"list.csv"_s);
    test::WriteBytes(list, cp932::encode(u"1,歌手,曲,歌い出し,\r\n404 Not Found\r\n"_s));
    Program program(desktop, cp932::encode(u"[CSV]\r\nPath="_s + list + u"\r\n"_s));
    const QString id = program.mainWindow();
    ASSERT_FALSE(id.isEmpty());
    desktop.tool(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, id});
    desktop.tool(u"xdotool"_s, {u"key"_s, u"alt+d"_s}); // 取込(&D)

    QStringList names;
    QString progress;
    waitUntil(
        [&] {
            names.clear();
            for (const QString& w : desktop.clients()) {
                const QString name = desktop.property(w, u"_NET_WM_NAME"_s);
                names << name;
                if (name.isEmpty() && desktop.placement(w).client.size() == QSize(385, 75))
                    progress = w;
            }
            return names.size() >= 3 && !progress.isEmpty();
        },
        15000);
    ASSERT_FALSE(progress.isEmpty()) << names.join(u'|').toStdString();
    EXPECT_TRUE(names.contains(u"メロデッキ配信曲検索ツール"_s)) << names.join(u'|').toStdString();
    EXPECT_FALSE(names.contains(u"MeloDeck"_s)) << names.join(u'|').toStdString();
    EXPECT_EQ(desktop.property(progress, u"WM_NAME"_s), u""_s);
    // What the window manager shows on the title bar.
    EXPECT_EQ(desktop.property(progress, u"_NET_WM_VISIBLE_NAME"_s), u""_s);
}

// Without a display to open the window on, the program says so in its own
// words and ends with status 2, where Qt would abort: none is named, or the
// X server named has gone (for the platform chosen or left to Qt).
TEST(WindowOnDesktop, NoDisplayToReachEndsInTheProgramsOwnWords) {
    START_DESKTOP(desktop);
    QProcessEnvironment gone = desktop.env();
    const QString display = gone.value(u"DISPLAY"_s);
    desktop.stopServer();
    gone.remove(u"XDG_SESSION_TYPE"_s);
    QProcessEnvironment unset = gone, chosenByQt = gone;
    unset.remove(u"DISPLAY"_s);
    unset.remove(u"QT_QPA_PLATFORM"_s);
    chosenByQt.remove(u"QT_QPA_PLATFORM"_s);
    const QString unreachable =
        u"MeloDeck: ディスプレイ '%1' に接続できません。"
        u"デスクトップのセッションの中で起動してください。\n"_s.arg(display);
    const std::pair<QProcessEnvironment, QString> cases[] = {
        {unset, u"MeloDeck: ディスプレイがありません（DISPLAY が設定されていません）。"
                u"デスクトップのセッションの中で起動してください。\n"_s},
        {gone, unreachable},
        {chosenByQt, unreachable},
    };
    for (const auto& [env, message] : cases) {
        SCOPED_TRACE(message.toStdString());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MELODECK_BINARY_DIR "/program/MeloDeck"), {});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 2);
        EXPECT_EQ(p.readAllStandardError().toStdString(), message.toStdString());
        EXPECT_EQ(p.readAllStandardOutput(), QByteArray());
    }
}
