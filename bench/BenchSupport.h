#pragma once
// Helpers shared by the bench programs. Each program is run as
//   bench_xxx <data folder>
// where the folder holds songs.mdb (the song database) and songs.csv (the same
// songs as a code page 932 list), and prints rows of one table:
//   | what | result | time ms | peak MB | aim |

#include "common/ModCommon.h"
#include "common/Seams.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QApplication;
class QEvent;

namespace bench {

struct Measure {
    double ms = 0;       // time of the measured part
    long long count = 0; // what it produced (rows, matches ...)
    double peakMb = 0;   // peak resident memory of the process that ran it
    QString error;       // non-empty when it failed
};

// Runs body in a fresh child process, so that its peak memory is its own.
// body returns the count and fills ms itself (it times only what it means).
Measure inChild(const std::function<long long(double& ms)>& body);

// Runs inChild n times: the median time, the largest peak, the last count.
Measure repeated(int n, const std::function<long long(double& ms)>& body);

// Milliseconds of a steady clock, for timing inside a body.
double nowMs();

// Prints one table row; peakMb < 0 leaves the cell empty.
void row(const QString& what, const QString& result, double ms, double peakMb, const QString& aim);
void row(const QString& what, const Measure& m, const QString& unit, const QString& aim);

// The sqlite3 shell on the database file db running query: its own timer
// (query time only) and the number of output lines, or with isCount the
// number it prints. Repeated runs times, each from a child so that the
// shell's output never swells this process; peakMb is left empty.
Measure shell(const QString& db, const QString& query, bool isCount = false, int runs = 3);

// Notes a paint of the widget it watches.
class PaintSeen : public QObject {
public:
    bool seen = false;
    bool eventFilter(QObject*, QEvent* ev) override;
};

// An application on the offscreen platform, named name, for one measured run.
std::unique_ptr<QApplication> offscreenApp(const char* name);

// folder as a program folder; with copyDb, a copy of that database becomes
// its MeloDeck.mdb (throws when it cannot be copied).
melodeck::ModCommon::ProgramLocation useProgramFolder(const QString& folder,
                                                      const QString& copyDb = {});

// One value written into the settings file of a program folder.
void writeSetting(const melodeck::ModCommon::ProgramLocation& at, const QString& section,
                  const QString& key, const QString& value);

// While the result lives, the window's warnings are answered into warning
// (trimmed) and it has a 1920x1080 screen; the program's fonts are installed.
melodeck::ScopedSeams answerWindowSeams(QString& warning);

// The data folder given on the command line (exits with a usage line when absent).
QString dataFolder(int argc, char** argv);

// What a run is held to, by the size of its list: a million songs may take
// more memory and time than 300,000, in the same ratios to their peers.
struct Goals {
    // Start-up 1.60 of the shipped list's above 300,000 songs.
    double sortVsShell = 0.20, searchVsShell = 0.40, startupVs1k = 1.20, importVsBaseline = 1.00;
    double peakMb = 70;     // 120 above 300,000 songs
    double clickMs = 100;   // one click until repainted; 250 above 300,000 songs
    QString memory() const; // "≤ 70 MB"
};
// The goals for the songs of the data folder's songs.mdb.
Goals goals(const QString& folder);

// Notes one figure of the run for the summary that scripts/bench.sh prints
// last ("summary <key> <value>"): the largest value noted under a key counts.
void summary(const QString& folder, const char* key, double value);

} // namespace bench
