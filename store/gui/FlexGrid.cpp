#include "store/gui/FlexGrid.h"

#include "common/Twips.h"
#include "common/VbError.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace melodeck {

// Answers the view from the record set the data control held at the grid's
// last Refresh, which the grid keeps: it shows those rows until its next
// Refresh, whatever the data control holds meanwhile.
class FlexGridModel : public QAbstractTableModel {
public:
    explicit FlexGridModel(QObject* parent) : QAbstractTableModel(parent) {}

    DataControl::Watch source; // the bound data control's record set
    std::shared_ptr<const Recordset> rs;
    int rows = 0;
    std::vector<QString> names;
    std::vector<Qt::Alignment> align;
    // Called once a read of rs has failed (from the event loop, not from
    // inside a paint).
    std::function<void()> onReadFailed;

    void reload() {
        beginResetModel();
        names.clear();
        align.clear();
        rows = 0;
        const auto slot = source.lock();
        rs = slot ? *slot : nullptr;
        failureSeen_ = false;
        if (rs) {
            rows = int(std::min<std::int64_t>(rs->RecordCount(), INT32_MAX - 1));
            for (int i = 0; i < rs->FieldCount(); ++i) {
                names.push_back(rs->FieldName(i));
                align.push_back(FieldType::IsNumeric(rs->FieldType(i))
                                    ? Qt::AlignRight | Qt::AlignVCenter
                                    : Qt::AlignLeft | Qt::AlignVCenter);
            }
        }
        endResetModel();
    }

    // The rows past a failed read go: the grid shows only what was read.
    void dropUnreadable() {
        if (!rs || rs->ReadableCount() >= rows)
            return;
        const int keep = int(rs->ReadableCount());
        beginRemoveRows({}, keep, rows - 1);
        rows = keep;
        endRemoveRows();
    }

    // Reads lazily (see Recordset::CellText); a row that cannot be read
    // gives "" for now and is dropped once the event loop runs.
    QString cell(int r, int c) const {
        if (!rs)
            return {};
        QString text = rs->CellText(r, c);
        if (rs->ReadableCount() < rows && !failureSeen_) {
            failureSeen_ = true;
            const Recordset* failed = rs.get();
            QMetaObject::invokeMethod(
                const_cast<FlexGridModel*>(this),
                [this, failed] {
                    if (rs.get() == failed && onReadFailed)
                        onReadFailed();
                },
                Qt::QueuedConnection);
        }
        return text;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : rows;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(names.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        // No more than the widest column can show, a character a pixel:
        // laying out all of a longer text (a list line may bring 10 MB)
        // stalled every repaint for seconds. TextMatrix and the tooltip
        // keep the whole text.
        if (role == Qt::DisplayRole)
            return cell(index.row(), index.column()).left(kShownCharacters);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(align[size_t(index.column())]);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole)
            return {};
        if (orientation == Qt::Horizontal && section >= 0 && size_t(section) < names.size())
            return names[size_t(section)];
        return QString(); // the fixed column shows no text
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

private:
    static constexpr qsizetype kShownCharacters = FlexGrid::MaxColWidth / twips::kPerPixel;
    mutable bool failureSeen_ = false;
};

// The header row: field names as a plain header paints them, and the sort
// mark, a triangle at the right end of the sorted column's cell (pointing up
// for ascending), with the name kept clear of it.
class FlexGridHeader : public QHeaderView {
public:
    explicit FlexGridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

    int markSection = -1; // logical section; -1 for none
    bool markDesc = false;

