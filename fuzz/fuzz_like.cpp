// Jet LIKE patterns of any shape against any text: compiling and matching
// never crash and never take more than text x pattern steps (libFuzzer's
// time-out catches a backtracking blow-up), and on ASCII the answer is that of
// a plain table-filling matcher written from the pattern rules.
//
// Input: byte 0 chooses the escape character (0 = none), byte 1 the pattern's
// length; then the pattern and the text, both taken as UTF-8.
#include "store/JetLike.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using melodeck::jetlike::Pattern;

namespace {

[[noreturn]] void fault(const char* what, std::string_view pattern, std::string_view text) {
    std::fprintf(stderr, "fuzz_like: %s\npattern <%.*s>\ntext <%.*s>\n", what, int(pattern.size()),
                 pattern.data(), int(text.size()), text.data());
    std::abort();
}

bool ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

// One pattern element: a run of any characters, or one character out of a set.
struct Elem {
    bool star = false;
    bool negate = false;
    std::vector<std::pair<char, char>> ranges; // empty and negated: any character
};

// The rules: * any run, ? any one, # one digit, [list] one of the list, [!list]
// one not in it, "[]" nothing at all; a-z ranges; an unclosed "[" or a
// descending range is malformed; the escape character makes the next one
// literal and may not end the pattern. Letters compare without case.
std::optional<std::vector<Elem>> parse(std::string_view p, char esc) {
    std::vector<Elem> out;
    auto literal = [&](char c) {
        Elem e;
        e.ranges.emplace_back(fold(c), fold(c));
        out.push_back(e);
    };
    for (size_t i = 0; i < p.size();) {
        const char c = p[i];
        if (esc && c == esc) {
            if (i + 1 >= p.size())
                return std::nullopt;
            literal(p[i + 1]);
            i += 2;
            continue;
        }
        if (c == '*') {
            Elem e;
            e.star = true;
            out.push_back(e);
            ++i;
        } else if (c == '?') {
            Elem e;
            e.negate = true;
            out.push_back(e);
            ++i;
        } else if (c == '#') {
            Elem e;
            e.ranges.emplace_back('0', '9');
            out.push_back(e);
            ++i;
        } else if (c == '[') {
            size_t j = i + 1;
            Elem e;
            if (j < p.size() && p[j] == '!') {
                e.negate = true;
                ++j;
            }
            if (j < p.size() && p[j] == ']') {
                if (e.negate)
                    out.push_back(e); // any one character
                i = j + 1;
                continue;
            }
            for (;;) {
                if (j >= p.size())
                    return std::nullopt;
                if (p[j] == ']')
                    break;
                const char lo = fold(p[j++]);
                if (j + 1 < p.size() && p[j] == '-' && p[j + 1] != ']') {
                    const char hi = fold(p[j + 1]);
                    if (hi < lo)
                        return std::nullopt;
                    e.ranges.emplace_back(lo, hi);
                    j += 2;
                } else {
                    e.ranges.emplace_back(lo, lo);
                }
            }
            out.push_back(e);
            i = j + 1;
        } else {
            literal(c);
            ++i;
        }
    }
    return out;
}

bool one(const Elem& e, char c) {
    bool in = false;
    for (auto [lo, hi] : e.ranges)
        if (c >= lo && c <= hi)
            in = true;
    return in != e.negate;
}

// at[i][k]: text from i matches elements from k.
bool reference(const std::vector<Elem>& p, std::string_view text) {
    std::string t;
    for (char c : text)
        t += fold(c);
    const size_t n = t.size(), m = p.size();
    std::vector<char> next(n + 1, 0), cur(n + 1, 0);
    next[n] = 1; // no elements left: only the empty rest matches
    for (size_t k = m; k-- > 0;) {
        for (size_t i = n + 1; i-- > 0;) {
            if (p[k].star)
                cur[i] = next[i] || (i < n && cur[i + 1]);
            else
                cur[i] = i < n && one(p[k], t[i]) && next[i + 1];
        }
        std::swap(cur, next);
    }
    return next[0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const char32_t esc = data[0] < 0x80 ? data[0] : 0;
    const size_t plen = std::min<size_t>(data[1], size - 2);
    const std::string_view pattern(reinterpret_cast<const char*>(data + 2), plen);
    const std::string_view text(reinterpret_cast<const char*>(data + 2 + plen), size - 2 - plen);

    const std::optional<Pattern> compiled = Pattern::compile(pattern, esc);
    bool result = false;
    if (compiled) {
        result = compiled->matches(text);
        if (compiled->matches(text) != result)
            fault("a second match on the same pattern answers otherwise", pattern, text);
    }
    if (!ascii(pattern) || !ascii(text))
        return 0;
    const auto elems = parse(pattern, char(esc));
    if (elems.has_value() != compiled.has_value())
        fault(elems ? "pattern refused" : "malformed pattern accepted", pattern, text);
    if (elems && reference(*elems, text) != result)
        fault(result ? "matches, but the rules say no" : "no match, but the rules say yes", pattern,
              text);
    return 0;
}
