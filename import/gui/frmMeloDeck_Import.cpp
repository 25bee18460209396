// Song-list import and list source: the browse button, the download and the
// import button of the main window.
#include "app/gui/frmMeloDeck.h"
#include "common/ModCommon.h"
#include "common/Seams.h"
#include "common/VbError.h"
#include "common/clsMousePointer.h"
#include "import/HttpDownload.h"
#include "import/SongListImport.h"
#include "import/gui/frmWait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <memory>

namespace melodeck {

namespace {

// The progress window and the message pump, lent to the import run. The
// window's messages are processed after a row once a frame has passed since
// the last time: the progress bar moves and the window repaints as often as
// a screen shows it, and a pass per row would cost more than the row.
class WaitSink : public songlist::ImportSink {
public:
    static constexpr int kFrameMs = 16;

    explicit WaitSink(frmWait& wait) : wait_(wait) {}
    void progress(std::int64_t done) override { done_ = done; }
    void rowAdded() override {
        if (!clock_.isValid() || clock_.elapsed() >= kFrameMs)
            flush();
    }
    // Shows where the import stands now.
    void flush() {
        wait_.setValue(done_);
        seams().processEvents();
        clock_.start();
    }

private:
    frmWait& wait_;
    std::int64_t done_ = 0;
    QElapsedTimer clock_;
};

} // namespace

void frmMeloDeck::cmd参照_Click() {
    OpenFileRequest dlg;
    dlg.fileName = QString();
    dlg.defaultExt = QStringLiteral("csv");
    dlg.filter = QStringLiteral("csv file(*.csv)|*.csv");
    dlg.initDir = QDir::currentPath();
    const QString chosen = seams().openFile(dlg);
    if (!chosen.isEmpty())
        txtパス->setText(chosen);
}

bool frmMeloDeck::DownloadList(const QString& file, frmWait& wait) {
    clsMousePointer pointer;
    pointer.Busy();
    const QString url = txtパス->text();
    // The window goes on painting, and takes input as during the import
    // (the buttons and grids are disabled).
    const auto progress = [&wait](std::int64_t received, std::int64_t total) {
        wait.setMax(total);
        wait.setValue(received);
        seams().processEvents();
    };
    const QString error = songlist::DownloadToFile(url, file, progress, downloadLimits);
    if (error.isEmpty())
        return false;
    ModCommon::ShowWarning(error);
    return true;
}

void frmMeloDeck::LockControls(bool lock) {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->window() == this)
            button->setEnabled(!lock);
    }
    flgList->setEnabled(!lock);
    flgPickup->setEnabled(!lock);
}

void frmMeloDeck::cmd取込_Click() {
    clsMousePointer pointer;
    pointer.Busy();
    LockControls(true);
    const QString source = txtパス->text();
    std::unique_ptr<frmWait> wait;
    // However the import ends, the controls come back and the progress
    // window goes, in that order.
    const auto done = qScopeGuard([&] {
        LockControls(false);
        wait.reset();
        CheckpointWhenIdle();
    });
    try {
        const auto showWait = [&](std::int64_t max) {
            wait = std::make_unique<frmWait>(this);
            wait->setMax(max);
            wait->show();
            seams().processEvents();
        };
        QString file = source;
        // Only these exact prefixes mean a download; anything else is a path.
        if (source.left(7) == u"http://" || source.left(8) == u"https://") {
            file = ModCommon::AddLastChar(location_.folder, u'/') + location_.name +
                   QStringLiteral(".$$$");
            showWait(frmWait::kUnknown);
            if (DownloadList(file, *wait))
                return;
        }
        const std::vector<bool> textFlags = songlist::TextFlags(datList.Recordset());
        songlist::SongListImport list(file);

        if (wait) {
            wait->setMax(list.total());
            wait->setValue(0);
        } else {
            showWait(list.total());
        }

        WaitSink sink(*wait);
        const auto outcome = list.run(datList.Database(), sListTable, textFlags, sink);
        sink.flush(); // the bar as far as the list was read
        if (outcome == songlist::ImportOutcome::ErrorPage) {
            ModCommon::ShowWarning(songlist::kBadUrl.toString());
        } else {
            wait.reset();
            cmd抽出解除_Click();
        }
    } catch (const VbError& e) {
        ModCommon::ShowWarning(e.description());
    } catch (const std::exception& e) {
        ModCommon::ShowWarning(QString::fromUtf8(e.what()));
    }
}

} // namespace melodeck
