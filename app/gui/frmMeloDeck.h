#pragma once
// The program's one working window. Its handlers carry the logic of the
// program; the SQL text, CSV line handling, settings rules and value helpers
// they call are plain routines elsewhere. No Q_OBJECT here: moc cannot read
// the Japanese member names, so every connection is a lambda or a
// pointer to member.

#include "app/Settings.h"
#include "common/ModCommon.h"
#include "import/HttpDownload.h"
#include "store/DataControl.h"
#include "store/gui/FlexGrid.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <map>

namespace melodeck {

class frmWait;
namespace profile {
class File;
}

class frmMeloDeck : public QWidget {
public:
    // location: where the settings file, the database named by a bare file
    // name and the download's temporary file lie.
    explicit frmMeloDeck(ModCommon::ProgramLocation location, QWidget* parent = nullptr);
    ~frmMeloDeck() override;
    const ModCommon::ProgramLocation& location() const { return location_; }

    // ---- window-level state ------------------------------------------------
    QString sListTable;
    QString sPickupTable;
    QStringList sColName; // index 1 to flgList.Cols() - 1; [0] unused
    std::int32_t lListOrderCol = 0;
    bool bListOrderDesc = false;
    std::int32_t lPickupOrderCol = 0;
    bool bPickupOrderDesc = false;
    bool bSelected = false;
    std::int32_t lClickCol = 0;
    std::int32_t lClickRow = 0;

    // ---- controls ------------------------------------------------------------
    QGroupBox* fra検索条件;
    QCheckBox* chk歌手名に;
    QLineEdit* txt歌手名;
    QCheckBox* chk曲名に;
    QLineEdit* txt曲名;
    QCheckBox* chk歌い出しに;
    QLineEdit* txt歌い出し;
    std::map<int, QLabel*> Label1; // 0, 1, 4, 9
    QGroupBox* fraハモり;
    QRadioButton* optハモリ[3];
    QPushButton* cmd抽出;
    QPushButton* cmd抽出解除;
    QPushButton* cmd条件クリア;
    std::map<int, QLabel*> Label2; // 0, 1
    FlexGrid* flgList;
    QPushButton* cmdピックアップ全解除;
    FlexGrid* flgPickup;
    QGroupBox* Frame4;
    QLineEdit* txtパス;
    QPushButton* cmd参照;
    QPushButton* cmd取込;
    QPushButton* cmd終了;
    QLabel* Label3;
    DataControl datList;
    DataControl datPickup;

    QMenu* mnuリストメニュー;
    QAction* mnuピックアップ;
    QAction* mnu検索条件に追加;
    QAction* mnuリストコピー;
    QMenu* mnuピックアップメニュー;
    QAction* mnuピックアップ解除;
    QAction* mnuコピー;

    // The font of every control (ModCommon::WindowFont).
    static QFont WindowFont();

    // Check box value as the program reads it: 0 unticked, 1 ticked, 2 grey.
    static int chkValue(const QCheckBox* c);
    static void setChkValue(QCheckBox* c, int v);

    // ---- start-up and exit (app) ----------------------------------------------
    void Form_Load();
    void Form_Unload();
    void cmd終了_Click();
    void EndProgram();
    bool ended() const { return ended_; }

    // ---- settings file ---------------------------------------------------------
    // Each reads its values from ini, the settings file as Form_Load read it.
    void LoadGridState(const profile::File& ini);
    void LoadSettings(const profile::File& ini);
    void LoadConditions(const profile::File& ini);       // LoadSettings steps 2 to 6
    void OpenDatabaseAndGrids(const profile::File& ini); // LoadSettings steps 7 to 17
    void RestoreColumnWidths(const profile::File& ini);  // the stored widths of both grids
    void RestorePosition(const profile::File& ini);      // LoadSettings step 18
    // The stored position, when the window with its frame fits on the
    // screen there; otherwise the window stays where it is.
    void MoveToStoredPosition();
    int HarmonyIndex() const; // the option ticked: 0, 1 or 2 (either way)
    void SaveSettings();

