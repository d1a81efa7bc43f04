// Integer conversion of settings text, checked against a reference written from the rules:
// optional leading spaces, an optional sign, then decimal digits within the signed 32-bit
// range, or a hexadecimal prefix ("$", "x", "X", "0x", "0X") and 1.. digits that fit in
// 32 bits, taken as a bit pattern and negated after a "-". Nothing may follow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "settings/int_conversion.h"

namespace {

std::optional<std::int32_t> Reference(std::string_view s) {
    std::size_t i = s.find_first_not_of(' ');
    if (i == std::string_view::npos) return std::nullopt;
    s.remove_prefix(i);
    bool negative = false;
    if (s.front() == '+' || s.front() == '-') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
        if (s.substr(0, prefix.size()) == prefix) {
            base = 16;
            s.remove_prefix(prefix.size());
            break;
        }
    }
    const std::string_view digitSet = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (s.empty() || s.find_first_not_of(digitSet) != std::string_view::npos) return std::nullopt;
    // Leading zeros carry nothing; beyond that the number of digits bounds the magnitude.
    const std::size_t significant = s.find_first_not_of('0');
    s = significant == std::string_view::npos ? std::string_view("0") : s.substr(significant);
    if (s.size() > (base == 16 ? 8u : 10u)) return std::nullopt;
    const unsigned long long magnitude = std::strtoull(std::string(s).c_str(), nullptr, base);
    long long value;
    if (base == 10) {
        value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
        if (value < -2147483648LL || value > 2147483647LL) return std::nullopt;
    } else {
        if (magnitude > 0xFFFFFFFFull) return std::nullopt;
        // The bit pattern as a signed number, then the sign applied modulo 2^32.
        value = magnitude >= 0x80000000ull ? static_cast<long long>(magnitude) - 0x100000000LL
                                           : static_cast<long long>(magnitude);
        if (negative) value = -value;
        if (value > 2147483647LL) value -= 0x100000000LL;  // -(-2^31) wraps to itself
    }
    return static_cast<std::int32_t>(value);
}

[[noreturn]] void Fail(std::string_view text, const char* what, long long got, long long want) {
    std::fprintf(stderr, "conversion of \"%.*s\": %s (got %lld, want %lld)\n", static_cast<int>(text.size()),
                 text.data(), what, got, want);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr std::int32_t kUntouched = 0x5EED1234;
    std::int32_t out = kUntouched;
    const bool ok = vreko::StrToInt32(text, out);
    const std::optional<std::int32_t> want = Reference(text);
    if (ok != want.has_value())
        Fail(text, ok ? "accepted, should fail" : "refused, should convert", out, want.value_or(0));
    if (ok && out != *want) Fail(text, "wrong value", out, *want);
    if (!ok && out != kUntouched) Fail(text, "failure changed the result", out, kUntouched);
    return 0;
}