    // Room the name of a section has in its cell, the mark left out.
    QRect labelRect(int logical) const {
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        initStyleOptionForIndex(&opt, logical);
        opt.rect = QRect(sectionViewportPosition(logical), 0, sectionSize(logical), height());
        QRect r = style()->subElementRect(QStyle::SE_HeaderLabel, &opt, this);
        if (logical == markSection)
            r.setRight(r.right() - markWidth());
        return r;
    }

protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override {
        if (logical != markSection || !rect.isValid()) {
            QHeaderView::paintSection(p, rect, logical);
            return;
        }
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        initStyleOptionForIndex(&opt, logical);
        opt.rect = rect;
        p->save();
        p->setClipRect(rect);
        style()->drawControl(QStyle::CE_HeaderSection, &opt, p, this);
        QStyleOptionHeader label = opt;
        label.rect = style()->subElementRect(QStyle::SE_HeaderLabel, &opt, this);
        label.rect.setRight(label.rect.right() - markWidth());
        label.text = fontMetrics().elidedText(opt.text, Qt::ElideRight, label.rect.width());
        if (label.rect.width() > 0)
            style()->drawControl(QStyle::CE_HeaderLabel, &label, p, this);

        const int w = triangleWidth();
        const qreal h = w * 0.6;
        const qreal right = rect.right() + 1 - margin();
        const qreal mid = rect.center().y() + 0.5;
        const qreal top = mid - h / 2, bottom = mid + h / 2;
        QPolygonF triangle;
        if (markDesc)
            triangle << QPointF(right - w, top) << QPointF(right, top)
                     << QPointF(right - w / 2.0, bottom);
        else
            triangle << QPointF(right - w, bottom) << QPointF(right, bottom)
                     << QPointF(right - w / 2.0, top);
        p->setRenderHint(QPainter::Antialiasing);
        p->setPen(Qt::NoPen);
        p->setBrush(opt.palette.color(QPalette::ButtonText));
        p->drawPolygon(triangle);
        p->restore();
    }

private:
    int margin() const { return style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this); }
    int triangleWidth() const { return std::max(7, fontMetrics().height() / 2); }
    int markWidth() const { return triangleWidth() + margin(); }
};

using twips::FromPixels;
using twips::ToPixels;

FlexGrid::FlexGrid(QWidget* parent)
    : QTableView(parent), model_(new FlexGridModel(this)), header_(new FlexGridHeader(this)) {
    setHorizontalHeader(header_);
    setModel(model_);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false); // Tab leaves the grid for the next control
    setWordWrap(false);
    setSortingEnabled(false);

    QHeaderView* h = horizontalHeader();
    h->setSectionsClickable(false); // presses are ours: see eventFilter
    h->setSectionsMovable(false);
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setStretchLastSection(false);
    h->setHighlightSections(false);
    h->setDefaultSectionSize(ToPixels(DefaultColWidth));
    h->setMinimumSectionSize(0);
    h->viewport()->installEventFilter(this);

    QHeaderView* v = verticalHeader();
    v->setSectionsClickable(false);
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setHighlightSections(false);
    v->setMinimumSectionSize(1);
    v->viewport()->installEventFilter(this);

    setCornerButtonEnabled(true);
    corner_ = findChild<QAbstractButton*>();
    if (corner_)
        corner_->installEventFilter(this);

    connect(h, &QHeaderView::sectionResized, this, [this](int logical, int, int newSize) {
        if (applying_)
            return;
        const size_t c = size_t(logical) + 1;
        if (c < widthTwips_.size() && ToPixels(widthTwips_[c]) != newSize)
            widthTwips_[c] = FromPixels(newSize);
    });

    model_->onReadFailed = [this] { readFailed(); };

    widthTwips_.assign(1, DefaultFixedWidth);
    applyWidths();
    fitRowHeight();
}

void FlexGrid::readFailed() {
    const QString error = model_->rs ? model_->rs->ReadError() : QString();
    model_->dropUnreadable();
    applying_ = true;
    row_ = std::clamp(row_, 0, Rows() - 1);
    rowSel_ = std::clamp(rowSel_, 0, Rows() - 1);
    applying_ = false;
    applySelection();
    if (!readErrorShown_ && !error.isEmpty()) {
        readErrorShown_ = true;
        if (onReadError)
            onReadError(error);
    }
}

FlexGrid::~FlexGrid() = default;

void FlexGrid::changeEvent(QEvent* ev) {
    QTableView::changeEvent(ev);
    if (ev->type() == QEvent::FontChange)
        fitRowHeight();
}

