#include "store/SqlReader.h"

#include "store/Names.h"

#include <algorithm>
#include <optional>

namespace melodeck::sql {

namespace {

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(unsigned char c) {
    return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
// A character that may stand in a bare name: the engine takes every byte of
// a multi-byte character as one.
bool isNameChar(unsigned char c) {
    return c >= 0x80 || c == '_' || c == '$' || isDigit(c) ||
           ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

// The end of a quoted token that starts at i with quote q (a doubled quote
// stands for one; a bracket has no such escape); npos when it is not closed.
size_t quotedEnd(std::string_view s, size_t i, char close) {
    for (size_t k = i + 1; k < s.size(); ++k) {
        if (s[k] != close)
            continue;
        if (close != ']' && k + 1 < s.size() && s[k + 1] == close) {
            ++k;
            continue;
        }
        return k + 1;
    }
    return npos;
}

size_t numberEnd(std::string_view s, size_t i) {
    const size_t n = s.size();
    auto at = [&](size_t k) { return k < n ? static_cast<unsigned char>(s[k]) : 0u; };
    if (at(i) == '0' && (at(i + 1) | 0x20) == 'x' && isHexDigit(at(i + 2))) {
        i += 2;
        while (isHexDigit(at(i)))
            ++i;
    } else {
        while (isDigit(at(i)))
            ++i;
        if (at(i) == '.') {
            ++i;
            while (isDigit(at(i)))
                ++i;
        }
        if ((at(i) | 0x20) == 'e' &&
            (isDigit(at(i + 1)) ||
             ((at(i + 1) == '+' || at(i + 1) == '-') && isDigit(at(i + 2))))) {
            i += 2;
            while (isDigit(at(i)))
                ++i;
        }
    }
    // A name character right after a number makes the whole an illegal token.
    while (i < n && isNameChar(at(i)))
        ++i;
    return i;
}

// The end of the operator or punctuation at s[i]; npos when none starts there.
size_t operatorEnd(std::string_view s, size_t i) {
    auto at = [&](size_t k) { return k < s.size() ? s[k] : '\0'; };
    const char next = at(i + 1);
    switch (at(i)) {
    case '(':
    case ')':
    case ';':
    case '+':
    case '*':
    case '%':
    case ',':
    case '&':
    case '~':
    case '-':
    case '/':
        return i + 1;
    case '=':
        return i + (next == '=' ? 2 : 1);
    case '<':
        return i + (next == '=' || next == '>' || next == '<' ? 2 : 1);
    case '>':
        return i + (next == '=' || next == '>' ? 2 : 1);
    case '!':
        return next == '=' ? i + 2 : npos;
    case '|':
        return i + (next == '|' ? 2 : 1);
    default:
        return npos;
    }
}

// A token its first character marks (a comment, a quoted text or name, a
// parameter, a dot) at s[i]; none when the character marks none there.
std::optional<Token> markedToken(std::string_view s, size_t i) {
    const size_t n = s.size();
    auto at = [&](size_t k) { return k < n ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned char c = at(i);
    auto token = [&](Token::Kind kind, size_t end) { return Token{kind, i, end}; };
    switch (c) {
    case '-':
        if (at(i + 1) != '-')
            return std::nullopt;
        return token(Token::Comment, std::min(s.find('\n', i + 2), n));
    case '/':
        if (at(i + 1) != '*')
            return std::nullopt;
        if (const size_t close = s.find("*/", i + 2); close != npos)
            return token(Token::Comment, close + 2);
        return token(Token::Comment, n);
    case '\'':
    case '"':
    case '`':
    case '[': {
        const size_t end = quotedEnd(s, i, c == '[' ? ']' : char(c));
        if (end == npos)
            return token(Token::Illegal, n);
        return token(c == '\'' ? Token::String : Token::Name, end);
    }
    case '.':
        return isDigit(at(i + 1)) ? token(Token::Number, numberEnd(s, i))
                                  : token(Token::Punct, i + 1);
    case '?': {
        size_t k = i + 1;
        while (isDigit(at(k)))
            ++k;
        return token(Token::Variable, k);
    }
    case '$':
    case '@':
    case ':':
    case '#': {
        size_t k = i + 1;
        while (k < n && isNameChar(at(k)))
            ++k;
        return token(k > i + 1 ? Token::Variable : Token::Illegal, k);
    }
    default:
        return std::nullopt;
    }
}

// One token at s[i] (not a blank): its kind and end.
Token nextToken(std::string_view s, size_t i) {
    if (const std::optional<Token> marked = markedToken(s, i))
        return *marked;
    const size_t n = s.size();
    auto at = [&](size_t k) { return k < n ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned char c = at(i);
    auto token = [&](Token::Kind kind, size_t end) { return Token{kind, i, end}; };
    if (const size_t end = operatorEnd(s, i); end != npos)
        return token(Token::Punct, end);
    if (isDigit(c))
        return token(Token::Number, numberEnd(s, i));
    if ((c | 0x20) == 'x' && at(i + 1) == '\'') {
        const size_t end = quotedEnd(s, i + 1, '\'');
        return token(end == npos ? Token::Illegal : Token::Blob, end == npos ? n : end);
    }
    if (isNameChar(c)) {
        size_t k = i + 1;
        while (k < n && isNameChar(at(k)))
            ++k;
        return token(Token::Word, k);
    }
    return token(Token::Illegal, i + 1);
}

} // namespace

std::vector<Token> Tokenize(std::string_view text) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < text.size()) {
        if (isBlank(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        out.push_back(nextToken(text, i));
        i = out.back().end;
    }
    return out;
}

namespace {

// Whether tokens from to to (a WHERE part) only narrow the rows: no
// grouping, no compound, no limit at their top level, no second statement.
bool onlyConditions(std::string_view text, const std::vector<Token>& t, size_t from, size_t to) {
    int depth = 0;
    for (size_t k = from; k < to; ++k) {
        const std::string_view w = t[k].in(text);
        if (t[k].kind == Token::Punct && (w == "(" || w == ")"))
            depth += w == "(" ? 1 : -1;
        else if (depth == 0 && t[k].kind == Token::Word)
            for (std::string_view kw :
                 {"UNION", "INTERSECT", "EXCEPT", "GROUP", "HAVING", "LIMIT", "WINDOW", "OFFSET"})
                if (names::same(w, kw))
                    return false;
        if (depth < 0 || (t[k].kind == Token::Punct && w == ";"))
            return false;
    }
    return true;
}

// The grid query's parts, from the tokens t (comments left out).
void readGridQuery(std::string_view text, const std::vector<Token>& t, Statement& st) {
    auto word = [&](size_t k, std::string_view kw) {
        return k < t.size() && t[k].kind == Token::Word && names::same(t[k].in(text), kw);
    };
    auto punct = [&](size_t k, std::string_view p) {
        return k < t.size() && t[k].kind == Token::Punct && t[k].in(text) == p;
    };
    if (!word(0, "SELECT") || !punct(1, "*") || !word(2, "FROM") || t.size() < 4 ||
        t[3].kind != Token::Word)
        return;
    // A text the engine cannot even take apart is no query of any form.
    for (const Token& k : t)
        if (k.kind == Token::Illegal)
            return;
    // Semicolons at the end belong to no part.
    size_t n = t.size();
    while (n > 4 && punct(n - 1, ";"))
        --n;
    // Up to the order clause (or the end), only a WHERE part: no join.
    size_t order = n;
    for (size_t k = 4; k < n; ++k)
        if (t[k].begin == st.orderAt)
            order = k;
    if (order > 4 && !word(4, "WHERE"))
        return;
    if (!onlyConditions(text, t, 4, order))
        return;
    size_t k = order;
    if (order < n) {
        // ORDER BY field [ASC | DESC]
        if (!word(k + 1, "BY") || k + 2 >= n || t[k + 2].kind != Token::Word)
            return;
        st.orderField = std::string(t[k + 2].in(text));
        k += 3;
        if (word(k, "DESC")) {
            st.descending = true;
            ++k;
        } else if (word(k, "ASC")) {
            ++k;
        }
    }
    if (k != n)
        return;
    st.gridQuery = true;
    st.table = std::string(t[3].in(text));
    const size_t whereEnd = order < n ? st.orderAt : t[n - 1].end;
    st.where = std::string(text.substr(t[3].end, whereEnd - t[3].end));
    if (order > 4)
        st.conditions = std::string(text.substr(t[4].end, whereEnd - t[4].end));
}

} // namespace

Statement Read(std::string_view text) {
    Statement st;
    std::vector<Token> all = Tokenize(text);
    std::vector<Token> t;
    t.reserve(all.size());
    for (const Token& k : all) {
        if (k.kind == Token::Comment)
            st.comment = true;
        else
            t.push_back(k);
    }
    if (!t.empty() && t[0].kind == Token::Word) {
        for (char c : t[0].in(text))
            st.verb += c >= 'a' && c <= 'z' ? char(c - 32) : c;
        st.verbEnd = t[0].end;
        st.namesConflictRule = (st.verb == "INSERT" || st.verb == "UPDATE") && t.size() > 1 &&
                               t[1].kind == Token::Word && names::same(t[1].in(text), "OR");
    }
    // The last ORDER BY outside brackets and literals.
    int depth = 0;
    for (size_t k = 0; k < t.size(); ++k) {
        const std::string_view w = t[k].in(text);
        if (t[k].kind == Token::Punct && (w == "(" || w == ")"))
            depth += w == "(" ? 1 : -1;
        else if (depth == 0 && t[k].kind == Token::Word && names::same(w, "ORDER") &&
                 k + 1 < t.size() && t[k + 1].kind == Token::Word &&
                 names::same(t[k + 1].in(text), "BY"))
            st.orderAt = t[k].begin;
    }
    readGridQuery(text, t, st);
    return st;
}

} // namespace melodeck::sql
