#pragma once
// The narrow seams through which the program meets modal or system things.
// The window program installs real implementations; tests install their own
// answers so that nothing blocks.

#include <QPoint>
#include <QSize>
#include <QString>
#include <functional>

class QMenu;

namespace melodeck {

struct OpenFileRequest {
    QString fileName;   // initial file name
    QString defaultExt; // "csv"
    QString filter;     // "csv file(*.csv)|*.csv"
    QString initDir;
};

struct Seams {
    // Modal warning box: title, text (already padded).
    std::function<void(const QString& title, const QString& text)> warning;
    // Open-file dialog: the chosen full path, or "" when cancelled.
    std::function<QString(const OpenFileRequest&)> openFile;
    // Pop-up menu opened at a global position; returns after it closes.
    std::function<void(QMenu* menu, QPoint globalPos)> popupMenu;
    // Clipboard: clear, then store plain text. Returns false when it failed.
    std::function<bool(const QString& text)> setClipboardText;
    // Screen size in pixels (the primary screen).
    std::function<QSize()> screenSize;
    // Process pending window messages once.
    std::function<void()> processEvents;
};

// The seams in force. Defaults do nothing harmful (a warning goes to stderr)
// until the window program installs real ones.
Seams& seams();

} // namespace melodeck
