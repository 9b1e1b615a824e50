#pragma once
// Extended-precision cosine and sine of the renderers' own, so that every build
// (glibc, mingw-w64 32- and 64-bit) lands on the same last bit.
//
// The results are those of x86-64 glibc's cosl/sinl, bit for bit, for every argument
// the renderers form and, as far as sampled, for all |x| < 2^30. Beyond that glibc's own
// reduction is less exact than this one and about one result in 10^4 differs in the last
// bit. The x87 unit must compute with a 64-bit significand (UseExtendedPrecision).
namespace lumivane {

long double Cos(long double x);
long double Sin(long double x);

} // namespace lumivane
