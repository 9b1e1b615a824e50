#pragma once
// The primary display's size, as both windows ask for it.
#include <windows.h>

#include "platform/display.h"

namespace lumivane {

inline Display PrimaryDisplay() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

} // namespace lumivane
