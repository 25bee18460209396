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
    DataControl() = default;
    DataControl(const DataControl&) = delete;
    DataControl& operator=(const DataControl&) = delete;

    QString DatabaseName;
    QString RecordSource; // read back unchanged

    // Opens the database when needed (or when DatabaseName changed) and runs
    // RecordSource. On failure raises VbError and keeps the previous record set.
    void Refresh();

    // The open database; opens it when needed.
    melodeck::Database& Database();
    // The record set of the last successful Refresh (an empty one before, and
    // after a Refresh with an empty RecordSource).
    const melodeck::Recordset& Recordset() const;
    // The same record set, for a view that must keep showing it until its own
    // Refresh even though this control has refreshed meanwhile (null before).
    std::shared_ptr<const melodeck::Recordset> sharedRecordset() const { return *rs_; }
    // What a bound grid holds on to: the place of that record set, which
    // reads as gone once this control is.
    using Watch = std::weak_ptr<const std::shared_ptr<const melodeck::Recordset>>;
    Watch watch() const { return rs_; }

    // Shares one open database between data controls of the same file. It
    // stays in use while DatabaseName names the same path (Database::Name).
    void shareDatabase(std::shared_ptr<melodeck::Database> db);
    std::shared_ptr<melodeck::Database> sharedDatabase() const { return db_; }

private:
    std::shared_ptr<melodeck::Database> db_;
    std::shared_ptr<std::shared_ptr<const melodeck::Recordset>> rs_ =
        std::make_shared<std::shared_ptr<const melodeck::Recordset>>();
};

} // namespace melodeck
