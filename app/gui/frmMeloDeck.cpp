// The main window: its controls, its start-up on the database, and its end.
#include "app/gui/frmMeloDeck.h"
#include "app/Settings.h"
#include "app/gui/AppIcon.h"
#include "common/ModCommon.h"
#include "common/Seams.h"
#include "common/Twips.h"
#include "common/VbError.h"
#include "common/clsMousePointer.h"
#include "common/gui/WindowHelpers.h"
#include "store/OrderBy.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QIcon>
#include <QMoveEvent>
#include <QPixmap>
#include <QTimer>
#include <functional>
#include <limits>
#include <map>
#include <type_traits>
#include <utility>

namespace melodeck {

namespace {

constexpr int kClientWidth = 9780;  // twips
constexpr int kClientHeight = 9375; // twips
QRect inTwips(int left, int top, int width, int height) {
    using twips::ToPixels;
    return {ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height)};
}

// One control of the window: the member it is stored in (which gives its
// type), its name, its caption, the name of its container (empty: the
// window), its rectangle in twips and its place in the keyboard order (-1:
// none). The keyboard goes through the conditions, the buttons, the list
// source and exit, then the grids.
struct Control {
    std::function<QWidget*(const QString& caption, QWidget* parent)> create;
    QStringView name, caption, container;
    QRect rect;
    int tab;
};

template <class W> auto into(W*& member) {
    return [&member](const QString& caption, QWidget* parent) -> QWidget* {
        if constexpr (std::is_same_v<W, FlexGrid>)
            member = new W(parent);
        else
            member = new W(caption, parent);
        return member;
    };
}

// Handlers report what they did not catch themselves in a warning and the
// window goes on; once the program has ended, nothing runs any more.
template <class F> void Guarded(const frmMeloDeck* w, F&& f) {
    if (w->ended())
        return;
    try {
        f();
    } catch (const VbError& e) {
        ModCommon::ShowWarning(e.description());
    } catch (const std::exception& e) {
        ModCommon::ShowWarning(QString::fromUtf8(e.what()));
    }
}

} // namespace

// How long the window is idle after a write before the write log is
// copied into the database file.
constexpr int kCheckpointAfterMs = 300;

frmMeloDeck::frmMeloDeck(ModCommon::ProgramLocation location, QWidget* parent)
    : QWidget(parent), location_(std::move(location)) {
    buildLayout();
    connectHandlers();
    checkpointTimer_ = new QTimer(this);
    checkpointTimer_->setSingleShot(true);
    checkpointTimer_->setInterval(kCheckpointAfterMs);
    QObject::connect(checkpointTimer_, &QTimer::timeout, this, [this] {
        Guarded(this, [&] {
            if (const auto db = datList.sharedDatabase())
                db->Checkpoint();
        });
    });
}

frmMeloDeck::~frmMeloDeck() {
    // The grids are deleted with the widget base, after the data controls;
    // they let go of their record sets now, so that the database closes (and
    // folds its log back into the file) with the data controls.
    flgList->bind(nullptr);
    flgPickup->bind(nullptr);
}

