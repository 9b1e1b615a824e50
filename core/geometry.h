#pragma once
// A display's size in pixels. Portable: each front end asks its own system.
#include <cstdint>

namespace lumivane {

struct Display {
    int32_t width = 0;
    int32_t height = 0;
};

} // namespace lumivane
