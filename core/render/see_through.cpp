#include "core/render/see_through.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace lumivane {

namespace {

using Rgb = std::array<uint8_t, 3>; // red, green, blue

// A pixel of a 24-bit buffer row (stored blue, green, red).
Rgb ReadRgb(const uint8_t* row, int32_t x) {
    const uint8_t* p = row + 3 * static_cast<ptrdiff_t>(x);
    return {p[2], p[1], p[0]};
}

uint32_t Argb(uint32_t alpha, const Rgb& colour) {
    return alpha << 24 | static_cast<uint32_t>(colour[0]) << 16 |
           static_cast<uint32_t>(colour[1]) << 8 | colour[2];
}

// Whether black of `alpha` over `beneath` shows `target` on every channel.
bool DarkensTo(uint32_t alpha, const Rgb& beneath, const Rgb& target) {
    for (size_t c = 0; c < 3; ++c) {
        if (Blend(0, static_cast<uint8_t>(alpha), beneath[c]) != target[c]) {
            return false;
        }
    }
    return true;
}

// Whether `target` is the dome of `beneath` at `factor`: the rule in double, which can
// only differ from it at a rounding's exact half, where a lit pixel's colour is as right.
bool IsDome(double factor, const Rgb& beneath, const Rgb& target) {
    for (size_t c = 0; c < 3; ++c) {
        if (std::min(std::lrint(beneath[c] * factor), 255L) != target[c]) {
            return false;
        }
    }
    return true;
}

// A dome pixel: black whose alpha is the nearest to 1 - k that gives the frame's colour
// over the estimate, so that the compositor's rounding meets the dome rule's.
uint32_t DomePixel(double factor, const Rgb& beneath, const Rgb& target) {
    const auto nearest = static_cast<int32_t>(std::lround(255.0 * (1.0 - factor)));
    for (const int32_t alpha : {nearest, nearest - 1, nearest + 1}) {
        if (alpha >= 0 && alpha <= 255 &&
            DarkensTo(static_cast<uint32_t>(alpha), beneath, target)) {
            return static_cast<uint32_t>(alpha) << 24;
        }
    }
    return static_cast<uint32_t>(std::clamp(nearest, 0, 255)) << 24;
}

// The least alpha, in 255ths, with which some premultiplied colour shows `target` over
// `beneath`: darker than beneath needs (1 - a) beneath <= target, lighter needs
// target - beneath <= a (255 - beneath).
uint32_t LeastAlpha(const Rgb& beneath, const Rgb& target) {
    uint32_t least = 0;
    for (size_t c = 0; c < 3; ++c) {
        const uint32_t b = beneath[c];
        const uint32_t t = target[c];
        uint32_t need = 0;
        if (t < b) {
            need = (255 * (b - t) + b - 1) / b;
        } else if (t > b) {
            need = b == 255 ? 255 : (255 * (t - b) + (254 - b)) / (255 - b);
        }
        least = std::max(least, need);
    }
    return least;
}

// The most a lit pixel covers: never quite opaque, so that even a bead that never moves
// lets the desktop through (a change of a level beneath it still shows).
constexpr uint32_t kMostAlpha = 254;

// A lit pixel (bead or hand): the most translucent colour that shows `target` over the
// estimate; where only an opaque one would, the nearest that kMostAlpha gives.
uint32_t LitPixel(const Rgb& beneath, const Rgb& target) {
    const uint32_t least = std::min(LeastAlpha(beneath, target), kMostAlpha);
    for (uint32_t alpha = least;; ++alpha) {
        Rgb colour{};
        bool fits = true;
        for (size_t c = 0; c < 3; ++c) {
            const int32_t rest = target[c] - Blend(0, static_cast<uint8_t>(alpha), beneath[c]);
            fits = fits && rest >= 0 && rest <= static_cast<int32_t>(alpha);
            colour[c] = static_cast<uint8_t>(std::clamp(rest, 0, static_cast<int32_t>(alpha)));
        }
        if (fits || alpha == kMostAlpha) {
            return Argb(alpha, colour);
        }
    }
}

// The desktop value a channel had, given what the screen showed there.
uint8_t Recover(uint8_t shown, uint8_t colour, uint8_t alpha, int32_t last) {
    // The last estimate stays while the compositor would have shown the same with it.
    if (last >= 0 && Blend(colour, alpha, static_cast<uint8_t>(last)) == shown) {
        return static_cast<uint8_t>(last);
    }
    const int32_t over = std::max(shown - colour, 0);
    const int32_t through = 255 - alpha;
    return static_cast<uint8_t>(std::min((over * 255 + through / 2) / through, 255));
}

} // namespace

