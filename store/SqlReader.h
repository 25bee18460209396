#pragma once
// The statements the program speaks, read as the engine's tokenizer reads
// them (quotes, brackets, comments): the one reader of their structure for
// the data layer and for the column sort. The text itself always goes to
// the engine as it was given.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace melodeck::sql {

struct Token {
    enum Kind {
        Word,     // a bare name or keyword
        Name,     // a quoted name: "x", [x] or `x`
        String,   // 'x'
        Number,   // 12, 1.5, 0x1F
        Blob,     // x'00'
        Variable, // ?, ?1, :a, @a, $a
        Punct,    // ( ) , ; = <> || ... one operator
        Comment,  // -- to the end of the line, /* to */ or to the end
        Illegal,  // an unterminated quote, a stray character
    };
    Kind kind;
    size_t begin, end; // bytes of the text

    std::string_view in(std::string_view text) const { return text.substr(begin, end - begin); }
};

// The tokens of text, blanks left out.
std::vector<Token> Tokenize(std::string_view text);

constexpr size_t npos = std::string_view::npos;

struct Statement {
    // The first word, upper-cased ("SELECT", "INSERT", ...; empty for none)
    // and the byte just past it.
    std::string verb;
    size_t verbEnd = 0;
    // INSERT or UPDATE followed by OR (a conflict rule of its own).
    bool namesConflictRule = false;
    // A comment outside literals and quoted names.
    bool comment = false;

    // Where the last order clause at the statement's top level starts (the
    // byte of ORDER), npos when there is none.
    size_t orderAt = npos;

    // "SELECT * FROM table [WHERE ...] [ORDER BY field [ASC | DESC]] [;]"
    // with a bare table name and field name: the form of every grid query.
    bool gridQuery = false;
    std::string table;
    std::string where;      // the text between the table name and the order clause
    std::string conditions; // what follows WHERE in it (empty without one)
    std::string orderField;
    bool descending = false;
};

Statement Read(std::string_view text);

} // namespace melodeck::sql
