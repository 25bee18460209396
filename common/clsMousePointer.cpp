#include "common/clsMousePointer.h"

#include "common/Seams.h"

namespace melodeck {

namespace MousePointer {

namespace {

// The one application-wide pointer the objects below save and restore.
std::int16_t current = Default;

} // namespace

std::int16_t get() {
    return current;
}

void set(std::int16_t pointer) {
    if (current == pointer)
        return;
    current = pointer;
    if (const auto& show = seams().showPointer)
        show(pointer);
}

} // namespace MousePointer

clsMousePointer::clsMousePointer() : intSavedPointer(MousePointer::get()) {}

clsMousePointer::~clsMousePointer() {
    MousePointer::set(intSavedPointer);
}

std::int16_t clsMousePointer::SetCursor(std::int16_t intMousePointer) {
    const std::int16_t previous = intLastPointer;
    intLastPointer = intMousePointer;
    MousePointer::set(intMousePointer);
    return previous;
}

std::int16_t clsMousePointer::Busy() {
    return SetCursor(MousePointer::Hourglass);
}

} // namespace melodeck
