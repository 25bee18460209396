#pragma once
// Busy cursor for the life of one handler. The application-wide pointer is a
// number (0 default, 11 hourglass); the pointer seam shows it (an override
// cursor in the window program, nothing in tests that do not answer it).

#include <cstdint>

namespace melodeck {

namespace MousePointer {
constexpr std::int16_t Default = 0;
constexpr std::int16_t Hourglass = 11;

std::int16_t get();
// Shows a new value through seams().showPointer.
void set(std::int16_t pointer);
} // namespace MousePointer

class clsMousePointer {
public:
    clsMousePointer();
    ~clsMousePointer();
    clsMousePointer(const clsMousePointer&) = delete;
    clsMousePointer& operator=(const clsMousePointer&) = delete;

    std::int16_t SetCursor(std::int16_t intMousePointer);
    std::int16_t Busy();

private:
    std::int16_t intSavedPointer;
    std::int16_t intLastPointer = 0;
};

} // namespace melodeck
