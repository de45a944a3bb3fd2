// The host's own trigonometry against the C library's, over the angles and ratios a page
// produces: within a few units in the last place, with the signs and quadrants right.
#if defined(MARL_HOST_TESTS)
#include "host/portable_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace marlhost {
namespace {

constexpr double kTolerance = 4e-15;

TEST(PortableMath, SinAndCosAgreeWithTheLibraryOverManyTurns) {
    for (int i = -20000; i <= 20000; ++i) {
        const double angle = i * 0.0031415926 + (i % 7) * 1e-9;
        ASSERT_NEAR(PortableSin(angle), std::sin(angle), kTolerance) << angle;
        ASSERT_NEAR(PortableCos(angle), std::cos(angle), kTolerance) << angle;
    }
}

TEST(PortableMath, SinAndCosAtTheQuadrantsAreExactEnough) {
    const double pi = 3.14159265358979323846;
    struct Case {
        double Angle, Sin, Cos;
    } const cases[] = {{0, 0, 1}, {pi / 2, 1, 0}, {pi, 0, -1}, {-pi / 2, -1, 0},
                       {3 * pi / 2, -1, 0}, {pi / 6, 0.5, std::sqrt(3.0) / 2}};
    for (const Case& c : cases) {
        EXPECT_NEAR(PortableSin(c.Angle), c.Sin, 1e-15) << c.Angle;
        EXPECT_NEAR(PortableCos(c.Angle), c.Cos, 1e-15) << c.Angle;
    }
    EXPECT_TRUE(std::isnan(PortableSin(std::numeric_limits<double>::infinity())));
}

TEST(PortableMath, Atan2AgreesWithTheLibraryInEveryQuadrant) {
    const double values[] = {-1e9, -123.5, -3, -1, -0.268, -1e-7, 0, 1e-7, 0.2679, 0.27,
                             0.5, 1, 1.7320508, 2, 3.75, 1e9};
    for (double y : values) {
        for (double x : values) {
            EXPECT_NEAR(PortableAtan2(y, x), std::atan2(y, x), kTolerance) << y << ", " << x;
        }
    }
    EXPECT_DOUBLE_EQ(PortableAtan2(0.0, -1.0), std::atan2(0.0, -1.0));
    EXPECT_DOUBLE_EQ(PortableAtan2(-0.0, -1.0), std::atan2(-0.0, -1.0));
}

TEST(PortableMath, AcosAndHypotAgreeWithTheLibrary) {
    for (int i = -1000; i <= 1000; ++i) {
        const double x = i / 1000.0;
        EXPECT_NEAR(PortableAcos(x), std::acos(x), 1e-14) << x;
    }
    EXPECT_DOUBLE_EQ(PortableAcos(2), 0);
    EXPECT_NEAR(PortableAcos(-2), std::acos(-1.0), 1e-15);
    const double pairs[][2] = {{3, 4}, {-5, 12}, {1e-200, 1e-200}, {1e200, 1e200}, {0, -7}};
    for (const auto& p : pairs) {
        EXPECT_NEAR(PortableHypot(p[0], p[1]) / std::hypot(p[0], p[1]), 1, 1e-15);
    }
    EXPECT_EQ(PortableHypot(0, 0), 0);
}

} // namespace
} // namespace marlhost
#endif
