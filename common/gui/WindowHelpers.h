#pragma once
// Window-level helpers of the common routines: the windows' font,
// select-on-focus for a text field, option buttons as one group for the
// keyboard, a fixed-size window, a window centred on the screen, a window
// without caption text.

#include <QFont>
#include <vector>

class QAbstractButton;
class QLineEdit;
class QWidget;

namespace melodeck::ModCommon {

// The font of every window and its controls: "MS UI Gothic", 11.25 point.
QFont WindowFont();

// On entering a field: when nothing is selected, select the whole text,
// blanks included, so that typing replaces it; a selection already there
// stays as it is.
void SelectAllText(QLineEdit* field);

// The field keeps its selection while the focus is elsewhere, so that a part
// selected before leaving is still selected on coming back; a new text drops
// it. (Qt drops the selection when the focus leaves.) Install it after the
// filter that handles the field's focus: the filter installed last runs first.
void KeepSelectionWhileAway(QLineEdit* field);

// Option buttons the keyboard treats as one group: Tab and Shift+Tab enter
// the group at the selected button only, and the arrow keys move within the
// group, round its ends, selecting the button they move to.
void MakeOptionGroup(const std::vector<QAbstractButton*>& buttons);

// sizable False: the window keeps its size, loses its maximise button and its
// close button. sizable True: resizable again with the standard buttons.
void SetSizable(QWidget* window, bool sizable);

// Centres the window on the primary screen (the screen-size seam), by its
// outer size once the window manager has put a frame round it; a window
// that is minimised or maximised stays; an edge that would fall off the
// screen's top or left is put at 0.
void CenterForm(QWidget* window);

// The outer size of a window: with its frame once the frame is known,
// before that (not shown yet, or no window manager) its own size.
QSize OuterSize(const QWidget* window);

// No caption text on the window's title bar. Qt puts the program's name in
// an empty title; on X11 the window's name is emptied after Qt has set it.
// Call once the native window exists (from the window's show event).
void ShowNoCaption(QWidget* window);

} // namespace melodeck::ModCommon