void frmMeloDeck::buildLayout() {
    setObjectName(QStringLiteral("frmMeloDeck"));
    setWindowTitle(QStringLiteral("メロデッキ配信曲検索ツール Ver. 1.14"));
    setWindowIcon(QIcon(QPixmap::fromImage(AppIcon::Image(32))));
    const QFont font = WindowFont();
    setFont(font);
    resize(inTwips(0, 0, kClientWidth, kClientHeight).size());

    // clang-format off
    const Control controls[] = {
        // member             name                      caption                   container       rectangle (twips)          tab
        // Search conditions.
        {into(fra検索条件),   u"fra検索条件",           u"検索条件",              u"",            {150, 60, 9450, 1875},     -1},
        {into(chk歌手名に),   u"chk歌手名に",           u"歌手名に",              u"fra検索条件", {390, 345, 1320, 345},      0},
        {into(txt歌手名),     u"txt歌手名",             u"",                      u"fra検索条件", {1755, 345, 2280, 345},     1},
        {into(chk曲名に),     u"chk曲名に",             u"曲名に",                u"fra検索条件", {390, 765, 1320, 345},      2},
        {into(txt曲名),       u"txt曲名",               u"",                      u"fra検索条件", {1755, 780, 2280, 345},     3},
        {into(chk歌い出しに), u"chk歌い出しに",         u"歌い出しに",            u"fra検索条件", {390, 1215, 1320, 345},     4},
        {into(txt歌い出し),   u"txt歌い出し",           u"",                      u"fra検索条件", {1755, 1245, 2280, 345},    5},
        {into(Label1[4]),     u"Label1(4)",             u"を含み",                u"fra検索条件", {4110, 420, 750, 255},     -1},
        {into(Label1[0]),     u"Label1(0)",             u"を含み",                u"fra検索条件", {4110, 870, 750, 255},     -1},
        {into(Label1[1]),     u"Label1(1)",             u"を含み",                u"fra検索条件", {4110, 1320, 750, 255},    -1},
        {into(fraハモり),     u"fraハモり",             u"ハモりは",              u"fra検索条件", {4845, 225, 1950, 1425},   -1},
        {into(optハモリ[0]),  u"optハモリ(0)",          u"ハモる",                u"fraハモり",   {255, 285, 1530, 315},      6},
        {into(optハモリ[1]),  u"optハモリ(1)",          u"ハモらない",            u"fraハモり",   {255, 630, 1530, 315},      7},
        {into(optハモリ[2]),  u"optハモリ(2)",          u"どーでもいい",          u"fraハモり",   {255, 990, 1530, 315},      8},
        {into(cmd抽出),       u"cmd抽出",               u"曲を抽出(&S)",          u"fra検索条件", {6930, 270, 2385, 570},     9},
        {into(cmd抽出解除),   u"cmd抽出解除",           u"抽出解除(&R)",          u"fra検索条件", {6930, 885, 2385, 390},    10},
        {into(cmd条件クリア), u"cmd条件クリア",         u"条件クリア(&C)",        u"fra検索条件", {6930, 1320, 2385, 390},   11},
        // The two grids.
        {into(Label2[1]),     u"Label2(1)",             u"候補リスト",            u"",            {180, 2025, 1755, 315},    -1},
        {into(flgList),       u"flgList",               u"",                      u"",            {165, 2280, 9390, 3330},   17},
        {into(cmdピックアップ全解除), u"cmdピックアップ全解除", u"ピックアップ全解除(&A)", u"",     {7110, 5685, 2385, 390},   12},
        {into(Label2[0]),     u"Label2(0)",             u"ピックアップリスト",    u"",            {180, 5835, 1755, 300},    -1},
        {into(flgPickup),     u"flgPickup",             u"",                      u"",            {165, 6075, 9390, 1725},   18},
        // List source.
        {into(Frame4),        u"Frame4",                u"配信曲リストの取得",    u"",            {165, 7875, 9450, 870},    -1},
        {into(Label1[9]),     u"Label1(9)",             u"URL/パス",              u"Frame4",      {180, 420, 930, 255},      -1},
        {into(txtパス),       u"txtパス",     u"http://songlist.example.com/data/200412.csv", u"Frame4", {1185, 375, 6585, 345}, 13},
        {into(cmd参照),       u"cmd参照",               u"…",                     u"Frame4",      {7785, 345, 390, 400},     14},
        {into(cmd取込),       u"cmd取込",               u"取込(&D)",              u"Frame4",      {8190, 345, 1170, 400},    15},
        {into(cmd終了),       u"cmd終了",               u"終了(&X)",              u"",            {7140, 8820, 2385, 480},   16},
        {into(Label3),        u"Label3",                u"© メロデッキ開発チーム", u"",           {195, 9000, 4965, 210},    -1},
    };
    // clang-format on
    std::map<QStringView, QWidget*> made;
    std::map<int, QWidget*> order;
    for (const Control& c : controls) {
        QWidget* w =
            c.create(c.caption.toString(), c.container.isEmpty() ? this : made.at(c.container));
        w->setObjectName(c.name.toString());
        const QRect& r = c.rect;
        w->setGeometry(inTwips(r.x(), r.y(), r.width(), r.height()));
        if (qobject_cast<QLabel*>(w))
            w->lower(); // labels are painted on their container, under its controls
        made[c.name] = w;
        if (c.tab >= 0)
            order[c.tab] = w;
    }
    for (auto it = order.begin(); std::next(it) != order.end(); ++it)
        setTabOrder(it->second, std::next(it)->second);

    for (QCheckBox* c : {chk歌手名に, chk曲名に, chk歌い出しに})
        setChkValue(c, 1);
    optハモリ[2]->setChecked(true);
    ModCommon::MakeOptionGroup({optハモリ[0], optハモリ[1], optハモリ[2]});
    flgList->bind(&datList);
    flgPickup->bind(&datPickup);
    // A line edit cuts what is typed or pasted at 32,767 characters; the list
    // source has no limit (a signed download link can be longer).
    txtパス->setMaxLength(std::numeric_limits<int>::max());

    // Pop-up menus of the grids.
    mnuリストメニュー = new QMenu(QStringLiteral("リストメニュー"), this);
    mnuリストメニュー->setObjectName(QStringLiteral("mnuリストメニュー"));
    mnuピックアップ = mnuリストメニュー->addAction(QStringLiteral("ピックアップ"));
    mnuピックアップ->setObjectName(QStringLiteral("mnuピックアップ"));
    mnu検索条件に追加 = mnuリストメニュー->addAction(QStringLiteral("検索条件に追加"));
    mnu検索条件に追加->setObjectName(QStringLiteral("mnu検索条件に追加"));
    mnuリストコピー = mnuリストメニュー->addAction(QStringLiteral("コピー"));
    mnuリストコピー->setObjectName(QStringLiteral("mnuリストコピー"));

    mnuピックアップメニュー = new QMenu(QStringLiteral("ピックアップメニュー"), this);
    mnuピックアップメニュー->setObjectName(QStringLiteral("mnuピックアップメニュー"));
    mnuピックアップ解除 = mnuピックアップメニュー->addAction(QStringLiteral("ピックアップ解除"));
    mnuピックアップ解除->setObjectName(QStringLiteral("mnuピックアップ解除"));
    mnuコピー = mnuピックアップメニュー->addAction(QStringLiteral("コピー"));
    mnuコピー->setObjectName(QStringLiteral("mnuコピー"));
    for (QMenu* m : {mnuリストメニュー, mnuピックアップメニュー})
        m->setFont(font);
}

