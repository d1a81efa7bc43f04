#include <gtest/gtest.h>

#include "core/readout.h"

namespace vreko {
namespace {

TEST(Readout, CaptionAndColourForEveryForm) {
    struct Case {
        std::int32_t n;
        bool hidden, warning;
        const char* caption;
        Color color;
    } cases[] = {
        {0, false, false, "OFF", colors::kYellow},  {600, false, false, "10", colors::kLime},
        {7200, false, false, "120", colors::kLime}, {60, false, false, "1", colors::kLime},
        {1199, true, false, "20", colors::kLime},   {1140, true, false, "20", colors::kLime},
        {1139, true, false, "19", colors::kLime},   {120, true, false, "3", colors::kLime},
        {61, true, false, "2", colors::kLime},      {60, false, true, "60", colors::kRed},
        {59, false, true, "59", colors::kRed},      {1, true, true, "1", colors::kRed},
        {0, false, true, "OFF", colors::kRed},      {-1, false, true, "-1", colors::kRed},
    };
    for (const auto& k : cases) {
        ReadoutLook look = FormatReadout(k.n, k.hidden, k.warning);
        EXPECT_EQ(look.caption, k.caption) << k.n;
        ASSERT_TRUE(look.color.has_value()) << k.n;
        EXPECT_EQ(*look.color, k.color) << k.n;
    }
    // A negative number in the dialling form keeps the colour it had.
    ReadoutLook negative = FormatReadout(-120, false, false);
    EXPECT_EQ(negative.caption, "-2");
    EXPECT_FALSE(negative.color.has_value());
}

TEST(Readout, MinutesAndSecondsAreNeverPaddedInTheMinutes) {
    EXPECT_EQ(MinutesSecondsText(1199), "19:59");
    EXPECT_EQ(MinutesSecondsText(60), "1:00");
    EXPECT_EQ(MinutesSecondsText(61), "1:01");
    EXPECT_EQ(MinutesSecondsText(9), "0:09");
    EXPECT_EQ(MinutesSecondsText(0), "0:00");
    EXPECT_EQ(MinutesSecondsText(7199), "119:59");
    EXPECT_EQ(MinutesSecondsText(7200), "120:00");
}

}  // namespace
}  // namespace vreko
