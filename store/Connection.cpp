#include "store/Connection.h"

#include <sqlite3.h>

#include <cstddef>

namespace melodeck {

Connection::~Connection() {
    // Statements a record set still holds are finalised by their owners; the
    // connection goes once the last of them has.
    sqlite3_close_v2(db_);
}

std::string Connection::keyOf(std::string_view table) {
    std::string k(table);
    for (char& c : k)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    return k;
}

const std::uint64_t* Connection::version(std::string_view table) {
    return &versions_[keyOf(table)];
}

void Connection::changed(std::string_view table) {
    versions_[keyOf(table)] = ++counter_;
}

void Connection::removeReader(Reader* r) {
    for (size_t i = 0; i < readers_.size(); ++i)
        if (readers_[i] == r) {
            readers_.erase(readers_.begin() + std::ptrdiff_t(i));
            return;
        }
}

void Connection::settleReaders() {
    while (!readers_.empty())
        readers_.back()->settle(); // removes itself
}

void Connection::changedAll() {
    for (auto& [name, v] : versions_)
        v = ++counter_;
}

} // namespace melodeck