void frmMeloDeck::connectHandlers() {
    auto button = [this](QPushButton* b, void (frmMeloDeck::*handler)()) {
        QObject::connect(b, &QPushButton::clicked, this,
                         [this, handler] { Guarded(this, [&] { (this->*handler)(); }); });
    };
    button(cmd抽出, &frmMeloDeck::cmd抽出_Click);
    button(cmd抽出解除, &frmMeloDeck::cmd抽出解除_Click);
    button(cmd条件クリア, &frmMeloDeck::cmd条件クリア_Click);
    button(cmdピックアップ全解除, &frmMeloDeck::cmdピックアップ全解除_Click);
    button(cmd参照, &frmMeloDeck::cmd参照_Click);
    button(cmd取込, &frmMeloDeck::cmd取込_Click);
    button(cmd終了, &frmMeloDeck::cmd終了_Click);

    auto action = [this](QAction* a, void (frmMeloDeck::*handler)()) {
        QObject::connect(a, &QAction::triggered, this,
                         [this, handler] { Guarded(this, [&] { (this->*handler)(); }); });
    };
    action(mnuピックアップ, &frmMeloDeck::mnuピックアップ_Click);
    action(mnu検索条件に追加, &frmMeloDeck::mnu検索条件に追加_Click);
    action(mnuリストコピー, &frmMeloDeck::mnuリストコピー_Click);
    action(mnuピックアップ解除, &frmMeloDeck::mnuピックアップ解除_Click);
    action(mnuコピー, &frmMeloDeck::mnuコピー_Click);

    flgList->onClick = [this] { Guarded(this, [&] { flgList_Click(); }); };
    flgList->onDblClick = [this] { Guarded(this, [&] { flgList_DblClick(); }); };
    flgList->onMouseDown = [this](int button, int shift, QPoint pos) {
        Guarded(this, [&] { flgList_MouseDown(button, shift, pos); });
    };
    flgPickup->onClick = [this] { Guarded(this, [&] { flgPickup_Click(); }); };
    flgPickup->onDblClick = [this] { Guarded(this, [&] { flgPickup_DblClick(); }); };
    flgPickup->onMouseDown = [this](int button, int shift, QPoint pos) {
        Guarded(this, [&] { flgPickup_MouseDown(button, shift, pos); });
    };

    for (FlexGrid* grid : {flgList, flgPickup})
        grid->onReadError = [](const QString& description) { ModCommon::ShowWarning(description); };

    flgList->onKeyDown = [this](int key, int shift) {
        bool done = false;
        Guarded(this, [&] { done = flgList_KeyDown(key, shift); });
        return done;
    };
    flgPickup->onKeyDown = [this](int key, int shift) {
        bool done = false;
        Guarded(this, [&] { done = flgPickup_KeyDown(key, shift); });
        return done;
    };

    // Enter in a condition field searches, as the button does (and not
    // while the button is locked by an import).
    for (QLineEdit* t : {txt歌手名, txt曲名, txt歌い出し})
        QObject::connect(t, &QLineEdit::returnPressed, cmd抽出, &QPushButton::click);

    for (QLineEdit* t : {txt歌手名, txt曲名, txt歌い出し, txtパス}) {
        t->installEventFilter(this);
        // After the focus handler, so that a kept selection is back before
        // the handler looks for one.
        ModCommon::KeepSelectionWhileAway(t);
    }
}

