#include "store/JetLike.h"

#include "common/Cp932.h"

#include <QChar>
#include <QString>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace melodeck::jetlike {

struct Pattern::Token {
    enum Kind : std::uint8_t { Lit, Any, Digit, Set, NotSet };
    Kind kind;
    char32_t c;        // Lit: the folded character
    std::uint32_t set; // Set, NotSet: index into Impl::sets
};

namespace {

using Token = Pattern::Token;

// ---------------------------------------------------------------- folding

constexpr char32_t kHalfKana[0x3F] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, // ｡｢｣､･ｦｧｨ
    0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, // ｩｪｫｬｭｮｯｰ
    0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, // ｱｲｳｴｵｶｷｸ
    0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, // ｹｺｻｼｽｾｿﾀ
    0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, // ﾁﾂﾃﾄﾅﾆﾇﾈ
    0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, // ﾉﾊﾋﾌﾍﾎﾏﾐ
    0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9, 0x30EA, // ﾑﾒﾓﾔﾕﾖﾗﾘ
    0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,         // ﾙﾚﾛﾜﾝﾞﾟ
};

struct AsciiFold {
    char32_t t[128];
    constexpr AsciiFold() : t{} {
        for (int i = 0; i < 128; ++i)
            t[i] = (i >= 'A' && i <= 'Z') ? char32_t(i + 32) : char32_t(i);
    }
};
constexpr AsciiFold kAscii;

