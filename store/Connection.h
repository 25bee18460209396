#pragma once
// One open SQLite connection, shared by the database object that opened it
// and by the record sets that read their rows through it later on, with a
// version per table that moves whenever a statement of this connection may
// have changed that table.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace melodeck {

class Connection {
public:
    explicit Connection(sqlite3* db) : db_(db) {}
    ~Connection(); // closes the connection
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return db_; }

    // The live version of a table (names compared without regard to ASCII
    // letter case). The pointer stays valid while the connection lives.
    const std::uint64_t* version(std::string_view table);
    void changed(std::string_view table);
    // Every table this connection changed may have changed again (a rollback).
    void changedAll();

    // A record set that has not read all of its row keys yet. Before this
    // connection writes anything, each reads the rest (settle), so that its
    // keys stay those of the moment its query ran.
    class Reader {
    public:
        virtual void settle() = 0;

    protected:
        ~Reader() = default;
    };
    void addReader(Reader* r) { readers_.push_back(r); }
    void removeReader(Reader* r);
    void settleReaders();

private:
    static std::string keyOf(std::string_view table);
    sqlite3* db_;
    std::map<std::string, std::uint64_t> versions_;
    std::uint64_t counter_ = 0;
    std::vector<Reader*> readers_;
};

} // namespace melodeck