void FlexGrid::fitRowHeight() {
    // Rows as tall as the font needs, all alike: the header then keeps no
    // per-row sizes to compute.
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void FlexGrid::bind(const DataControl* dc) {
    model_->source = dc ? dc->watch() : DataControl::Watch();
    if (!dc)
        model_->reload(); // lets go of the record set
}

void FlexGrid::Refresh() {
    applying_ = true;
    model_->reload();
    readErrorShown_ = false;
    widthTwips_.resize(size_t(Cols()), DefaultColWidth);
    applyWidths();
    row_ = std::clamp(row_, 0, Rows() - 1);
    rowSel_ = std::clamp(rowSel_, 0, Rows() - 1);
    col_ = std::clamp(col_, 0, Cols() - 1);
    colSel_ = std::clamp(colSel_, 0, Cols() - 1);
    applying_ = false;
    applySelection();
    scrollToTop();
}

std::int32_t FlexGrid::Rows() const {
    return model_->rows + 1;
}

std::int32_t FlexGrid::Cols() const {
    return std::int32_t(model_->names.size()) + 1;
}

void FlexGrid::setCol(std::int32_t c) {
    if (c < 0 || c >= Cols())
        throw VbError::subscript();
    col_ = colSel_ = c;
    rowSel_ = row_;
    applySelection();
}

void FlexGrid::setRow(std::int32_t r) {
    if (r < 0 || r >= Rows())
        throw VbError::subscript();
    row_ = rowSel_ = r;
    colSel_ = col_;
    applySelection();
}

QString FlexGrid::TextMatrix(std::int32_t row, std::int32_t col) const {
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols())
        throw VbError::subscript();
    if (col == 0)
        return {};
    if (row == 0)
        return model_->names[size_t(col) - 1];
    QString text = model_->cell(row - 1, col - 1);
    const auto& rs = model_->rs;
    if (rs && row - 1 >= rs->ReadableCount()) {
        // A row that cannot be read is no song: the caller fails with the
        // reason, which then is the one warning of it.
        readErrorShown_ = true;
        throw VbError(VbError::Database, rs->ReadError());
    }
    return text;
}

std::int32_t FlexGrid::ColWidth(std::int32_t col) const {
    if (col < 0 || col >= Cols())
        throw VbError::subscript();
    const std::int32_t twips = widthTwips_[size_t(col)];
    if (col == 0)
        return twips;
    const int px = horizontalHeader()->sectionSize(col - 1);
    return px == ToPixels(twips) ? twips : FromPixels(px);
}

void FlexGrid::setColWidth(std::int32_t col, std::int32_t twips) {
    if (col < 0 || col >= Cols())
        throw VbError::subscript();
    if (twips < 0)
        twips = col == 0 ? DefaultFixedWidth : DefaultColWidth;
    widthTwips_[size_t(col)] = std::min(twips, MaxColWidth);
    applying_ = true;
    if (col == 0)
        verticalHeader()->setFixedWidth(ToPixels(widthTwips_[0]));
    else
        horizontalHeader()->resizeSection(col - 1, ToPixels(widthTwips_[size_t(col)]));
    applying_ = false;
}

void FlexGrid::applyWidths() {
    const bool was = applying_;
    applying_ = true;
    verticalHeader()->setFixedWidth(ToPixels(widthTwips_[0]));
    for (size_t c = 1; c < widthTwips_.size(); ++c)
        horizontalHeader()->resizeSection(int(c) - 1, ToPixels(widthTwips_[c]));
    applying_ = was;
}

void FlexGrid::applySelection() {
    if (applying_)
        return;
    applying_ = true;
    QItemSelectionModel* sm = selectionModel();
    QItemSelection sel;
    const int r0 = std::max(1, std::min(row_, rowSel_)), r1 = std::max(row_, rowSel_);
    const int c0 = std::max(1, std::min(col_, colSel_)), c1 = std::max(col_, colSel_);
    if (r0 <= r1 && c0 <= c1 && r1 < Rows() && c1 < Cols())
        sel.select(model_->index(r0 - 1, c0 - 1), model_->index(r1 - 1, c1 - 1));
    const QModelIndex cur =
        row_ >= 1 && col_ >= 1 ? model_->index(row_ - 1, col_ - 1) : QModelIndex();
    // Selecting a column from its header must not jump to the first row.
    const bool scroll = hasAutoScroll();
    setAutoScroll(false);
    sm->setCurrentIndex(cur, QItemSelectionModel::NoUpdate);
    sm->select(sel, QItemSelectionModel::ClearAndSelect);
    setAutoScroll(scroll);
    applying_ = false;
}

void FlexGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (applying_ || !current.isValid())
        return;
    // Moved by the keyboard (or by the view on focus): the current cell
    // becomes the selection, as a press on it would make it.
    row_ = rowSel_ = current.row() + 1;
    col_ = colSel_ = current.column() + 1;
    applySelection();
}

void FlexGrid::setSortMark(std::int32_t col, bool descending) {
    const int section = col >= 1 && col < Cols() ? col - 1 : -1;
    if (section == header_->markSection && descending == header_->markDesc)
        return;
    header_->markSection = section;
    header_->markDesc = descending;
    header_->viewport()->update();
}

void FlexGrid::cellAt(QPoint p, std::int32_t& row, std::int32_t& col) const {
    const int r = rowAt(p.y());
    const int c = columnAt(p.x());
    row = r < 0 ? -1 : r + 1;
    col = c < 0 ? -1 : c + 1;
}