void ArgbImage::Resize(int32_t newWidth, int32_t newHeight) {
    width = std::max(newWidth, 0);
    height = std::max(newHeight, 0);
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
}

void ComposeSeeThrough(ClockState& state, std::span<const Rect> parts, ArgbImage& out) {
    TDIB& frame = *state.FrameBuffer;
    TDIB& background = *state.BackgroundBuffer;
    const int32_t side = frame.Width();
    const Rect whole{0, 0, side, frame.Height()};
    if (out.width != whole.right || out.height != whole.bottom) {
        out.Resize(whole.right, whole.bottom);
        parts = std::span<const Rect>(&whole, 1);
    }
    const bool tablesFit = state.Diameter == side &&
                           state.DiscSpans.size() >= static_cast<size_t>(side) &&
                           !state.ShadingTable.empty();
    for (const Rect& part : parts) {
        const int32_t bottom = std::min(part.bottom, whole.bottom);
        const int32_t right = std::min(part.right, whole.right);
        for (int32_t y = std::max(part.top, 0); y < bottom; ++y) {
            const uint8_t* drawn = frame.Row(y);
            const uint8_t* beneath = background.Row(y);
            uint32_t* to = out.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(side);
            const DiscSpan span = tablesFit ? state.DiscSpans[static_cast<size_t>(y)] : DiscSpan{};
            for (int32_t x = std::max(part.left, 0); x < right; ++x) {
                const Rgb target = ReadRgb(drawn, x);
                const Rgb under = ReadRgb(beneath, x);
                if (x >= span.first && x <= span.last) {
                    const auto factor = static_cast<double>(state.Shading(x, y));
                    if (factor >= 0.0 && factor <= 1.0 && IsDome(factor, under, target)) {
                        to[x] = DomePixel(factor, under, target);
                        continue;
                    }
                } else if (target == Rgb{}) {
                    to[x] = 0;
                    continue;
                }
                to[x] = LitPixel(under, target);
            }
        }
    }
}

