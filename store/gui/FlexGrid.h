#pragma once
// A grid bound to a data control: row 0 a fixed header of field names,
// column 0 a fixed column, grid column i showing field i and grid row r
// record r. A Qt item view over the data control's record set, with fixed row
// heights and no item per cell, so a list of several hundred thousand songs
// scrolls as smoothly as a short one.
//
// The horizontal header is grid row 0, the vertical header (which shows no
// text) is grid column 0. Widths are in twips, 15 to a pixel.

#include "store/DataControl.h"

#include <QTableView>
#include <cstdint>
#include <functional>
#include <vector>

class QAbstractButton;

namespace melodeck {

class FlexGridModel;
class FlexGridHeader;

class FlexGrid : public QTableView {
    Q_OBJECT
public:
    static constexpr std::int32_t DefaultColWidth = 1500;  // twips, a data column
    static constexpr std::int32_t DefaultFixedWidth = 240; // twips, column 0
    // The widest column the headers can hold without their lengths
    // overflowing; wider settings are cut to it.
    static constexpr std::int32_t MaxColWidth = 100000; // twips

    explicit FlexGrid(QWidget* parent = nullptr);
    ~FlexGrid() override;

    void bind(const DataControl* dc);

    // Reloads every row from the data control. The current cell and the
    // selection are kept inside the new bounds; widths are kept.
    void Refresh();

    std::int32_t Rows() const;
    std::int32_t Cols() const;
    std::int32_t Col() const { return col_; }
    std::int32_t Row() const { return row_; }
    std::int32_t ColSel() const { return colSel_; }
    std::int32_t RowSel() const { return rowSel_; }
    // Moving the current cell collapses the selection to it. Fixed cells
    // (row 0, column 0) may be current. VbError (subscript) out of bounds.
    void setCol(std::int32_t c);
    void setRow(std::int32_t r);
    QString Text() const { return TextMatrix(row_, col_); }
    // Row 0 gives the field names, column 0 is empty. VbError (subscript)
    // out of bounds; VbError (Database) for a row that cannot be read.
    // Reads lazily (see Recordset::CellText).
    QString TextMatrix(std::int32_t row, std::int32_t col) const;
    std::int32_t ColWidth(std::int32_t col) const;          // twips
    void setColWidth(std::int32_t col, std::int32_t twips); // twips; < 0: default
    // Cell under the pointer at the last press: 0 on the header row and on
    // the fixed column, -1 past the last row or column.
    std::int32_t MouseRow() const { return mouseRow_; }
    std::int32_t MouseCol() const { return mouseCol_; }

    // The sort shown in the header: ▲ (ascending) or ▼ (descending) painted
    // in the header cell of column col; none for a col outside the data
    // columns. The header's text stays the field name.
    void setSortMark(std::int32_t col, bool descending);

    // Grid cell under a point of the data area (viewport coordinates);
    // -1 where there is no cell.
    void cellAt(QPoint p, std::int32_t& row, std::int32_t& col) const;

    // Events, as the window handles them. button: 1 left, 2 right, 4 middle;
    // shift: 1 Shift, 2 Ctrl, 4 Alt. onMouseDown comes on every press, after
    // MouseRow/MouseCol and (for the left button) the selection are
    // updated; a left press on a header selects the whole column, on the
    // fixed column the whole row, on a data cell that cell, past the last
    // row or column nothing; onClick after a left-button release that ends a
    // press on a cell; onDblClick on a double click on a cell (no second
    // press).
    std::function<void()> onClick;
    std::function<void()> onDblClick;
    std::function<void(int button, int shift, QPoint pos)> onMouseDown;
    // A key pressed on the grid (a Qt::Key), before the grid moves its
    // current cell or, on Ctrl+A, selects every cell as a press on the
    // corner does; true when the window acted on it. The context-menu key
    // comes as Qt::Key_Menu also where the window system delivers it as a
    // context-menu request.
    std::function<bool(int key, int shift)> onKeyDown;
    // A row of the record set could not be read (a damaged file, a disk
    // error): the rows from it on are gone from the grid, and this tells
    // why, once per Refresh, unless TextMatrix has already raised it.
    std::function<void(const QString& description)> onReadError;

    // Where the centre of a cell is drawn, in grid widget coordinates
    // (headers included): where the keyboard opens a cell's menu.
    QPoint cellCenter(std::int32_t row, std::int32_t col) const;

protected:
    bool eventFilter(QObject* obj, QEvent* ev) override;
    void changeEvent(QEvent* ev) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* ev) override;
    void mouseReleaseEvent(QMouseEvent* ev) override;
    void mouseDoubleClickEvent(QMouseEvent* ev) override;
    void mouseMoveEvent(QMouseEvent* ev) override;
    void keyPressEvent(QKeyEvent* ev) override;
    void contextMenuEvent(QContextMenuEvent* ev) override;
    bool viewportEvent(QEvent* ev) override;

private:
    void pressAt(std::int32_t row, std::int32_t col, int button, QPoint pos, int shift);
    void releaseAt(int button);
    void doubleClick();
    void selectAllCells(); // the data cells; applySelection shows them
    void applySelection();
    void readFailed();
    void applyWidths();
    void fitRowHeight();
    bool onResizeHandle(QPoint headerPos) const;
    static int buttonFlags(Qt::MouseButtons b);
    static int shiftFlags(Qt::KeyboardModifiers m);
    // Shows text as the tooltip of a cell drawn in rect of widget w when the
    // cell cuts it short (room: the width the text has there); hides it
    // otherwise.
    static void cutTextTip(QWidget* w, QPoint globalPos, const QRect& rect, const QString& text,
                           int room);

    FlexGridModel* model_ = nullptr;
    FlexGridHeader* header_ = nullptr;
    QAbstractButton* corner_ = nullptr;
    std::int32_t col_ = 0, row_ = 0, colSel_ = 0, rowSel_ = 0;
    std::int32_t mouseRow_ = 0, mouseCol_ = 0;
    // Width of each grid column as last set or dragged, in twips: the twips
    // given are reported back exactly as long as the pixel width is unchanged.
    std::vector<std::int32_t> widthTwips_;
    bool leftPressed_ = false;            // a left press on the grid awaits its release
    bool afterDouble_ = false;            // the release that ends a double click is no click
    bool applying_ = false;               // our own selection changes, not the user's
    mutable bool readErrorShown_ = false; // the read error of this Refresh was told
    // Which of the menu key's press and a keyboard context-menu request came
    // first, so that the other one is passed over.
    enum class MenuRequest { None, ByKey, ByContextEvent };
    MenuRequest menuRequest_ = MenuRequest::None;
};

} // namespace melodeck
