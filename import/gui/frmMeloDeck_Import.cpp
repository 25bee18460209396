// Song-list import and list source.
// PLACEHOLDER: replaced by the import work.
#include "app/gui/frmMeloDeck.h"

namespace melodeck {
void frmMeloDeck::cmd取込_Click() {}
void frmMeloDeck::cmd参照_Click() {}
bool frmMeloDeck::DownloadList(const QString&) {
    return true;
}
void frmMeloDeck::LockControls(bool) {}
QString frmMeloDeck::SqlLiteral(const Value&) {
    return {};
}
} // namespace melodeck
