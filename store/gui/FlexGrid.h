#pragma once
// A grid bound to a data control: row 0 a fixed header of field names,
// column 0 a fixed column, grid column i showing field i and grid row r
// record r. A Qt item view over the data control's record set, with fixed row
// heights and no item per cell.

#include "store/DataControl.h"

#include <QTableView>
#include <cstdint>
#include <functional>

namespace melodeck {

class FlexGridModel;

class FlexGrid : public QTableView {
    Q_OBJECT
public:
    explicit FlexGrid(QWidget* parent = nullptr);
    ~FlexGrid() override;

    void bind(DataControl* dc);

    // Reloads every row from the data control.
    void Refresh();

    std::int32_t Rows() const;
    std::int32_t Cols() const;
    std::int32_t Col() const { return col_; }
    std::int32_t Row() const { return row_; }
    std::int32_t ColSel() const { return colSel_; }
    std::int32_t RowSel() const { return rowSel_; }
    void setCol(std::int32_t c);
    void setRow(std::int32_t r);
    QString Text() const { return TextMatrix(row_, col_); }
    QString TextMatrix(std::int32_t row, std::int32_t col) const;
    std::int32_t ColWidth(std::int32_t col) const;          // twips
    void setColWidth(std::int32_t col, std::int32_t twips); // twips
    std::int32_t MouseRow() const { return mouseRow_; }
    std::int32_t MouseCol() const { return mouseCol_; }

    // Grid cell under a point of the grid widget's own coordinates.
    void cellAt(QPoint p, std::int32_t& row, std::int32_t& col) const;

    // Events, as the window handles them. button: 1 left, 2 right.
    std::function<void()> onClick;
    std::function<void()> onDblClick;
    std::function<void(int button, int shift, QPoint pos)> onMouseDown;

    // Test hooks: act as a press (and release) on a cell would.
    void simulatePress(std::int32_t row, std::int32_t col, int button);
    void simulateClick(std::int32_t row, std::int32_t col, int button = 1);
    void simulateDblClick(std::int32_t row, std::int32_t col);

protected:
    bool eventFilter(QObject* obj, QEvent* ev) override;
    void keyPressEvent(QKeyEvent* ev) override;

private:
    void pressAt(std::int32_t row, std::int32_t col, int button, QPoint pos, int shift);
    void applySelection();

    FlexGridModel* model_ = nullptr;
    DataControl* dc_ = nullptr;
    std::int32_t col_ = 1, row_ = 1, colSel_ = 1, rowSel_ = 1;
    std::int32_t mouseRow_ = 0, mouseCol_ = 0;
};

} // namespace melodeck
