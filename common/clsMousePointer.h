#pragma once
// Busy cursor for the life of one handler. The application-wide pointer is a
// number (0 default, 11 hourglass); a hook shows it (an override cursor in the
// window program, nothing in tests that do not install one).

#include <cstdint>
#include <functional>

namespace melodeck {

namespace MousePointer {
constexpr std::int16_t Default = 0;
constexpr std::int16_t Hourglass = 11;

std::int16_t get();
void set(std::int16_t pointer);
// Called with the new value whenever it changes.
void setDisplayHook(std::function<void(std::int16_t)> hook);
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