void RecoverBeneath(TDIB& background, const Estimate& last, Place at, const ScreenCapture& capture,
                    const ShownClock& shown, RecoveryMemory* memory) {
    const int32_t width = background.Width();
    const int32_t height = background.Height();
    if (width <= 0 || height <= 0) {
        return;
    }
    // Rows can be passed by where the capture holds the whole row and the picture lies
    // square on it, as the memory saw them.
    const bool rowsComparable = memory != nullptr && shown.picture != nullptr && shown.at == at &&
                                shown.picture->width == width && shown.picture->height == height &&
                                capture.area.left <= at.left &&
                                capture.area.right >= at.left + width;
    if (memory != nullptr) {
        memory->Fit(at, width, height, rowsComparable && last.known && last.at == at);
    }
    const size_t rowBytes = static_cast<size_t>(background.WidthBytes());
    // The last estimate, kept apart when the square moved: it is read where it lay.
    std::vector<uint8_t> moved;
    const bool inPlace = last.known && last.at == at;
    if (last.known && !inPlace) {
        moved.resize(rowBytes * static_cast<size_t>(height));
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(moved.data() + static_cast<size_t>(y) * rowBytes, background.Row(y),
                        static_cast<size_t>(3) * width);
        }
    }
    const ArgbImage* picture = shown.picture;
    // The desktop columns each source covers.
    const int32_t lastLeft = std::max(at.left, last.at.left);
    const int32_t lastRight = std::min(at.left + width, last.at.left + width);
    const int32_t shotLeft = std::max(at.left, capture.area.left);
    const int32_t shotRight = std::min(at.left + width, capture.area.right);
    const int32_t drawnLeft = picture != nullptr ? shown.at.left : 0;
    const int32_t drawnRight = picture != nullptr ? shown.at.left + picture->width : 0;
    for (int32_t y = 0; y < height; ++y) {
        const int32_t sy = at.top + y;
        uint8_t* row = background.Row(y);
        const uint8_t* lastRow = nullptr;
        if (last.known && sy >= last.at.top && sy < last.at.top + height) {
            lastRow =
                inPlace ? row : moved.data() + static_cast<size_t>(sy - last.at.top) * rowBytes;
        }
        const uint32_t* shotRow = nullptr;
        if (sy >= capture.area.top && sy < capture.area.bottom) {
            shotRow =
                capture.pixels + static_cast<ptrdiff_t>(sy - capture.area.top) * capture.stride;
        }
        const uint32_t* drawnRow = nullptr;
        if (picture != nullptr && sy >= shown.at.top && sy < shown.at.top + picture->height) {
            drawnRow =
                picture->pixels.data() + static_cast<ptrdiff_t>(sy - shown.at.top) * picture->width;
        }
        if (rowsComparable && shotRow != nullptr) {
            if (memory->Saw(y, shotRow + (at.left - capture.area.left), drawnRow)) {
                continue;
            }
        } else if (memory != nullptr) {
            memory->known[static_cast<size_t>(y)] = 0;
        }
        for (int32_t x = 0; x < width; ++x) {
            const int32_t sx = at.left + x;
            uint8_t* out = row + 3 * static_cast<ptrdiff_t>(x);
            const uint8_t* before = lastRow != nullptr && sx >= lastLeft && sx < lastRight
                                        ? lastRow + 3 * static_cast<ptrdiff_t>(sx - last.at.left)
                                        : nullptr;
            const uint32_t drawn = drawnRow != nullptr && sx >= drawnLeft && sx < drawnRight
                                       ? drawnRow[sx - drawnLeft]
                                       : 0;
            const auto alpha = static_cast<uint8_t>(drawn >> 24);
            if (shotRow == nullptr || sx < shotLeft || sx >= shotRight || alpha == 255) {
                // Nothing tells: the last estimate stays (stored blue, green, red).
                for (int32_t c = 0; c < 3; ++c) {
                    out[c] = before != nullptr ? before[c] : 0;
                }
                continue;
            }
            const uint32_t seen = shotRow[sx - capture.area.left];
            for (int32_t c = 0; c < 3; ++c) {
                const auto screen = static_cast<uint8_t>(seen >> (8 * c));
                out[c] = alpha == 0 ? screen
                                    : Recover(screen, static_cast<uint8_t>(drawn >> (8 * c)), alpha,
                                              before != nullptr ? before[c] : -1);
            }
        }
    }
}

bool ShowsOnlyTheClock(TDIB& background, Place at, const ScreenCapture& capture,
                       const ShownClock& shown, RecoveryMemory* memory) {
    const ArgbImage* picture = shown.picture;
    const int32_t width = background.Width();
    const int32_t height = background.Height();
    const Rect& area = capture.area;
    if (picture == nullptr || shown.at != at || picture->width != width ||
        picture->height != height || width <= 0 || height <= 0 || area.left < at.left ||
        area.top < at.top || area.right > at.left + width || area.bottom > at.top + height) {
        return false;
    }
    // Rows the last call found explained, which neither the screen nor the picture
    // changed since, are passed by; that needs the capture's whole width.
    const bool whole = memory != nullptr && area.left == at.left && area.right == at.left + width;
    if (memory != nullptr) {
        memory->Fit(at, width, height, whole);
    }
    for (int32_t sy = area.top; sy < area.bottom; ++sy) {
        const int32_t y = sy - at.top;
        const uint8_t* beneath = background.Row(y);
        const uint32_t* drawn = &picture->pixels[static_cast<size_t>(y) * width];
        const uint32_t* seen =
            capture.pixels + static_cast<ptrdiff_t>(sy - area.top) * capture.stride;
        if (whole && memory->Saw(y, seen, drawn)) {
            continue;
        }
        for (int32_t sx = area.left; sx < area.right; ++sx) {
            const int32_t x = sx - at.left;
            const uint32_t colour = drawn[x];
            const auto alpha = static_cast<uint8_t>(colour >> 24);
            const uint32_t screen = seen[sx - area.left];
            for (int32_t c = 0; c < 3; ++c) {
                if (Blend(static_cast<uint8_t>(colour >> (8 * c)), alpha, beneath[3 * x + c]) !=
                    static_cast<uint8_t>(screen >> (8 * c))) {
                    if (memory != nullptr) {
                        std::fill(memory->known.begin(), memory->known.end(), 0);
                    }
                    return false;
                }
            }
        }
    }
    return true;
}

