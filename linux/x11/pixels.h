#pragma once
// Pixels between X images and the clock's 24-bit bottom-up buffers.
#include <X11/Xlib.h>

#include <cstdint>

#include "core/geometry.h"
#include "core/image/tdib.h"

namespace lumivane::x11 {

// Copies `area` of `image` into `target` at (targetX, targetY). With `over`, the
// image's pixels are premultiplied ARGB (a 32-bit visual) laid over what the target
// holds. The caller keeps both areas inside their pictures.
void CopyToBuffer(const XImage& image, Rect area, TDIB& target, int32_t targetX, int32_t targetY,
                  bool over);

// `part` of `frame` into `image`, which has the frame's size.
void CopyFromBuffer(TDIB& frame, XImage& image, Rect part);

} // namespace lumivane::x11
