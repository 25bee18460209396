#include "common/clsMousePointer.h"

#include <utility>

namespace melodeck {

namespace MousePointer {

namespace {

struct State {
    std::int16_t pointer = Default;
    std::function<void(std::int16_t)> hook;
};

State& state() {
    static State s;
    return s;
}

} // namespace

std::int16_t get() {
    return state().pointer;
}

void set(std::int16_t pointer) {
    State& s = state();
    if (s.pointer == pointer)
        return;
    s.pointer = pointer;
    if (s.hook)
        s.hook(pointer);
}

void setDisplayHook(std::function<void(std::int16_t)> hook) {
    state().hook = std::move(hook);
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
