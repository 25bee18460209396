#include "app/gui/ModMeloDeck.h"

#include "common/DataFolder.h"
#include "common/ModCommon.h"
#include "common/Seams.h"
#include "common/VbError.h"
#include "common/clsMousePointer.h"
#include "common/gui/WindowHelpers.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTreeView>
#include <cstdio>

#if MELODECK_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace melodeck::ModMeloDeck {

namespace {

// "desc|pattern|desc|pattern" as the file dialog of the old platform took
// it, in the form Qt's dialog takes: "desc (pattern);;desc (pattern)". A
// description that already ends in its pattern in parentheses ("csv
// file(*.csv)") is taken as it stands, so the pattern is not shown twice.
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& desc = parts[i];
        const QString& pattern = parts[i + 1];
        if (desc.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')')))
            out << desc;
        else
            out << desc + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

QString OpenFile(const OpenFileRequest& req) {
    const auto dialog = MakeOpenFileDialog(req);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().constFirst();
}

} // namespace

std::unique_ptr<QFileDialog> MakeOpenFileDialog(const OpenFileRequest& req) {
    auto dialog = std::make_unique<QFileDialog>(QApplication::activeWindow());
    dialog->setFont(ModCommon::WindowFont());
    // Qt's own dialog (where the desktop offers none of its own): the size,
    // type and date columns as wide as what they show (Japanese titles are
    // wider than the dialog's defaults); the name takes the rest.
    if (auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* h = tree->header();
        h->setStretchLastSection(false);
        h->setSectionResizeMode(QHeaderView::ResizeToContents);
        h->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    dialog->resize(dialog->sizeHint().expandedTo(QSize(760, 460))); // room left for the names
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    if (!req.initDir.isEmpty())
        dialog->setDirectory(req.initDir);
    if (!req.filter.isEmpty())
        dialog->setNameFilter(QtFilter(req.filter));
    if (!req.defaultExt.isEmpty())
        dialog->setDefaultSuffix(req.defaultExt);
    if (!req.fileName.isEmpty())
        dialog->selectFile(QFileInfo(req.fileName).fileName());
    return dialog;
}

std::unique_ptr<QMessageBox> MakeWarningBox(const QString& title, const QString& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, title, text, QMessageBox::Ok,
                                             QApplication::activeWindow());
    // A box is a window of its own and does not inherit the main window's font.
    box->setFont(ModCommon::WindowFont());
    return box;
}

std::unique_ptr<QTranslator> InstallTranslations() {
    auto qtbase = std::make_unique<QTranslator>();
    if (!qtbase->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    // A translator takes itself out of the application when it is deleted.
    QCoreApplication::installTranslator(qtbase.get());
    return qtbase;
}

void InstallFonts() {
    // The window is designed for "MS UI Gothic", whose kana are proportional
    // and whose lines are tight: a proportional Gothic face fits the captions
    // into their controls; a full-width one is the fallback.
    const QStringList candidates = {
        QStringLiteral("IPAPGothic"),        QStringLiteral("VL PGothic"),
        QStringLiteral("TakaoPGothic"),      QStringLiteral("Noto Sans CJK JP"),
        QStringLiteral("Noto Sans JP"),      QStringLiteral("IPAGothic"),
        QStringLiteral("Source Han Sans JP")};
    const QStringList installed = QFontDatabase::families();
    QStringList present;
    for (const QString& c : candidates)
        if (installed.contains(c))
            present << c;
    if (!present.isEmpty())
        QFont::insertSubstitutions(ModCommon::WindowFont().family(), present);
}

Seams PlatformSeams() {
    Seams s;
    // On a platform without a screen nobody could close a modal box, and the
    // process would wait for ever: the warning goes to the error output.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        s.warning = [](const QString& title, const QString& text) {
            std::fprintf(stderr, "%s: %s\n", title.toUtf8().constData(),
                         text.trimmed().toUtf8().constData());
        };
    } else {
        s.warning = [](const QString& title, const QString& text) {
            MakeWarningBox(title, text)->exec();
        };
    }
    s.openFile = OpenFile;
    s.popupMenu = [](QMenu* menu, QPoint globalPos) { menu->exec(globalPos); };
    s.setClipboardText = [](const QString& text) {
        QClipboard* cb = QGuiApplication::clipboard();
        if (!cb)
            return false;
        cb->clear();
        cb->setText(text);
        return true;
    };
    s.screenSize = [] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->size() : QSize();
    };
    s.processEvents = [] { QCoreApplication::processEvents(); };
    // One override cursor while the pointer is not the default.
    s.showPointer = [overridden = false](std::int16_t pointer) mutable {
        if (pointer != MousePointer::Default) {
            if (overridden)
                QApplication::changeOverrideCursor(Qt::WaitCursor);
            else
                QApplication::setOverrideCursor(Qt::WaitCursor);
            overridden = true;
        } else if (overridden) {
            QApplication::restoreOverrideCursor();
            overridden = false;
        }
    };
    return s;
}

