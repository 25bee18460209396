#include "app/gui/ModMeloDeck.h"

#include "common/ModCommon.h"
#include "common/Seams.h"
#include "common/VbError.h"
#include "common/clsMousePointer.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>

namespace melodeck::ModMeloDeck {

namespace {

// "desc|pattern|desc|pattern" as the file dialog of the old platform took
// it, in the form Qt's dialog takes: "desc (pattern);;desc (pattern)".
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    return out.join(QStringLiteral(";;"));
}

QString OpenFile(const OpenFileRequest& req) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!req.initDir.isEmpty())
        dialog.setDirectory(req.initDir);
    if (!req.filter.isEmpty())
        dialog.setNameFilter(QtFilter(req.filter));
    if (!req.defaultExt.isEmpty())
        dialog.setDefaultSuffix(req.defaultExt);
    if (!req.fileName.isEmpty())
        dialog.selectFile(QFileInfo(req.fileName).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

// The application-wide pointer: one override cursor while it is not 0.
void ShowPointer(std::int16_t pointer) {
    static bool overridden = false;
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
}

} // namespace

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
        QFont::insertSubstitutions(QStringLiteral("MS UI Gothic"), present);
}

void InstallPlatform() {
    Seams& s = seams();
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
            QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok,
                            QApplication::activeWindow());
            box.exec();
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
    MousePointer::setDisplayHook(ShowPointer);
    InstallFonts();
}

std::unique_ptr<frmMeloDeck> Main() {
    const QString prefix = QStringLiteral("バグったかな・・・");
    try {
        auto frm = std::make_unique<frmMeloDeck>();
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
