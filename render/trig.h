#pragma once
// Extended-precision cosine and sine of the renderers' own, so that every build
// (glibc, mingw-w64 32- and 64-bit) lands on the same last bit.
namespace lumivane {

long double Cos(long double x);
long double Sin(long double x);

} // namespace lumivane
