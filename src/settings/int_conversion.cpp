#include "settings/int_conversion.h"

#include <cstddef>

namespace vreko {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool StrToInt32(std::string_view text, std::int32_t& out) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = text.substr(i);

    std::size_t hexStart = 0;
    if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
        hexStart = 1;
    } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        hexStart = 2;
    }

    if (hexStart != 0) {
        const std::string_view digits = rest.substr(hexStart);
        if (digits.empty()) return false;
        std::uint64_t value = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) return false;
            value = value * 16 + static_cast<std::uint64_t>(d);
            if (value > 0xFFFFFFFFull) return false;
        }
        // The 32-bit pattern, negated in 32-bit two's complement arithmetic.
        const std::uint32_t bits = static_cast<std::uint32_t>(value);
        out = static_cast<std::int32_t>(negative ? 0u - bits : bits);
        return true;
    }

    if (rest.empty()) return false;
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    std::uint64_t value = 0;
    for (char c : rest) {
        if (!IsDecimalDigit(c)) return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limit) return false;
    }
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    out = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return true;
}

}  // namespace vreko
