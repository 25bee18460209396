#pragma once
// The data control: a database path, a record source text and the record set
// of its last Refresh. A grid bound to it shows that record set.

#include "store/Database.h"
#include "store/Recordset.h"

#include <QString>
#include <memory>

namespace melodeck {

class DataControl {
public:
    QString DatabaseName;
    QString RecordSource; // read back unchanged

    // Opens the database when needed (or when DatabaseName changed) and runs
    // RecordSource. On failure raises VbError and keeps the previous record set.
    void Refresh();

    // The open database; opens it when needed.
    melodeck::Database& Database();
    // The record set of the last successful Refresh (an empty one before).
    const melodeck::Recordset& Recordset() const;

    // Shares one open database between data controls of the same file.
    void shareDatabase(std::shared_ptr<melodeck::Database> db);
    std::shared_ptr<melodeck::Database> sharedDatabase() const { return db_; }

private:
    std::shared_ptr<melodeck::Database> db_;
    std::shared_ptr<const melodeck::Recordset> rs_;
};

} // namespace melodeck
