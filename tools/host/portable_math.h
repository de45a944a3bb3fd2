// The trigonometry of the page geometry, computed from additions, multiplications, divisions
// and square roots only. Those are exactly rounded by every IEEE machine, so the host's pictures
// come out the same in every build of it; the C library's sin, cos and atan2 are not, and the
// i386 and x86-64 libraries differ in the last bits, enough to move an edge by a pixel.
// Accurate to a few units in the last place over the ranges a page uses.
#pragma once

namespace marlhost {

double PortableSin(double angle);
double PortableCos(double angle);
double PortableAtan2(double y, double x);
double PortableAcos(double x); // x clamped to [-1, 1]
double PortableHypot(double x, double y);

} // namespace marlhost
