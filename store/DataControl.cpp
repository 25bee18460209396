#include "store/DataControl.h"

namespace melodeck {

namespace {
const melodeck::Recordset& emptyRecordset() {
    static const melodeck::Recordset empty;
    return empty;
}
} // namespace

melodeck::Database& DataControl::Database() {
    if (!db_ || db_->Name() != DatabaseName)
        db_ = std::make_shared<melodeck::Database>(DatabaseName); // raises; db_ stays as it was
    return *db_;
}

void DataControl::Refresh() {
    melodeck::Database& db = Database();
    if (RecordSource.isEmpty()) {
        rs_->reset();
        return;
    }
    // The previous record set stays until the new one is complete, so a
    // rejected query leaves the grid with what it showed.
    *rs_ = db.OpenRecordset(RecordSource, rs_->get());
}

const melodeck::Recordset& DataControl::Recordset() const {
    return *rs_ ? **rs_ : emptyRecordset();
}

void DataControl::shareDatabase(std::shared_ptr<melodeck::Database> db) {
    db_ = std::move(db);
}

} // namespace melodeck
