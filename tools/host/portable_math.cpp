#include "host/portable_math.h"

#include <cmath>

namespace marlhost {
namespace {

constexpr double kPi = 3.14159265358979323846;
// pi/2 split in two, so that k * kHalfPiHigh is exact for the k a page can produce.
constexpr double kHalfPiHigh = 1.57079632673412561417e+00;
constexpr double kHalfPiLow = 6.07710050650619224932e-11;
constexpr double kSqrt3 = 1.73205080756887729353;

// Taylor series on |r| <= pi/4: the first dropped term is below 1e-16 there.
double SinPolynomial(double r) {
    const double r2 = r * r;
    double sum = 0;
    double term = r;
    for (int n = 1; n <= 19; n += 2) {
        sum += term;
        term = -term * r2 / ((n + 1) * (n + 2));
    }
    return sum;
}

double CosPolynomial(double r) {
    const double r2 = r * r;
    double sum = 0;
    double term = 1;
    for (int n = 0; n <= 18; n += 2) {
        sum += term;
        term = -term * r2 / ((n + 1) * (n + 2));
    }
    return sum;
}

// angle = k pi/2 + r with |r| <= pi/4 (a little more for huge angles, still accurate enough).
double Reduce(double angle, long long& quadrant) {
    const double k = std::floor(angle / (kPi / 2) + 0.5);
    quadrant = static_cast<long long>(k);
    return (angle - k * kHalfPiHigh) - k * kHalfPiLow;
}

// atan on [0, 1].
double AtanUnit(double t) {
    // Above tan(pi/12), move the argument down by pi/6: atan t = pi/6 + atan((t sqrt3 - 1) /
    // (t + sqrt3)); then |t| <= 0.268 and the series converges fast.
    double base = 0;
    if (t > 0.2679491924311227) {
        t = (t * kSqrt3 - 1) / (t + kSqrt3);
        base = kPi / 6;
    }
    const double t2 = t * t;
    double sum = 0;
    double power = t;
    for (int n = 1; n <= 31; n += 2) {
        sum += power / n * ((n / 2) % 2 ? -1 : 1);
        power *= t2;
    }
    return base + sum;
}

// sin(k pi/2 + r) for the quadrant k mod 4.
double SinInQuadrant(long long quadrant, double r) {
    switch (quadrant & 3) {
    case 0: return SinPolynomial(r);
    case 1: return CosPolynomial(r);
    case 2: return -SinPolynomial(r);
    default: return -CosPolynomial(r);
    }
}

} // namespace

double PortableSin(double angle) {
    if (!std::isfinite(angle)) return std::nan("");
    long long quadrant = 0;
    const double r = Reduce(angle, quadrant);
    return SinInQuadrant(quadrant, r);
}

// cos x = sin(x + pi/2): the same remainder, one quadrant on.
double PortableCos(double angle) {
    if (!std::isfinite(angle)) return std::nan("");
    long long quadrant = 0;
    const double r = Reduce(angle, quadrant);
    return SinInQuadrant(quadrant + 1, r);
}

double PortableAtan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y)) return std::nan("");
    if (x == 0 && y == 0) return std::signbit(x) ? (std::signbit(y) ? -kPi : kPi) : y;
    const double ax = std::fabs(x), ay = std::fabs(y);
    double angle;
    if (std::isinf(ax) || std::isinf(ay)) {
        angle = std::isinf(ax) ? (std::isinf(ay) ? kPi / 4 : 0) : kPi / 2;
    } else if (ay <= ax) {
        angle = AtanUnit(ay / ax);
    } else {
        angle = kPi / 2 - AtanUnit(ax / ay);
    }
    if (x < 0 || (x == 0 && std::signbit(x))) angle = kPi - angle;
    return std::signbit(y) ? -angle : angle;
}

double PortableAcos(double x) {
    if (std::isnan(x)) return x;
    if (x > 1) x = 1;
    if (x < -1) x = -1;
    return PortableAtan2(std::sqrt((1 - x) * (1 + x)), x);
}

double PortableHypot(double x, double y) {
    const double ax = std::fabs(x), ay = std::fabs(y);
    const double big = ax > ay ? ax : ay, small = ax > ay ? ay : ax;
    if (big == 0 || std::isinf(big)) return big;
    const double ratio = small / big;
    return big * std::sqrt(1 + ratio * ratio);
}

} // namespace marlhost