QPoint FlexGrid::cellCenter(std::int32_t row, std::int32_t col) const {
    int x, y;
    if (col == 0)
        x = verticalHeader()->geometry().center().x();
    else
        x = viewport()->geometry().x() + columnViewportPosition(col - 1) + columnWidth(col - 1) / 2;
    if (row == 0)
        y = horizontalHeader()->geometry().center().y();
    else
        y = viewport()->geometry().y() + rowViewportPosition(row - 1) + rowHeight(row - 1) / 2;
    return {x, y};
}

int FlexGrid::buttonFlags(Qt::MouseButtons b) {
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
           (b & Qt::MiddleButton ? 4 : 0);
}

int FlexGrid::shiftFlags(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
}

void FlexGrid::pressAt(std::int32_t row, std::int32_t col, int button, QPoint pos, int shift) {
    mouseRow_ = row;
    mouseCol_ = col;
    const std::int32_t lastRow = Rows() - 1, lastCol = Cols() - 1;
    const std::int32_t firstRow = lastRow >= 1 ? 1 : 0, firstCol = lastCol >= 1 ? 1 : 0;
    // Past the last row or column there is no cell: the press is reported,
    // but it selects nothing and its release is no click, so a selection
    // left by a header click cannot sort again from there.
    const bool onCell = row >= 0 && col >= 0;
    if (!(button & 1) || !onCell) {
        // Only the left button moves the current cell; a right press leaves
        // it to the handler (which may move it before opening a menu).
    } else if (row == 0 && col == 0) { // the corner: everything
        selectAllCells();
    } else if (row == 0 && col >= 1) { // a header: its whole column
        col_ = colSel_ = col;
        row_ = firstRow, rowSel_ = lastRow;
    } else if (col == 0 && row >= 1) { // the fixed column: its whole row
        row_ = rowSel_ = row;
        col_ = firstCol, colSel_ = lastCol;
    } else if (row >= 1 && col >= 1) {
        row_ = rowSel_ = row;
        col_ = colSel_ = col;
    }
    applySelection();
    if (button & 1)
        leftPressed_ = onCell;
    afterDouble_ = false;
    if (onMouseDown)
        onMouseDown(button, shift, pos);
}

void FlexGrid::selectAllCells() {
    const std::int32_t lastRow = Rows() - 1, lastCol = Cols() - 1;
    row_ = lastRow >= 1 ? 1 : 0, rowSel_ = lastRow;
    col_ = lastCol >= 1 ? 1 : 0, colSel_ = lastCol;
}

void FlexGrid::releaseAt(int button) {
    if (!(button & 1) || !leftPressed_)
        return;
    leftPressed_ = false;
    if (afterDouble_) {
        afterDouble_ = false;
        return;
    }
    if (onClick)
        onClick();
}

void FlexGrid::doubleClick() {
    if (mouseRow_ < 0 || mouseCol_ < 0) { // no cell: no double click either
        leftPressed_ = false;
        return;
    }
    leftPressed_ = true;
    afterDouble_ = true;
    if (onDblClick)
        onDblClick();
}

void FlexGrid::mousePressEvent(QMouseEvent* ev) {
    setFocus(Qt::MouseFocusReason);
    std::int32_t r, c;
    const QPoint p = ev->position().toPoint();
    cellAt(p, r, c);
    pressAt(r, c, buttonFlags(ev->button()), viewport()->mapTo(this, p),
            shiftFlags(ev->modifiers()));
    ev->accept();
}

void FlexGrid::mouseReleaseEvent(QMouseEvent* ev) {
    releaseAt(buttonFlags(ev->button()));
    ev->accept();
}

void FlexGrid::mouseDoubleClickEvent(QMouseEvent* ev) {
    const QPoint p = ev->position().toPoint();
    if (ev->button() != Qt::LeftButton) { // a quick second right press is a press
        mousePressEvent(ev);
        return;
    }
    cellAt(p, mouseRow_, mouseCol_);
    doubleClick();
    ev->accept();
}

void FlexGrid::mouseMoveEvent(QMouseEvent* ev) {
    ev->accept(); // no drag selection
}

void FlexGrid::keyPressEvent(QKeyEvent* ev) {
    // Some window systems follow the menu key with a context-menu request:
    // one of the two opens the menu, never both.
    const bool menuKey = ev->key() == Qt::Key_Menu;
    if (menuKey && menuRequest_ == MenuRequest::ByContextEvent) {
        menuRequest_ = MenuRequest::None;
        ev->accept();
        return;
    }
    menuRequest_ = menuKey ? MenuRequest::ByKey : MenuRequest::None;
    if (onKeyDown && onKeyDown(ev->key(), shiftFlags(ev->modifiers()))) {
        ev->accept();
        return;
    }
    if (ev->matches(QKeySequence::SelectAll)) {
        selectAllCells();
        applySelection();
        ev->accept();
        return;
    }
    QTableView::keyPressEvent(ev);
}

