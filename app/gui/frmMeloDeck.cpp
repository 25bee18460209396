// The main window: its controls, its start-up on the database, and its end.
#include "app/gui/frmMeloDeck.h"
#include "app/Settings.h"

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
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTimer>

namespace melodeck {

namespace {

constexpr int kClientWidth = 9780;  // twips
constexpr int kClientHeight = 9375; // twips
QRect inTwips(int left, int top, int width, int height) {
    using twips::ToPixels;
    return {ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height)};
}

template <class W> W* place(W* w, const QString& name, QRect geometry) {
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

QLabel* label(QWidget* parent, const QString& name, const QString& text, QRect geometry) {
    auto* l = place(new QLabel(text, parent), name, geometry);
    l->lower(); // labels are painted on their container, under its controls
    return l;
}

// The window's own icon: a white eighth note on a rose-to-violet tile.
QIcon DrawIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient tile(0, 0, 0, 32);
    tile.setColorAt(0, QColor(0xE8, 0x4A, 0x7A));
    tile.setColorAt(1, QColor(0x6A, 0x2C, 0x9A));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
    p.setBrush(Qt::white);
    p.save();
    p.translate(11.5, 22.5);
    p.rotate(-20);
    p.drawEllipse(QRectF(-5, -3.5, 10, 7));
    p.restore();
    p.drawRect(QRectF(14.6, 6, 2.2, 16.5));
    QPainterPath flag;
    flag.moveTo(16.8, 6);
    flag.cubicTo(19, 10, 25, 11, 23.5, 18.5);
    flag.cubicTo(22.5, 14.5, 19.5, 13, 16.8, 12.5);
    flag.closeSubpath();
    p.drawPath(flag);
    p.end();
    return QIcon(pm);
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

frmMeloDeck::frmMeloDeck(QWidget* parent) : QWidget(parent) {
    buildLayout();
    connectHandlers();
}

frmMeloDeck::~frmMeloDeck() {
    // The grids are deleted with the widget base, after the data controls.
    flgList->bind(nullptr);
    flgPickup->bind(nullptr);
}

void frmMeloDeck::buildLayout() {
    setObjectName(QStringLiteral("frmMeloDeck"));
    setWindowTitle(QStringLiteral("メロデッキ配信曲検索ツール Ver. 1.14"));
    setWindowIcon(DrawIcon());
    const QFont font = WindowFont();
    setFont(font);
    resize(inTwips(0, 0, kClientWidth, kClientHeight).size());

    // Search conditions.
    fra検索条件 = place(new QGroupBox(QStringLiteral("検索条件"), this),
                        QStringLiteral("fra検索条件"), inTwips(150, 60, 9450, 1875));
    QWidget* f = fra検索条件;
    chk歌手名に = place(new QCheckBox(QStringLiteral("歌手名に"), f), QStringLiteral("chk歌手名に"),
                        inTwips(390, 345, 1320, 345));
    txt歌手名 = place(new QLineEdit(f), QStringLiteral("txt歌手名"), inTwips(1755, 345, 2280, 345));
    chk曲名に = place(new QCheckBox(QStringLiteral("曲名に"), f), QStringLiteral("chk曲名に"),
                      inTwips(390, 765, 1320, 345));
    txt曲名 = place(new QLineEdit(f), QStringLiteral("txt曲名"), inTwips(1755, 780, 2280, 345));
    chk歌い出しに = place(new QCheckBox(QStringLiteral("歌い出しに"), f),
                          QStringLiteral("chk歌い出しに"), inTwips(390, 1215, 1320, 345));
    txt歌い出し =
        place(new QLineEdit(f), QStringLiteral("txt歌い出し"), inTwips(1755, 1245, 2280, 345));
    Label1[4] = label(f, QStringLiteral("Label1(4)"), QStringLiteral("を含み"),
                      inTwips(4110, 420, 750, 255));
    Label1[0] = label(f, QStringLiteral("Label1(0)"), QStringLiteral("を含み"),
                      inTwips(4110, 870, 750, 255));
    Label1[1] = label(f, QStringLiteral("Label1(1)"), QStringLiteral("を含み"),
                      inTwips(4110, 1320, 750, 255));
    for (QCheckBox* c : {chk歌手名に, chk曲名に, chk歌い出しに})
        setChkValue(c, 1);

    fraハモり = place(new QGroupBox(QStringLiteral("ハモりは"), f), QStringLiteral("fraハモり"),
                      inTwips(4845, 225, 1950, 1425));
    const QString harmony[3] = {QStringLiteral("ハモる"), QStringLiteral("ハモらない"),
                                QStringLiteral("どーでもいい")};
    const int harmonyTop[3] = {285, 630, 990};
    for (int i = 0; i < 3; ++i)
        optハモリ[i] =
            place(new QRadioButton(harmony[i], fraハモり), QStringLiteral("optハモリ(%1)").arg(i),
                  inTwips(255, harmonyTop[i], 1530, 315));
    optハモリ[2]->setChecked(true);

    cmd抽出 = place(new QPushButton(QStringLiteral("曲を抽出(&S)"), f), QStringLiteral("cmd抽出"),
                    inTwips(6930, 270, 2385, 570));
    cmd抽出解除 = place(new QPushButton(QStringLiteral("抽出解除(&R)"), f),
                        QStringLiteral("cmd抽出解除"), inTwips(6930, 885, 2385, 390));
    cmd条件クリア = place(new QPushButton(QStringLiteral("条件クリア(&C)"), f),
                          QStringLiteral("cmd条件クリア"), inTwips(6930, 1320, 2385, 390));

    // The two grids.
    Label2[1] = label(this, QStringLiteral("Label2(1)"), QStringLiteral("候補リスト"),
                      inTwips(180, 2025, 1755, 315));
    flgList = place(new FlexGrid(this), QStringLiteral("flgList"), inTwips(165, 2280, 9390, 3330));
    cmdピックアップ全解除 =
        place(new QPushButton(QStringLiteral("ピックアップ全解除(&A)"), this),
              QStringLiteral("cmdピックアップ全解除"), inTwips(7110, 5685, 2385, 390));
    Label2[0] = label(this, QStringLiteral("Label2(0)"), QStringLiteral("ピックアップリスト"),
                      inTwips(180, 5835, 1755, 300));
    flgPickup =
        place(new FlexGrid(this), QStringLiteral("flgPickup"), inTwips(165, 6075, 9390, 1725));
    flgList->bind(&datList);
    flgPickup->bind(&datPickup);

    // List source.
    Frame4 = place(new QGroupBox(QStringLiteral("配信曲リストの取得"), this),
                   QStringLiteral("Frame4"), inTwips(165, 7875, 9450, 870));
    Label1[9] = label(Frame4, QStringLiteral("Label1(9)"), QStringLiteral("URL/パス"),
                      inTwips(180, 420, 930, 255));
    txtパス =
        place(new QLineEdit(QStringLiteral("http://songlist.example.com/data/200412.csv"), Frame4),
              QStringLiteral("txtパス"), inTwips(1185, 375, 6585, 345));
    cmd参照 = place(new QPushButton(QStringLiteral("…"), Frame4), QStringLiteral("cmd参照"),
                    inTwips(7785, 345, 390, 400));
    cmd取込 = place(new QPushButton(QStringLiteral("取込(&D)"), Frame4), QStringLiteral("cmd取込"),
                    inTwips(8190, 345, 1170, 400));

    cmd終了 = place(new QPushButton(QStringLiteral("終了(&X)"), this), QStringLiteral("cmd終了"),
                    inTwips(7140, 8820, 2385, 480));
    Label3 = label(this, QStringLiteral("Label3"), QStringLiteral("© メロデッキ開発チーム"),
                   inTwips(195, 9000, 4965, 210));

    // Keyboard order: the conditions, the buttons, the list source, exit,
    // then the grids.
    const QList<QWidget*> order = {chk歌手名に,
                                   txt歌手名,
                                   chk曲名に,
                                   txt曲名,
                                   chk歌い出しに,
                                   txt歌い出し,
                                   optハモリ[0],
                                   optハモリ[1],
                                   optハモリ[2],
                                   cmd抽出,
                                   cmd抽出解除,
                                   cmd条件クリア,
                                   cmdピックアップ全解除,
                                   txtパス,
                                   cmd参照,
                                   cmd取込,
                                   cmd終了,
                                   flgList,
                                   flgPickup};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

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

    for (QLineEdit* t : {txt歌手名, txt曲名, txt歌い出し, txtパス})
        t->installEventFilter(this);
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
    ModCommon::CenterForm(this);
    LoadGridState();
    LoadSettings();
    if (seams().processEvents)
        seams().processEvents();
}

void frmMeloDeck::LoadGridState() {
    using ModCommon::LeadingNumber;
    using ModCommon::ReadIni;
    bSelected = LeadingNumber(ReadIni(settings::kListGrid, QStringLiteral("Selected"))) != 0;
    lListOrderCol =
        settings::StoredLong(ReadIni(settings::kListGrid, QStringLiteral("OrderCol"))).value_or(0);
    bListOrderDesc = LeadingNumber(ReadIni(settings::kListGrid, QStringLiteral("OrderDesc"))) != 0;
    lPickupOrderCol =
        settings::StoredLong(ReadIni(settings::kPickupGrid, QStringLiteral("OrderCol")))
            .value_or(0);
    bPickupOrderDesc =
        LeadingNumber(ReadIni(settings::kPickupGrid, QStringLiteral("OrderDesc"))) != 0;
}

void frmMeloDeck::LoadSettings() {
    clsMousePointer pointer;
    pointer.Busy();
    LoadConditions();
    OpenDatabaseAndGrids();
    RestorePosition();
}

void frmMeloDeck::OpenDatabaseAndGrids() {
    using ModCommon::ReadIni;
    const QString select = QStringLiteral("SELECT * FROM ");

    // A bare file name lies beside the program; anything with a folder in it
    // ("/" or "\") is taken as given.
    QString path = ReadIni(settings::kMdb, QStringLiteral("Path"));
    if (path.isEmpty())
        path = QStringLiteral("MeloDeck.mdb");
    if (!path.contains(QLatin1Char('\\')) && !path.contains(QLatin1Char('/')))
        path = ModCommon::ProgramFile(path);
    datList.DatabaseName = path;
    datPickup.DatabaseName = path;

    sListTable = ReadIni(settings::kMdb, QStringLiteral("ListTableName"));
    if (sListTable.isEmpty())
        sListTable = QStringLiteral("MeloDeck");
    datList.RecordSource = select + sListTable;
    sPickupTable = ReadIni(settings::kMdb, QStringLiteral("PickupTableName"));
    if (sPickupTable.isEmpty())
        sPickupTable = QStringLiteral("PickupList");
    datPickup.RecordSource = select + sPickupTable;

    // The first refresh proves that the file and both tables are there and
    // names the fields; the rows come with the sorted query below. Asking for
    // no row spares reading a list of 300,000 songs twice.
    const QString noRow = QStringLiteral(" WHERE 1=0");
    datList.RecordSource += noRow;
    datPickup.RecordSource += noRow;
    datList.Refresh();
    flgList->Refresh();
    datPickup.shareDatabase(datList.sharedDatabase()); // one open database behind both
    datPickup.Refresh();
    flgPickup->Refresh();

    sColName = QStringList(QString()); // [0] unused
    for (std::int32_t i = 1; i < flgList->Cols(); ++i) {
        flgList->setCol(i);
        flgList->setRow(0);
        sColName.append(flgList->Text());
    }

    // Stored column widths. A settings file without a column count (a first
    // start) keeps the default widths; a count that is no number stops the
    // start as a type mismatch.
    const QString numColumns = ReadIni(settings::kListGrid, QStringLiteral("NumColumns"));
    if (!numColumns.isEmpty()) {
        const std::int32_t n = ModCommon::StrictLong(numColumns);
        for (std::int32_t i = 1; i <= n && i <= flgList->Cols(); ++i) {
            const double w = ModCommon::LeadingNumber(
                ReadIni(settings::kListGrid, QStringLiteral("Widht%1").arg(i)));
            // A stored width beyond the widest column is a damaged settings
            // file, not a column.
            if (!(w > 0) || w > FlexGrid::MaxColWidth)
                continue;
            const std::int32_t width = ModCommon::RoundToLong(w);
            flgList->setColWidth(i - 1, width);
            if (i - 1 < flgPickup->Cols())
                flgPickup->setColWidth(i - 1, width);
        }
    }

    datList.RecordSource =
        select + sListTable + BuildOrderBy(sColName, lListOrderCol, bListOrderDesc);
    datPickup.RecordSource =
        select + sPickupTable + BuildOrderBy(sColName, lPickupOrderCol, bPickupOrderDesc);
    datList.Refresh();
    flgList->Refresh();
    datPickup.Refresh();
    flgPickup->Refresh();
    ShowSortMarks();

    if (bSelected)
        cmd抽出_Click();
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
    // Closed by the window system (session end, a keyboard shortcut): the
    // settings stay as they were at the last exit through the button.
    if (!ended_)
        Form_Unload();
    ev->accept();
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
