#pragma once
// Places and rectangles, of the desktop (the primary monitor's top-left corner is
// (0, 0); others may lie left of or above it) or of a frame (its top-left pixel is
// (0, 0)), and a display's size. Each front end asks its own system for them.
#include <cstdint>

namespace lumivane {

struct Place {
    int32_t left = 0;
    int32_t top = 0;
    friend bool operator==(const Place&, const Place&) = default;
};

// Left and top inside, right and bottom just outside.
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Display {
    int32_t width = 0;
    int32_t height = 0;
};

} // namespace lumivane
