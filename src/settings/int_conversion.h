// Conversion of settings text to a signed 32-bit integer.
#pragma once

#include <cstdint>
#include <string_view>

namespace vreko {

// Accepts optional leading spaces, an optional "-" or "+", then either decimal digits or one
// of the hexadecimal prefixes "$", "x", "X", "0x", "0X" followed by at least one hexadecimal
// digit, with nothing after. Decimal values must lie in the signed 32-bit range; hexadecimal
// values must fit in 32 bits and are taken as their bit pattern ("$FFFFFFFF" is -1), negated
// when a "-" came first. On failure (also for an empty text) returns false and leaves out alone.
bool StrToInt32(std::string_view text, std::int32_t& out);

}  // namespace vreko
