#pragma once
// Table and field names and keywords compare as the engine compares them:
// ASCII letters in either case, every other byte exactly as it stands.

#include <string>
#include <string_view>

namespace melodeck::names {

inline char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// The form under which a name is kept, so that names the engine takes for
// the same one share it.
inline std::string key(std::string_view name) {
    std::string k(name);
    for (char& c : k)
        c = foldAscii(c);
    return k;
}

inline bool same(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    return true;
}

} // namespace melodeck::names
