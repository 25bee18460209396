#include "window_fixture.h"

#include "app/gui/ModMeloDeck.h"
#include "common/ModCommon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QThread>
#include <QWindow>
#include <gtest/gtest.h>

namespace melodeck::test {

WindowFixture::WindowFixture() {
    answers().warning = [this](const QString&, const QString& text) {
        warnings << ModCommon::TrimNull(text);
    };
    answers().screenSize = [this] { return screen; };
    answers().processEvents = [] { QCoreApplication::processEvents(); };
    ModMeloDeck::InstallFonts();
}

WindowFixture::~WindowFixture() {
    stop();
}

void WindowFixture::ini(const QString& section, const QString& key, const QString& value) {
    profile::File file = ModCommon::OpenIni(location);
    ModCommon::WriteIni(file, section, key, value);
    ASSERT_TRUE(file.Save());
}

bool waitFor(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

bool showAndWait(QWidget* w) {
    w->show();
    return waitFor([w] { return w->windowHandle() && w->windowHandle()->isExposed(); });
}

void mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent ev(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &ev);
}

void click(QWidget* w, QPoint pos, Qt::MouseButton button) {
    mouse(w, QEvent::MouseButtonPress, pos, button);
    mouse(w, QEvent::MouseButtonRelease, pos, button);
}

void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers modifiers) {
    QKeyEvent press(QEvent::KeyPress, k, modifiers);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, modifiers);
    QApplication::sendEvent(w, &release);
}

CellSpot cellSpot(FlexGrid* grid, int row, int col) {
    // Row 0 is the horizontal header, column 0 the vertical one.
    const QHeaderView* top = grid->horizontalHeader();
    const QHeaderView* side = grid->verticalHeader();
    const int x = col >= 1 ? top->sectionViewportPosition(col - 1) + top->sectionSize(col - 1) / 2
                           : side->width() / 2;
    const int y = row >= 1 ? side->sectionViewportPosition(row - 1) + side->sectionSize(row - 1) / 2
                           : top->height() / 2;
    if (row == 0 && col == 0)
        return {grid->findChild<QAbstractButton*>(), {side->width() / 2, top->height() / 2}};
    if (row == 0)
        return {top->viewport(), {x, y}};
    if (col == 0)
        return {side->viewport(), {x, y}};
    return {grid->viewport(), {x, y}};
}

void mouseOnCell(FlexGrid* grid, int row, int col, QEvent::Type type, Qt::MouseButton button) {
    const CellSpot at = cellSpot(grid, row, col);
    ASSERT_TRUE(at.widget) << "nothing draws cell " << row << "," << col;
    mouse(at.widget, type, at.pos, button);
}

void pressCell(FlexGrid* grid, int row, int col, Qt::MouseButton button) {
    mouseOnCell(grid, row, col, QEvent::MouseButtonPress, button);
}

void clickCell(FlexGrid* grid, int row, int col, Qt::MouseButton button) {
    mouseOnCell(grid, row, col, QEvent::MouseButtonPress, button);
    mouseOnCell(grid, row, col, QEvent::MouseButtonRelease, button);
}

void dblClickCell(FlexGrid* grid, int row, int col) {
    clickCell(grid, row, col);
    mouseOnCell(grid, row, col, QEvent::MouseButtonDblClick);
    mouseOnCell(grid, row, col, QEvent::MouseButtonRelease);
}

} // namespace melodeck::test