QFont frmMeloDeck::WindowFont() {
    return ModCommon::WindowFont();
}

int frmMeloDeck::chkValue(const QCheckBox* c) {
    switch (c->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    default:
        return 2;
    }
}

void frmMeloDeck::setChkValue(QCheckBox* c, int v) {
    switch (v) {
    case 0:
        c->setCheckState(Qt::Unchecked);
        break;
    case 1:
        c->setCheckState(Qt::Checked);
        break;
    case 2:
        c->setCheckState(Qt::PartiallyChecked);
        break;
    default:
        throw VbError(380, QStringLiteral("プロパティの値が不正です。"));
    }
}

// ---- start-up ------------------------------------------------------------------

void frmMeloDeck::Form_Load() {
    clsMousePointer pointer;
    pointer.Busy();
    ModCommon::SetSizable(this, false);
    placeByFrame_ = true;
    ModCommon::CenterForm(this);
    // One reading of the settings file serves every value start-up reads.
    const profile::File ini = ModCommon::OpenIni(location_);
    LoadGridState(ini);
    LoadSettings(ini);
    ShareDatabase();
    if (seams().processEvents)
        seams().processEvents();
}

void frmMeloDeck::LoadGridState(const profile::File& ini) {
    using ModCommon::LeadingNumber;
    using ModCommon::ReadIni;
    bSelected = LeadingNumber(ReadIni(ini, settings::kListGrid, QStringLiteral("Selected"))) != 0;
    lListOrderCol =
        settings::StoredLong(ReadIni(ini, settings::kListGrid, QStringLiteral("OrderCol")))
            .value_or(0);
    bListOrderDesc =
        LeadingNumber(ReadIni(ini, settings::kListGrid, QStringLiteral("OrderDesc"))) != 0;
    lPickupOrderCol =
        settings::StoredLong(ReadIni(ini, settings::kPickupGrid, QStringLiteral("OrderCol")))
            .value_or(0);
    bPickupOrderDesc =
        LeadingNumber(ReadIni(ini, settings::kPickupGrid, QStringLiteral("OrderDesc"))) != 0;
}

