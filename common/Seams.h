#pragma once
// The narrow seams through which the program meets modal or system things.
// The window program puts real implementations in force for its run; tests
// put their own answers in force so that nothing blocks. Either way a scope
// does it, and the set in force before comes back when the scope ends.

#include <QPoint>
#include <QSize>
#include <QString>
#include <cstdint>
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
    // Show the application-wide mouse pointer (see common/clsMousePointer.h)
    // after it changed.
    std::function<void(std::int16_t pointer)> showPointer;
};

// The seams in force: those of the innermost ScopedSeams alive, otherwise
// defaults that do nothing harmful (a warning goes to the error output).
const Seams& seams();

// Puts a set of seams in force for its own lifetime; the set in force before
// is back when it ends. Scopes nest and end in reverse order, as objects on
// the stack do.
class ScopedSeams {
public:
    explicit ScopedSeams(Seams installed);
    ~ScopedSeams();
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;

    // The set this scope keeps in force; its answers may be changed meanwhile.
    Seams& get() { return seams_; }

private:
    Seams seams_;
    const Seams* previous_;
};

} // namespace melodeck
