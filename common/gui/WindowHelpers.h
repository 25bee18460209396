#pragma once
// Window-level helpers of the common routines: the windows' font,
// select-on-focus for a text field, a fixed-size window, a window centred on
// the screen.

#include <QFont>

class QLineEdit;
class QWidget;

namespace melodeck::ModCommon {

// The font of every window and its controls: "MS UI Gothic", 11.25 point.
QFont WindowFont();

// On entering a field: when nothing is selected, select from the start as
// many characters as the trimmed text has bytes in code page 932 (clipped to
// the text). Never fails; the field is left as it was on any error.
void SelectAllText(QLineEdit* field);

// sizable False: the window keeps its size, loses its maximise button and its
// close button. sizable True: resizable again with the standard buttons.
void SetSizable(QWidget* window, bool sizable);

// Centres the window on the primary screen (the screen-size seam); a window
// that is minimised or maximised stays; an edge that would fall off the
// screen's top or left is put at 0.
void CenterForm(QWidget* window);

} // namespace melodeck::ModCommon
