#include <cstdint>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "settings/int_conversion.h"

namespace vreko {
namespace {

TEST(StrToInt32, Accepts) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"0", 0},
        {"10", 10},
        {"-0", 0},
        {"+5", 5},
        {"   12", 12},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"00000000002147483647", 2147483647},
        {"$FF", 255},
        {"$ff", 255},
        {"x1A", 26},
        {"X1a", 26},
        {"0x10", 16},
        {"0X10", 16},
        {"$7FFFFFFF", INT32_MAX},
        {"$80000000", INT32_MIN},  // the bit pattern
        {"$FFFFFFFF", -1},
        {"0xffffffff", -1},
        {"$000000001", 1},  // leading zeros do not count against the 32 bits
        {"-$1", -1},
        {"-$FFFFFFFF", 1},
        {"-$80000000", INT32_MIN},  // negation wraps like 32-bit arithmetic
        {"+$10", 16},
        {"  -0x20", -32},
    };
    for (const auto& [text, expected] : cases) {
        std::int32_t value = 12345;
        EXPECT_TRUE(StrToInt32(text, value)) << "'" << text << "'";
        EXPECT_EQ(value, expected) << "'" << text << "'";
    }
}

TEST(StrToInt32, Rejects) {
    const std::string cases[] = {
        "",
        " ",
        "-",
        "+",
        "abc",
        "12 ",
        "1 2",
        "12a",
        "\t12",
        "- 5",
        "--5",
        "+-5",
        "2147483648",
        "-2147483649",
        "99999999999999999999",
        "$",
        "x",
        "0x",
        "0X",
        "$G",
        "0x1G",
        "$100000000",
        "$ 1",
        "0x-1",
        "$$1",
        "1.5",
        "1e3",
        std::string("1\0", 2),
    };
    for (const auto& text : cases) {
        std::int32_t value = 12345;
        EXPECT_FALSE(StrToInt32(text, value)) << "'" << text << "'";
        EXPECT_EQ(value, 12345) << "'" << text << "'";
    }
}

}  // namespace
}  // namespace vreko