void RecoveryMemory::Fit(Place square, int32_t squareWidth, int32_t squareHeight, bool still) {
    if (!still || at != square || width != squareWidth || height != squareHeight) {
        at = square;
        width = squareWidth;
        height = squareHeight;
        screen.assign(static_cast<size_t>(width) * height, 0);
        drawn.assign(static_cast<size_t>(width) * height, 0);
        known.assign(static_cast<size_t>(height), 0);
    }
}

bool RecoveryMemory::Saw(int32_t y, const uint32_t* screenRow, const uint32_t* drawnRow) {
    const size_t bytes = static_cast<size_t>(width) * sizeof(uint32_t);
    uint32_t* sawScreen = screen.data() + static_cast<size_t>(y) * width;
    uint32_t* sawDrawn = drawn.data() + static_cast<size_t>(y) * width;
    if (known[static_cast<size_t>(y)] != 0 && std::memcmp(sawScreen, screenRow, bytes) == 0 &&
        std::memcmp(sawDrawn, drawnRow, bytes) == 0) {
        return true;
    }
    std::memcpy(sawScreen, screenRow, bytes);
    std::memcpy(sawDrawn, drawnRow, bytes);
    known[static_cast<size_t>(y)] = 1;
    return false;
}

ShownClock SeeThroughPicture::ShownIn(const ScreenCapture& capture) const {
    return {capture.clockAt ? &picture_ : nullptr, capture.clockAt.value_or(Place{})};
}

bool SeeThroughPicture::Read(TDIB& background, Place at, bool tellsChanges,
                             const Capture& capture) {
    // A new size leaves nothing known.
    if (side_ != background.Width()) {
        estimate_.known = false;
        side_ = background.Width();
    }
    // Where the compositor tells of changes, a still desktop is not captured again.
    if (tellsChanges && estimate_.known && estimate_.at == at && !stale_) {
        return false;
    }
    const std::optional<ScreenCapture> shot =
        capture(Rect{at.left, at.top, at.left + background.Width(), at.top + background.Height()});
    // A capture that failed is tried again at the next frame.
    stale_ = !shot;
    if (!shot) {
        if (estimate_.known) {
            return false;
        }
        background.Blacken();
        estimate_ = {true, at};
        return true;
    }
    RecoverBeneath(background, estimate_, at, *shot, ShownIn(*shot), &memory_);
    estimate_ = {true, at};
    verified_.known.assign(verified_.known.size(), 0); // against another estimate
    return true;
}

const ArgbImage& SeeThroughPicture::Compose(ClockState& state, std::span<const Rect> parts) {
    ComposeSeeThrough(state, parts, picture_);
    return picture_;
}

bool SeeThroughPicture::ChangeShown(TDIB& background, const ScreenCapture* copy) {
    if (copy != nullptr && estimate_.known &&
        ShowsOnlyTheClock(background, estimate_.at, *copy, ShownIn(*copy), &verified_)) {
        return false;
    }
    stale_ = true;
    return true;
}

} // namespace lumivane
