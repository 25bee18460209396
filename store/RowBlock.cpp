#include "store/RowBlock.h"

#include "common/Value.h"
#include "common/VbError.h"

#include <QByteArray>
#include <algorithm>
#include <charconv>
#include <climits>
#include <sqlite3.h>

namespace melodeck {

void RowBlock::appendCell(CellTag tag, std::string_view bytes) {
    static_assert(TagBlob < (1u << kTagBits), "every tag fits the bits a cell word keeps for it");
    if (pool_.size() + bytes.size() > UINT32_MAX)
        throw VbError(VbError::Database, QStringLiteral("メモリが不足しています。"));
    pool_.insert(pool_.end(), bytes.begin(), bytes.end());
    const size_t end = pool_.size() - rowStarts_.back();
    if (end <= kMaxShortEnd) {
        cells_.push_back(std::uint16_t(end << kTagBits | tag));
    } else {
        longEnds_.push_back({cells_.size(), std::uint32_t(pool_.size())});
        cells_.push_back(std::uint16_t(kLongEnd << kTagBits | tag));
    }
}

void RowBlock::appendRow(sqlite3_stmt* st) {
    char num[32];
    for (size_t i = 0; i < fields_; ++i) {
        const int c = int(i);
        switch (sqlite3_column_type(st, c)) {
        case SQLITE_NULL:
            appendCell(TagNull, {});
            break;
        case SQLITE_INTEGER: {
            const auto r = std::to_chars(num, num + sizeof num, sqlite3_column_int64(st, c));
            appendCell(TagInteger, std::string_view(num, size_t(r.ptr - num)));
            break;
        }
        case SQLITE_FLOAT: {
            const QByteArray t = NumberText(sqlite3_column_double(st, c)).toUtf8();
            appendCell(TagReal, std::string_view(t.constData(), size_t(t.size())));
            break;
        }
        case SQLITE_TEXT: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
            appendCell(TagText, std::string_view(p ? p : "", size_t(sqlite3_column_bytes(st, c))));
            break;
        }
        default: {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st, c));
            appendCell(TagBlob, std::string_view(p ? p : "", size_t(sqlite3_column_bytes(st, c))));
            break;
        }
        }
    }
    rowStarts_.push_back(std::uint32_t(pool_.size()));
}

size_t RowBlock::longEnd(size_t k) const {
    const auto it = std::lower_bound(longEnds_.begin(), longEnds_.end(), k,
                                     [](const LongEnd& e, size_t cell) { return e.cell < cell; });
    return it->end;
}

void RowBlock::shrinkToFit() {
    pool_.shrink_to_fit();
    rowStarts_.shrink_to_fit();
    cells_.shrink_to_fit();
    longEnds_.shrink_to_fit();
}

std::string_view RowBlock::bytes(std::int64_t r, int i) const {
    const size_t row = size_t(r);
    const size_t k = row * fields_ + size_t(i);
    const size_t begin = i == 0 ? rowStarts_[row] : cellEnd(row, k - 1);
    return {pool_.data() + begin, cellEnd(row, k) - begin};
}

} // namespace melodeck
