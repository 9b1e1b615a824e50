#pragma once
// The renderers compute in x87 extended precision. Windows starts threads with
// the x87 unit set to 53-bit precision, which would silently round every
// long double result to double; this puts it back to 64 bits, round to nearest.
namespace lumivane {

void UseExtendedPrecision();

// True when long double arithmetic really carries a 64-bit significand.
bool ExtendedPrecisionActive();

} // namespace lumivane
