#pragma once
// Jet LIKE patterns (*, ?, #, [list], [!list]) matched on text folded the way
// the Japanese database sort order compares: case, width, kana type and a few
// look-alikes ignored. Worst case time proportional to text times pattern.

#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace melodeck::jetlike {

// Appends the sort key of a UTF-8 text to out: the text folded as for LIKE,
// written in the code page 932 bytes of the folded characters, so that
// comparing keys byte by byte orders texts as the Japanese database sorts
// them (kana in 50-sound order, first-level kanji by reading). A character
// the code page lacks follows every one it has, by its code point.
void appendSortKey(std::string_view utf8, std::string& out);

class Pattern {
public:
    // std::nullopt for a malformed pattern (unterminated "[", descending range).
    static std::optional<Pattern> compile(std::string_view utf8Pattern);
    // With an escape character (LIKE ... ESCAPE 'e'): the character after it
    // is literal. 0 for none.
    static std::optional<Pattern> compile(std::string_view utf8Pattern, char32_t escape);

    // Not safe to call on one Pattern from two threads at once: the folded
    // text goes into a buffer the pattern keeps, so no row allocates.
    bool matches(std::string_view utf8Text) const;

    char32_t escape() const;

    struct Token; // opaque to users
    ~Pattern();
    Pattern(Pattern&&) noexcept;
    Pattern& operator=(Pattern&&) noexcept;

private:
    Pattern();
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Description of a malformed pattern.
QString malformedDescription();

// Registers like(P, X) and like(P, X, E) on the connection; the engine's
// result code.
int registerLike(sqlite3* db);

} // namespace melodeck::jetlike