// One code point to the one it compares equal to (without voiced-mark pairs).
inline char32_t foldOne(char32_t c) {
    if (c < 0x80)
        return kAscii.t[c];
    if (c < 0x3000) {
        if (c == 0x2212) // minus sign
            return U'-';
        return QChar::toCaseFolded(c);
    }
    if (c < 0x3100) {
        if (c == 0x3000)
            return U' ';
        if (c == 0x301C) // wave dash
            return U'~';
        if ((c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E)
            return c + 0x60; // hiragana to katakana
        return c;
    }
    if (c < 0xFF01)
        return c;
    if (c <= 0xFF5E)
        return kAscii.t[c - 0xFEE0];
    if (c >= 0xFF61 && c <= 0xFF9F)
        return kHalfKana[c - 0xFF61];
    return c;
}

inline bool isHalfKana(char32_t c) {
    return c >= 0xFF61 && c <= 0xFF9F;
}
inline bool isKana(char32_t c) {
    return (c >= 0x3041 && c <= 0x30FF) || isHalfKana(c);
}

// Folded katakana k with a voiced (dakuten) mark, or 0 when it takes none.
inline char32_t voiced(char32_t k) {
    if ((k >= 0x30AB && k <= 0x30C2 && (k & 1)) || k == 0x30C4 || k == 0x30C6 || k == 0x30C8)
        return k + 1;
    if (k == 0x30CF || k == 0x30D2 || k == 0x30D5 || k == 0x30D8 || k == 0x30DB)
        return k + 1;
    if (k == 0x30A6)
        return 0x30F4;
    if (k >= 0x30EF && k <= 0x30F2)
        return k + 8;
    if (k == 0x30FD)
        return 0x30FE;
    return 0;
}
// Folded katakana k with a semi-voiced (handakuten) mark, or 0.
inline char32_t semiVoiced(char32_t k) {
    if (k == 0x30CF || k == 0x30D2 || k == 0x30D5 || k == 0x30D8 || k == 0x30DB)
        return k + 2;
    return 0;
}

// A kana followed by a voiced mark reads as one character: a half-width kana
// with a half-width mark (ｶﾞ), any kana with a combining mark (decomposed
// text). Returns 0 when the pair does not combine.
inline char32_t compose(char32_t raw, char32_t folded, char32_t mark) {
    if ((mark == 0xFF9E && isHalfKana(raw)) || (mark == 0x3099 && isKana(raw)))
        return voiced(folded);
    if ((mark == 0xFF9F && isHalfKana(raw)) || (mark == 0x309A && isKana(raw)))
        return semiVoiced(folded);
    return 0;
}

inline bool cont(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Decodes one UTF-8 sequence; an invalid byte reads as U+FFFD and is skipped.
inline char32_t decodeUtf8(const unsigned char*& p, const unsigned char* e) {
    const unsigned c = *p;
    if (c < 0x80) {
        ++p;
        return c;
    }
    const std::ptrdiff_t left = e - p;
    if (c >= 0xC2 && c <= 0xDF && left >= 2 && cont(p[1])) {
        const char32_t r = ((c & 0x1F) << 6) | (p[1] & 0x3F);
        p += 2;
        return r;
    }
    if (c >= 0xE0 && c <= 0xEF && left >= 3 && cont(p[1]) && cont(p[2])) {
        const char32_t r = ((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        if (r >= 0x800 && (r < 0xD800 || r > 0xDFFF)) {
            p += 3;
            return r;
        }
    } else if (c >= 0xF0 && c <= 0xF4 && left >= 4 && cont(p[1]) && cont(p[2]) && cont(p[3])) {
        const char32_t r =
            ((c & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        if (r >= 0x10000 && r <= 0x10FFFF) {
            p += 4;
            return r;
        }
    }
    ++p;
    return 0xFFFD;
}

// Folds UTF-8 text, handing each folded character to take in turn; there
// are never more of them than bytes.
template <class Take> void foldEach(std::string_view utf8, Take&& take) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const unsigned char* const e = p + utf8.size();
    while (p < e) {
        if (*p < 0x80) {
            take(kAscii.t[*p++]);
            continue;
        }
        const char32_t raw = decodeUtf8(p, e);
        char32_t f = foldOne(raw);
        // Both marks start with EF or E3 in UTF-8: look ahead only then.
        if (p < e && (*p == 0xEF || *p == 0xE3) && isKana(raw)) {
            const unsigned char* q = p;
            const char32_t mark = decodeUtf8(q, e);
            if (const char32_t v = compose(raw, f, mark)) {
                f = v;
                p = q;
            }
        }
        take(f);
    }
}

// Folds the code point at raw[i] (with a following mark when they combine)
// and advances i past what it read.
char32_t foldAt(const std::u32string& raw, size_t& i) {
    const char32_t c = raw[i++];
    char32_t f = foldOne(c);
    if (i < raw.size() && isKana(c)) {
        if (const char32_t v = compose(c, f, raw[i])) {
            f = v;
            ++i;
        }
    }
    return f;
}

std::u32string decodeAll(std::string_view utf8) {
    std::u32string r;
    r.reserve(utf8.size());
    auto p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto e = p + utf8.size();
    while (p < e)
        r.push_back(decodeUtf8(p, e));
    return r;
}

// Every code point x that a text may hold where a folded character c is
// matched: those that fold to c, and for a voiced c the bases that combine
// with a mark into it. A superset is harmless; it feeds a prefilter.
struct Inverse {
    std::vector<std::pair<char32_t, char32_t>> pairs; // (folded or composed, raw), sorted
    Inverse() {
        for (char32_t x = 0; x < 0x10000; ++x) {
            if (x >= 0xD800 && x <= 0xDFFF)
                continue;
            const char32_t f = foldOne(x);
            if (f != x)
                pairs.emplace_back(f, x);
            if (isKana(x)) {
                if (const char32_t v = voiced(f))
                    pairs.emplace_back(v, x);
                if (const char32_t v = semiVoiced(f))
                    pairs.emplace_back(v, x);
            }
        }
        std::sort(pairs.begin(), pairs.end());
    }
};

std::vector<char32_t> variantsOf(char32_t c) {
    static const Inverse inv;
    std::vector<char32_t> v;
    if (c >= 0x10000 || foldOne(c) == c)
        v.push_back(c);
    auto it = std::lower_bound(inv.pairs.begin(), inv.pairs.end(), std::make_pair(c, char32_t(0)));
    for (; it != inv.pairs.end() && it->first == c; ++it)
        if (std::find(v.begin(), v.end(), it->second) == v.end())
            v.push_back(it->second);
    return v;
}

// Whether the bytes of needle occur in s: memchr on the last byte, then a
// look back. UTF-8 is self-synchronising, so a byte match is a character match.
bool containsBytes(const unsigned char* s, size_t n, const std::string& needle) {
    const size_t k = needle.size();
    if (k == 0 || k > n)
        return k == 0;
    const auto last = static_cast<unsigned char>(needle.back());
    const unsigned char* p = s + k - 1;
    const unsigned char* const e = s + n;
    while (p < e) {
        p = static_cast<const unsigned char*>(std::memchr(p, last, size_t(e - p)));
        if (!p)
            return false;
        if (std::memcmp(p - (k - 1), needle.data(), k - 1) == 0)
            return true;
        ++p;
    }
    return false;
}

} // namespace

void appendSortKey(std::string_view utf8, std::string& out) {
    foldEach(utf8, [&out](char32_t c) {
        if (c < 0x80) {
            out += char(c);
            return;
        }
        unsigned char b[2];
        const int k = cp932::encodeChar(c, b);
        if (k > 0) {
            out.append(reinterpret_cast<const char*>(b), size_t(k));
        } else {
            // Past every lead byte of the code page, then the code point.
            const char tail[4] = {char(0xFF), char(c >> 16), char((c >> 8) & 0xFF), char(c & 0xFF)};
            out.append(tail, 4);
        }
    });
}

// ---------------------------------------------------------------- pattern

namespace {

// A bracket list starting at raw[i] == '[': its members folded, as ranges
// (empty for "[]" and "[!]"), and where the pattern goes on after its "]".
struct BracketList {
    bool negate = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    size_t end = 0;
};

// Nothing when the list is not closed or holds a descending range.
std::optional<BracketList> readBracketList(const std::u32string& raw, size_t i) {
    const size_t n = raw.size();
    BracketList list;
    size_t j = i + 1;
    if (j < n && raw[j] == U'!') {
        list.negate = true;
        ++j;
    }
    if (j < n && raw[j] == U']') {
        list.end = j + 1;
        return list;
    }
    for (;;) {
        if (j >= n)
            return std::nullopt; // unterminated
        if (raw[j] == U']')
            break;
        const char32_t lo = foldAt(raw, j);
        if (j + 1 < n && raw[j] == U'-' && raw[j + 1] != U']') {
            ++j;
            const char32_t hi = foldAt(raw, j);
            if (hi < lo)
                return std::nullopt; // descending range
            list.ranges.emplace_back(lo, hi);
        } else {
            list.ranges.emplace_back(lo, lo);
        }
    }
    list.end = j + 1;
    return list;
}

} // namespace

struct Pattern::Impl {
    // The pattern is S0 * S1 * ... * Sk: runs of one-character tokens between
    // stars. Every token consumes exactly one character, so the leftmost match
    // of each middle run is always the best choice, and matching is a chain of
    // left-to-right searches: no backtracking.
    struct Seg {
        std::vector<Token> toks;
        std::u32string lit; // the characters, when every token is literal
        bool allLit = true;
        size_t len() const { return toks.size(); }
    };
    std::vector<Seg> segs;
    std::vector<std::vector<std::pair<char32_t, char32_t>>> sets;
    bool hasStar = false;
    size_t minLen = 0;
    char32_t escape = 0;
    // A literal that the text must contain, as the UTF-8 of each form that
    // folds to it: a text holding none of them is refused without folding.
    // Empty when the pattern has no literal with few enough forms.
    std::vector<std::string> required;

    mutable std::unique_ptr<char32_t[]> buf;
    mutable size_t cap = 0;

    bool tokenMatches(const Token& t, char32_t c) const {
        switch (t.kind) {
        case Token::Lit:
            return c == t.c;
        case Token::Any:
            return true;
        case Token::Digit:
            return c >= U'0' && c <= U'9';
        case Token::Set:
        case Token::NotSet: {
            bool in = false;
            for (const auto& [lo, hi] : sets[t.set])
                if (c >= lo && c <= hi) {
                    in = true;
                    break;
                }
            return in != (t.kind == Token::NotSet);
        }
        }
        return false;
    }

    bool at(const Seg& s, const char32_t* t, size_t i) const {
        if (s.allLit)
            return std::memcmp(t + i, s.lit.data(), s.lit.size() * sizeof(char32_t)) == 0;
        for (size_t k = 0; k < s.toks.size(); ++k)
            if (!tokenMatches(s.toks[k], t[i + k]))
                return false;
        return true;
    }

    // Leftmost i in [from, end - len] where s matches, or npos.
    size_t find(const Seg& s, const char32_t* t, size_t from, size_t end) const {
        if (s.allLit)
            return std::u32string_view(t, end).find(s.lit, from);
        for (size_t i = from; i + s.len() <= end; ++i)
            if (at(s, t, i))
                return i;
        return std::u32string_view::npos;
    }

    bool matchFolded(const char32_t* t, size_t n) const {
        if (!hasStar)
            return n == segs[0].len() && at(segs[0], t, 0);
        if (n < minLen)
            return false;
        const Seg& pre = segs.front();
        const Seg& suf = segs.back();
        const size_t end = n - suf.len();
        if (!at(pre, t, 0) || !at(suf, t, end))
            return false;
        size_t pos = pre.len();
        for (size_t k = 1; k + 1 < segs.size(); ++k) {
            const Seg& mid = segs[k];
            if (mid.len() == 0)
                continue;
            const size_t i = find(mid, t, pos, end);
            if (i == std::u32string_view::npos)
                return false;
            pos = i + mid.len();
        }
        return true;
    }

    // Each literal token consumes one text character that folds to it; the
    // one with the fewest raw forms (a kanji has one) becomes the prefilter.
    void pickRequired() {
        constexpr size_t kMaxForms = 4;
        std::vector<char32_t> best;
        for (const auto& s : segs)
            for (const Token& t : s.toks) {
                if (t.kind != Token::Lit)
                    continue;
                std::vector<char32_t> v = variantsOf(t.c);
                if (v.size() <= kMaxForms && (best.empty() || v.size() < best.size() ||
                                              (v.size() == best.size() && t.c > best.front())))
                    best = std::move(v);
            }
        for (char32_t c : best)
            required.push_back(QString::fromUcs4(&c, 1).toStdString());
    }

    // Adds the element of the pattern that starts at raw[i]: a literal (an
    // escaped one included), a wildcard, a star or a bracket list. Returns
    // where the next element starts; nothing when this one is malformed.
    std::optional<size_t> readElement(const std::u32string& raw, size_t i) {
        const char32_t c = raw[i];
        if (escape && c == escape) {
            if (++i >= raw.size())
                return std::nullopt;
            add({Token::Lit, foldAt(raw, i), 0});
            return i;
        }
        switch (c) {
        case U'*':
            hasStar = true;
            segs.emplace_back();
            return i + 1;
        case U'?':
            add({Token::Any, 0, 0});
            return i + 1;
        case U'#':
            add({Token::Digit, 0, 0});
            return i + 1;
        case U'[':
            return readList(raw, i);
        default:
            add({Token::Lit, foldAt(raw, i), 0});
            return i;
        }
    }

    std::optional<size_t> readList(const std::u32string& raw, size_t i) {
        const std::optional<BracketList> list = readBracketList(raw, i);
        if (!list)
            return std::nullopt;
        if (!list->ranges.empty()) {
            sets.push_back(list->ranges);
            add({list->negate ? Token::NotSet : Token::Set, 0, std::uint32_t(sets.size() - 1)});
        } else if (list->negate) {
            // "[!]" is any one character (none is in the empty list); "[]"
            // matches the empty string: no token.
            add({Token::Any, 0, 0});
        }
        return list->end;
    }

    // Appends t to the run after the last star.
    void add(Token t) {
        Seg& s = segs.back();
        if (t.kind != Token::Lit)
            s.allLit = false;
        else
            s.lit.push_back(t.c);
        s.toks.push_back(t);
    }
};

Pattern::Pattern() : d(std::make_unique<Impl>()) {}
Pattern::~Pattern() = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;

char32_t Pattern::escape() const {
    return d->escape;
}

std::optional<Pattern> Pattern::compile(std::string_view utf8Pattern) {
    return compile(utf8Pattern, 0);
}

std::optional<Pattern> Pattern::compile(std::string_view utf8Pattern, char32_t escape) {
    Pattern p;
    Impl& m = *p.d;
    m.escape = escape;
    // The syntax is read on the raw characters (a full-width "［" is no
    // bracket); only literals and list members are folded.
    const std::u32string raw = decodeAll(utf8Pattern);
    m.segs.emplace_back();
    for (size_t i = 0; i < raw.size();) {
        const std::optional<size_t> next = m.readElement(raw, i);
        if (!next)
            return std::nullopt;
        i = *next;
    }
    for (const auto& s : m.segs)
        m.minLen += s.len();

    m.pickRequired();
    return p;
}

bool Pattern::matches(std::string_view utf8Text) const {
    Impl& m = *d;
    const size_t n = utf8Text.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8Text.data());
    if (!m.required.empty()) {
        bool any = false;
        for (const std::string& r : m.required)
            if (containsBytes(bytes, n, r)) {
                any = true;
                break;
            }
        if (!any)
            return false;
    }
    if (m.cap < n || !m.buf) {
        m.cap = std::max<size_t>(n, 64) * 2;
        m.buf = std::make_unique<char32_t[]>(m.cap);
    }
    char32_t* folded = m.buf.get();
    foldEach(utf8Text, [&folded](char32_t c) { *folded++ = c; });
    return m.matchFolded(m.buf.get(), size_t(folded - m.buf.get()));
}

QString malformedDescription() {
    return QStringLiteral("パターン文字列が不正です。");
}

// ---------------------------------------------------------------- SQLite

namespace {

void deletePattern(void* p) {
    delete static_cast<Pattern*>(p);
}

void likeFunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int k = 0; k < argc; ++k)
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    char32_t esc = 0;
    if (argc == 3) {
        const auto* e = sqlite3_value_text(argv[2]);
        const int eb = sqlite3_value_bytes(argv[2]);
        const std::u32string ec =
            decodeAll(std::string_view(reinterpret_cast<const char*>(e), size_t(eb)));
        if (ec.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE には 1 文字を指定してください。", -1);
            return;
        }
        esc = ec[0];
    }
    auto* pat = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
    std::unique_ptr<Pattern> fresh;
    if (!pat || pat->escape() != esc) {
        const auto* pt = sqlite3_value_text(argv[0]);
        const int pb = sqlite3_value_bytes(argv[0]);
        if (!pt) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
        auto compiled =
            Pattern::compile(std::string_view(reinterpret_cast<const char*>(pt), size_t(pb)), esc);
        if (!compiled) {
            static const QByteArray msg = malformedDescription().toUtf8();
            sqlite3_result_error(ctx, msg.constData(), int(msg.size()));
            return;
        }
        fresh = std::make_unique<Pattern>(std::move(*compiled));
        pat = fresh.get();
    }
    const auto* xt = sqlite3_value_text(argv[1]);
    const int xb = sqlite3_value_bytes(argv[1]);
    if (!xt) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    sqlite3_result_int(
        ctx, pat->matches(std::string_view(reinterpret_cast<const char*>(xt), size_t(xb))));
    // Handed over last: SQLite may free it at once when it keeps no aux data.
    if (fresh)
        sqlite3_set_auxdata(ctx, 0, fresh.release(), deletePattern);
}

} // namespace

int registerLike(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = SQLITE_OK;
    for (int args : {2, 3})
        if (rc == SQLITE_OK)
            rc = sqlite3_create_function_v2(db, "like", args, flags, nullptr, likeFunc, nullptr,
                                            nullptr, nullptr);
    return rc;
}

} // namespace melodeck::jetlike
