#pragma once
// A program folder in a temporary directory, a settings file written by the
// test, and the main window started on them with the seams answered by the
// test.

#include "program_fixture.h"

#include <QEvent>
#include <QSize>
#include <QStringList>
#include <functional>

namespace melodeck::test {

class WindowFixture : public ProgramFixture {
public:
    WindowFixture();
    ~WindowFixture();

    // One key of the settings file in the program folder.
    void ini(const QString& section, const QString& key, const QString& value);

    QStringList warnings; // as shown, trailing padding removed
    QSize screen{1280, 1024};
};

// Runs the event loop until pred holds or ms have passed; pred's last value.
bool waitFor(const std::function<bool()>& pred, int ms = 5000);
// Shows a widget and waits until it is exposed.
bool showAndWait(QWidget* w);
// A mouse event at pos of w, sent as the window system would deliver it.
void mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
// Press and release at pos of w.
void click(QWidget* w, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
// A key pressed and released on w.
void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// The widget that draws a grid cell (the data area, a header or the corner)
// and the cell's centre in that widget's coordinates.
struct CellSpot {
    QWidget* widget;
    QPoint pos;
};
CellSpot cellSpot(FlexGrid* grid, int row, int col);
// A real mouse event (press, release or double click) at the centre of a
// grid cell, sent to the widget that draws it.
void mouseOnCell(FlexGrid* grid, int row, int col, QEvent::Type type,
                 Qt::MouseButton button = Qt::LeftButton);
// A press alone.
void pressCell(FlexGrid* grid, int row, int col, Qt::MouseButton button = Qt::LeftButton);
// Press and release.
void clickCell(FlexGrid* grid, int row, int col, Qt::MouseButton button = Qt::LeftButton);
// Press, release, double click, release: what a double click delivers.
void dblClickCell(FlexGrid* grid, int row, int col);

} // namespace melodeck::test
