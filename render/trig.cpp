#include "render/trig.h"

#include <cmath>

namespace lumivane {

// Placeholder until the exact implementation lands: the C library's.
long double Cos(long double x) { return std::cos(x); }
long double Sin(long double x) { return std::sin(x); }

} // namespace lumivane