void FlexGrid::contextMenuEvent(QContextMenuEvent* ev) {
    if (ev->reason() != QContextMenuEvent::Keyboard) {
        ev->ignore(); // a right press has been handled as a press
        return;
    }
    ev->accept();
    if (menuRequest_ == MenuRequest::ByKey) {
        menuRequest_ = MenuRequest::None;
        return;
    }
    menuRequest_ = MenuRequest::ByContextEvent;
    if (onKeyDown)
        onKeyDown(Qt::Key_Menu, shiftFlags(ev->modifiers()));
}

void FlexGrid::cutTextTip(QWidget* w, QPoint globalPos, const QRect& rect, const QString& text,
                          int room) {
    if (!text.isEmpty() && w->fontMetrics().horizontalAdvance(text) > room)
        QToolTip::showText(globalPos, text, w, rect);
    else
        QToolTip::hideText();
}

bool FlexGrid::viewportEvent(QEvent* ev) {
    if (ev->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(ev);
    // A cell too narrow for its text shows it cut with "…": the whole text
    // comes as the tooltip.
    const auto* help = static_cast<QHelpEvent*>(ev);
    const QModelIndex index = indexAt(help->pos());
    const QRect rect = visualRect(index);
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    cutTextTip(viewport(), help->globalPos(), rect,
               index.isValid() ? model_->cell(index.row(), index.column()) : QString(),
               rect.width() - 2 * margin);
    return true;
}

bool FlexGrid::onResizeHandle(QPoint headerPos) const {
    const QHeaderView* h = horizontalHeader();
    const int x = headerPos.x();
    const int visual = h->visualIndexAt(x);
    if (visual < 0)
        return false;
    const int logical = h->logicalIndex(visual);
    const int start = h->sectionViewportPosition(logical);
    const int grip = h->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, h);
    if (x < start + grip)
        return visual > 0;
    return x > start + h->sectionSize(logical) - grip;
}

bool FlexGrid::eventFilter(QObject* obj, QEvent* ev) {
    const QEvent::Type t = ev->type();
    if (t == QEvent::ToolTip && obj == header_->viewport()) {
        const auto* help = static_cast<QHelpEvent*>(ev);
        const int section = header_->logicalIndexAt(help->pos());
        const QRect label = header_->labelRect(section);
        cutTextTip(header_->viewport(), help->globalPos(), label,
                   section >= 0 ? model_->names[size_t(section)] : QString(), label.width());
        return true;
    }
    if (t != QEvent::MouseButtonPress && t != QEvent::MouseButtonRelease &&
        t != QEvent::MouseButtonDblClick)
        return QTableView::eventFilter(obj, ev);

    auto* me = static_cast<QMouseEvent*>(ev);
    QWidget* w = static_cast<QWidget*>(obj);
    const QPoint p = me->position().toPoint();
    std::int32_t r = -1, c = -1;
    if (obj == horizontalHeader()->viewport()) {
        if (t != QEvent::MouseButtonRelease && me->button() == Qt::LeftButton && onResizeHandle(p))
            return false; // dragging a column border is no click on the header
        if (t == QEvent::MouseButtonRelease && !leftPressed_)
            return false;
        const int li = horizontalHeader()->logicalIndexAt(p.x());
        r = 0;
        c = li < 0 ? -1 : li + 1;
    } else if (obj == verticalHeader()->viewport()) {
        const int li = verticalHeader()->logicalIndexAt(p.y());
        r = li < 0 ? -1 : li + 1;
        c = 0;
    } else if (obj == corner_) {
        r = 0;
        c = 0;
    } else {
        return QTableView::eventFilter(obj, ev);
    }

    const int button = buttonFlags(me->button());
    if (t == QEvent::MouseButtonRelease) {
        releaseAt(button);
    } else if (t == QEvent::MouseButtonDblClick && me->button() == Qt::LeftButton) {
        mouseRow_ = r;
        mouseCol_ = c;
        doubleClick();
    } else {
        setFocus(Qt::MouseFocusReason);
        pressAt(r, c, button, w->mapTo(this, p), shiftFlags(me->modifiers()));
    }
    return true;
}

} // namespace melodeck