void frmMeloDeck::LoadSettings(const profile::File& ini) {
    clsMousePointer pointer;
    pointer.Busy();
    LoadConditions(ini);
    OpenDatabaseAndGrids(ini);
    RestorePosition(ini);
}

namespace {

// The database file named in the settings: a bare file name lies beside the
// program; anything with a folder in it ("/" or "\") is taken as given.
QString StoredDatabasePath(const profile::File& ini, const ModCommon::ProgramLocation& location) {
    QString path = ModCommon::ReadIni(ini, settings::kMdb, QStringLiteral("Path"));
    if (path.isEmpty())
        path = QStringLiteral("MeloDeck.mdb");
    if (!path.contains(QLatin1Char('\\')) && !path.contains(QLatin1Char('/')))
        path = location.file(path);
    return path;
}

QString StoredTableName(const profile::File& ini, const QString& key, const QString& def) {
    const QString name = ModCommon::ReadIni(ini, settings::kMdb, key);
    return name.isEmpty() ? def : name;
}

const QString kSelect = QStringLiteral("SELECT * FROM ");

} // namespace

void frmMeloDeck::OpenDatabaseAndGrids(const profile::File& ini) {
    const QString path = StoredDatabasePath(ini, location_);
    datList.DatabaseName = path;
    datPickup.DatabaseName = path;
    sListTable = StoredTableName(ini, QStringLiteral("ListTableName"), QStringLiteral("MeloDeck"));
    sPickupTable =
        StoredTableName(ini, QStringLiteral("PickupTableName"), QStringLiteral("PickupList"));

    // The first refresh proves that the file and both tables are there and
    // names the fields; the rows come with the sorted query below. Asking for
    // no row spares reading a list of 300,000 songs twice.
    const QString noRow = QStringLiteral(" WHERE 1=0");
    datList.RecordSource = kSelect + sListTable + noRow;
    datPickup.RecordSource = kSelect + sPickupTable + noRow;
    datList.Refresh();
    flgList->Refresh();
    datPickup.shareDatabase(datList.sharedDatabase()); // one open database behind both
    datPickup.Refresh();
    flgPickup->Refresh();
    settings::RequireSeparateTables(datList.Database(), sListTable, sPickupTable);

    sColName = QStringList(QString()); // [0] unused
    for (std::int32_t i = 1; i < flgList->Cols(); ++i) {
        flgList->setCol(i);
        flgList->setRow(0);
        sColName.append(flgList->Text());
    }

    RestoreColumnWidths(ini);

    datList.RecordSource =
        kSelect + sListTable + BuildOrderBy(sColName, lListOrderCol, bListOrderDesc);
    datPickup.RecordSource =
        kSelect + sPickupTable + BuildOrderBy(sColName, lPickupOrderCol, bPickupOrderDesc);
    datList.Refresh();
    flgList->Refresh();
    datPickup.Refresh();
    flgPickup->Refresh();
    ShowSortMarks();

    if (bSelected)
        cmd抽出_Click();
}

void frmMeloDeck::ShareDatabase() {
    if (datList.Database().UseWriteLog())
        return;
    // Another program wrote while the switch let go of the grids'
    // snapshots, or the file stays in its rollback journal: the grids read
    // the file again as it is now.
    datList.Refresh();
    flgList->Refresh();
    datPickup.Refresh();
    flgPickup->Refresh();
}

void frmMeloDeck::CheckpointWhenIdle() {
    checkpointTimer_->start();
}