namespace {

const QString kStartFailure = QStringLiteral("バグったかな・・・");

// The value of Qt's command-line option `name` ("-platform", "-display"),
// or of the environment variable when the command line has none.
QString QtOption(int argc, char** argv, const char* name, const char* variable) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], name) == 0 || (argv[i][0] == '-' && qstrcmp(argv[i] + 1, name) == 0))
            return QString::fromLocal8Bit(argv[i + 1]);
    }
    return qEnvironmentVariable(variable);
}

} // namespace

QString DisplayProblem(int argc, char** argv) {
    const QString noDisplay = QStringLiteral("MeloDeck: ディスプレイがありません（DISPLAY "
                                             "が設定されていません）。"
                                             "デスクトップのセッションの中で起動してください。");
    const QString display = QtOption(argc, argv, "-display", "DISPLAY");
    QString platform = QtOption(argc, argv, "-platform", "QT_QPA_PLATFORM");
    if (platform.isEmpty()) {
        if (display.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            return noDisplay;
        // Qt chooses the platform of a Wayland session itself.
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
            qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland")
            return {};
        platform = QStringLiteral("xcb");
    }
    // "xcb", "xcb:options", or a list whose first entry Qt tries first.
    if (platform.section(u';', 0, 0).section(u':', 0, 0) != u"xcb")
        return {};
    if (display.isEmpty())
        return noDisplay;
#if MELODECK_HAVE_XCB
    // The connection Qt would make: where it fails, Qt ends the process
    // with an abort and English words only.
    xcb_connection_t* c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    const bool reached = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    if (!reached) {
        return QStringLiteral("MeloDeck: ディスプレイ '%1' に接続できません。"
                              "デスクトップのセッションの中で起動してください。")
            .arg(display);
    }
#endif
    return {};
}

std::optional<ModCommon::ProgramLocation> UseProgramFolder() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString folder = DataFolder::Choose(exeDir, qEnvironmentVariable("XDG_DATA_HOME"),
                                              qEnvironmentVariable("HOME"));
    if (folder != exeDir) {
        const QString shipped =
            QDir::cleanPath(exeDir + QStringLiteral("/" MELODECK_SHIPPED_FROM_BIN));
        const QString error = DataFolder::Prepare(folder, shipped);
        if (!error.isEmpty()) {
            ModCommon::ShowWarning(kStartFailure + error);
            return std::nullopt;
        }
    }
    return ModCommon::ProgramLocation{
        folder, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()};
}

std::unique_ptr<frmMeloDeck> Main(const ModCommon::ProgramLocation& location) {
    const QString& prefix = kStartFailure;
    try {
        auto frm = std::make_unique<frmMeloDeck>(location);
        frm->Form_Load();
        frm->show();
        frm->activateWindow();
        frm->txt歌手名->setFocus();
        return frm;
    } catch (const VbError& e) {
        ModCommon::ShowWarning(prefix + e.description());
    } catch (const std::exception& e) {
        ModCommon::ShowWarning(prefix + QString::fromUtf8(e.what()));
    }
    return nullptr;
}

} // namespace melodeck::ModMeloDeck
