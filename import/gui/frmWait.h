#pragma once
// The small window that shows how much of the song list has been read.

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <cstdint>

namespace melodeck {

class frmWait : public QDialog {
public:
    // A window owned by `owner`: it stays above it and is centred on it.
    explicit frmWait(QWidget* owner);

    QLabel* Label2;
    QProgressBar* prgWait;

    // Maximum and value in bytes. A value past the maximum shows the bar
    // full; lengths beyond the bar's int range are scaled down. An unknown
    // maximum shows a busy bar. A maximum set again keeps the value.
    static constexpr std::int64_t kUnknown = -1;
    void setMax(std::int64_t max);
    void setValue(std::int64_t value);

protected:
    // Neither Esc nor the window manager ends the import's window.
    void reject() override {}
    // No caption text, not even the program's name.
    void showEvent(QShowEvent* ev) override;

private:
    std::int64_t max_ = 0; // or kUnknown
    int shift_ = 0;
    int step_ = 1;
};

} // namespace melodeck
