#pragma once
// Field positions by role, alike in the song table and the pickup table;
// grid column i shows field i.

#include <cstdint>

namespace melodeck {

enum SongField : std::int32_t {
    FixedColumn = 0,
    KeyColumn = 1,
    SingerColumn = 2,
    TitleColumn = 3,
    LyricStartColumn = 4,
    HarmonyColumn = 5,
};

} // namespace melodeck
