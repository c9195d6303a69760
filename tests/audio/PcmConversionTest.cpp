// SPDX-License-Identifier: GPL-3.0-or-later
// Float to integer samples at the edges where a rounding shortcut goes wrong: values just
// below one half, exact halves, the ends of the range, and values that are not numbers.
#include "audio/PcmConversion.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

struct ConversionCase
{
    const char *name;
    float value;
    double scale;
    std::int32_t expected; // by hand: value × scale, halves away from zero, then clamped
};

void PrintTo(const ConversionCase &c, std::ostream *os)
{
    *os << c.name;
}

// The largest float below one half, as a fraction of one step.
const float belowHalf = std::nextafter(0.5f, 0.0f);

class ToIntegerTest : public ::testing::TestWithParam<ConversionCase>
{
};

TEST_P(ToIntegerTest, RoundsHalvesAwayFromZeroAndClamps)
{
    const ConversionCase &c = GetParam();
    EXPECT_EQ(PcmConversion::toInteger(c.value, c.scale), c.expected);
}

using PcmConversion::scale16;
using PcmConversion::scale24;
constexpr float infinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Edges, ToIntegerTest,
    ::testing::Values(
        ConversionCase{"Zero", 0.0f, scale16, 0},
        ConversionCase{"JustBelowHalfStep", belowHalf / 32768.0f, scale16, 0},
        ConversionCase{"JustBelowMinusHalfStep", -belowHalf / 32768.0f, scale16, 0},
        ConversionCase{"HalfStepUp", 0.5f / 32768.0f, scale16, 1},
        ConversionCase{"HalfStepDown", -0.5f / 32768.0f, scale16, -1},
        ConversionCase{"OneAndAHalfSteps", 1.5f / 32768.0f, scale16, 2},
        ConversionCase{"JustBelowOneAndAHalf24", (1.5f - 1.0f / 8388608.0f) / 8388608.0f, scale24, 1},
        ConversionCase{"Stored16BitValue", -12345.0f / 32768.0f, scale16, -12345},
        ConversionCase{"FullScaleUp", 1.0f, scale16, 32767},
        ConversionCase{"FullScaleDown", -1.0f, scale16, -32768},
        ConversionCase{"HalfBelowTop", 32766.5f / 32768.0f, scale16, 32767},
        ConversionCase{"HalfAboveBottom", -32767.5f / 32768.0f, scale16, -32768},
        ConversionCase{"FarAbove24", 3.0e30f, scale24, 8388607},
        ConversionCase{"FarBelow24", -3.0e30f, scale24, -8388608},
        ConversionCase{"HalfBelowTop24", 8388606.5f / 8388608.0f, scale24, 8388607},
        ConversionCase{"Subnormal", std::numeric_limits<float>::denorm_min(), scale24, 0},
        ConversionCase{"NotANumber", std::numeric_limits<float>::quiet_NaN(), scale16, 0},
        ConversionCase{"Infinity", infinity, scale16, 0},
        ConversionCase{"MinusInfinity", -infinity, scale24, 0}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