    // ---- search and sort (search) ---------------------------------------------
    void cmd抽出_Click();
    void cmd抽出解除_Click();
    void cmd条件クリア_Click();
    void txt歌手名_GotFocus();
    void txt曲名_GotFocus();
    void txt歌い出し_GotFocus();
    void txtパス_GotFocus();
    void flgList_Click();
    void flgPickup_Click();
    // The sort of each grid shown in its header (▲/▼ on the sorted column).
    void ShowSortMarks();

    // ---- import (import) --------------------------------------------------------
    void cmd取込_Click();
    void cmd参照_Click();
    // Downloads the list that txtパス names into file; `wait` shows the bytes
    // received meanwhile. True when it failed, after its own warning; false
    // when file holds the downloaded list.
    bool DownloadList(const QString& file, frmWait& wait);
    void LockControls(bool lock);
    songlist::DownloadLimits downloadLimits; // tests shorten the time-out and the size limit

    // ---- pickup list and menus (pickup) -------------------------------------------
    void AddPickup(std::int32_t row);
    void RemovePickup(std::int32_t row);
    void cmdピックアップ全解除_Click();
    void flgList_DblClick();
    void flgPickup_DblClick();
    void flgList_MouseDown(int button, int shift, QPoint pos);
    void flgPickup_MouseDown(int button, int shift, QPoint pos);
    void mnuピックアップ_Click();
    void mnuピックアップ解除_Click();
    void mnuリストコピー_Click();
    void mnuコピー_Click();
    void mnu検索条件に追加_Click();
    // Keys on the grids (key: a Qt::Key; shift: 1 Shift, 2 Ctrl, 4 Alt);
    // true when acted on. Enter picks the current song up, Delete removes it,
    // Ctrl+C copies the selection (Ctrl+A, which the grid takes itself,
    // selects every cell), the menu key and Shift+F10 open the menu.
    bool flgList_KeyDown(int key, int shift);
    bool flgPickup_KeyDown(int key, int shift);

protected:
    void closeEvent(QCloseEvent* ev) override;
    void moveEvent(QMoveEvent* ev) override;
    void changeEvent(QEvent* ev) override;
    bool eventFilter(QObject* obj, QEvent* ev) override;

private:
    void buildLayout();
    void connectHandlers();
    const ModCommon::ProgramLocation location_;
    bool ended_ = false;

    // ---- private helpers of each area (each area adds its own below) ----
    // app:
    // The "Position" values read at start-up, kept for placing the window
    // again once the window manager's frame is known.
    settings::StoredPosition storedPosition_;
    bool placeByFrame_ = false; // that placement is still to come
    // Start-up found nothing to refuse: the database takes other programs'
    // writes beside the grids from now on; the grids are read again when
    // what they read may have changed meanwhile.
    void ShareDatabase();
    // After a write: once the window has been idle a moment, the database's
    // write log is copied into the file and emptied (Database::Checkpoint).
    void CheckpointWhenIdle();
    QTimer* checkpointTimer_ = nullptr;

    // search:
    // Runs source on the data control and repaints its grid. When the engine
    // rejects it, warns with the engine's description, puts the previous
    // source back and leaves the grid as it was; returns false then.
    bool RequeryOrWarn(DataControl& dc, FlexGrid* grid, const QString& source);
    // A header click on grid: sort by the clicked column, or reverse it.
    void SortByHeader(FlexGrid* grid, DataControl& dc, std::int32_t& orderCol, bool& orderDesc);

    // import:

    // pickup:
    // One change of the pickup table, then its grid requeried; a refused
    // statement is shown as a warning and changes nothing.
    void executePickup(const QString& statement);
    // The press handling both grids share; fixedColumnCounts for the song list.
    void pressOnGrid(FlexGrid* grid, bool fixedColumnCounts, QMenu* menu, int button, QPoint pos);
    // The remembered cell of grid onto the clipboard.
    void copyCell(const FlexGrid* grid);
    // The keys both grids share: the copy of the selection and the menu.
    bool gridKey(FlexGrid* grid, bool fixedColumnCounts, QMenu* menu, int key, int shift);
};

} // namespace melodeck
