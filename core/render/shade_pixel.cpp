#include <cmath>

#include "core/render/light_block.h"
#include "core/render/render.h"
#include "core/render/render_detail.h"

namespace lumivane {

namespace {

// |Round(value)| limited to 255. A negative result turns positive rather than
// being cut to 0; a NaN, which only nonsense input can produce, gives 0.
int32_t Channel(long double value) {
    const long double magnitude = std::fabs(detail::RoundHalfEven(value));
    if (std::isnan(magnitude)) {
        return 0;
    }
    return magnitude > 255.0L ? 255 : static_cast<int32_t>(magnitude);
}

} // namespace

namespace detail {

Colour ShadePixelExactly(int32_t red, int32_t green, int32_t blue, long double weight) {
    const long double r = red;
    const long double g = green;
    const long double b = blue;
    const long double norm = std::sqrt(r * r + g * g + b * b + 1.0L);
    const long double headroom = (441.0L - norm) / 1.7L;
    const long double share = headroom / 750.0L;
    return {
        Channel(std::sqrt(share + r / 255.0L) * headroom * weight + r + 0.05L * b),
        Channel(std::sqrt(share + g / 255.0L) * headroom * weight + g + 0.05L * r),
        Channel(std::sqrt(share + b / 255.0L) * headroom * weight + b - 0.05L * g),
    };
}

} // namespace detail

Colour ShadePixel(int32_t red, int32_t green, int32_t blue, long double weight) {
    if (detail::IsByte(red) && detail::IsByte(green) && detail::IsByte(blue) &&
        detail::FastWeight(weight)) {
        if (const auto lit = detail::LightOne(red, green, blue, static_cast<double>(weight))) {
            return *lit;
        }
    }
    return detail::ShadePixelExactly(red, green, blue, weight);
}

} // namespace lumivane