// Stored column widths. A settings file without a column count (a first
// start) keeps the default widths; a count that is no number stops the start
// as a type mismatch.
void frmMeloDeck::RestoreColumnWidths(const profile::File& ini) {
    using ModCommon::ReadIni;
    const QString numColumns = ReadIni(ini, settings::kListGrid, QStringLiteral("NumColumns"));
    if (numColumns.isEmpty())
        return;
    const std::int32_t n = ModCommon::StrictLong(numColumns);
    for (std::int32_t i = 1; i <= n && i <= flgList->Cols(); ++i) {
        const double w = ModCommon::LeadingNumber(
            ReadIni(ini, settings::kListGrid, QStringLiteral("Widht%1").arg(i)));
        if (!(w > 0))
            continue;
        // Wider than the grid can draw (up to 1E+300 in an edited file): the
        // widest column, cut before rounding so that no width overflows.
        const std::int32_t width =
            w >= FlexGrid::MaxColWidth ? FlexGrid::MaxColWidth : ModCommon::RoundToLong(w);
        flgList->setColWidth(i - 1, width);
        if (i - 1 < flgPickup->Cols())
            flgPickup->setColWidth(i - 1, width);
    }
}

// ---- exit ------------------------------------------------------------------------

void frmMeloDeck::cmd終了_Click() {
    SaveSettings();
    EndProgram();
}

void frmMeloDeck::Form_Unload() {
    EndProgram();
}

void frmMeloDeck::EndProgram() {
    {
        clsMousePointer pointer;
        pointer.Busy();
    }
    ended_ = true;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            w->hide();
    // Leaves the event loop; a test without a running loop goes on.
    QCoreApplication::exit(0);
}

void frmMeloDeck::closeEvent(QCloseEvent* ev) {
    // A close request of the window manager (a close box it draws anyway,
    // Alt+F4): the close box is disabled, so it does nothing.
    if (ev->spontaneous() && !ended_) {
        ev->ignore();
        return;
    }
    // Closed by other means (the end of the session): the settings stay as
    // they were at the last exit through the button.
    if (!ended_)
        Form_Unload();
    ev->accept();
}

void frmMeloDeck::moveEvent(QMoveEvent* ev) {
    QWidget::moveEvent(ev);
    // The window manager's frame is known only once the window is shown, from
    // its first move: the start-up placement again, by the outer size.
    if (!placeByFrame_ || !ev->spontaneous())
        return;
    placeByFrame_ = false;
    if (ModCommon::OuterSize(this) == size())
        return;
    ModCommon::CenterForm(this);
    MoveToStoredPosition();
}

void frmMeloDeck::changeEvent(QEvent* ev) {
    QWidget::changeEvent(ev);
    // A fixed-size window is not maximised, whatever the window manager offers.
    if (ev->type() != QEvent::WindowStateChange || minimumSize() != maximumSize())
        return;
    const Qt::WindowStates grown = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (windowState() & grown)
        setWindowState(windowState() & ~grown);
}

bool frmMeloDeck::eventFilter(QObject* obj, QEvent* ev) {
    if (ev->type() == QEvent::FocusIn && !ended_) {
        void (frmMeloDeck::*handler)() = nullptr;
        if (obj == txt歌手名)
            handler = &frmMeloDeck::txt歌手名_GotFocus;
        else if (obj == txt曲名)
            handler = &frmMeloDeck::txt曲名_GotFocus;
        else if (obj == txt歌い出し)
            handler = &frmMeloDeck::txt歌い出し_GotFocus;
        else if (obj == txtパス)
            handler = &frmMeloDeck::txtパス_GotFocus;
        if (handler) {
            auto run = [this, handler] { Guarded(this, [&] { (this->*handler)(); }); };
            // A click places the cursor after the focus has arrived, which
            // would undo the selection: select once the click is through.
            if (static_cast<QFocusEvent*>(ev)->reason() == Qt::MouseFocusReason) {
                auto* field = static_cast<QWidget*>(obj);
                QTimer::singleShot(0, field, [field, run] {
                    if (field->hasFocus())
                        run();
                });
            } else {
                run();
            }
        }
    }
    return QWidget::eventFilter(obj, ev);
}

} // namespace melodeck
