#include "dbase/bcd.h"

#include <algorithm>
#include <cstring>

namespace dbase {

namespace {

constexpr uint8_t kZeroExponent = 0x34;
constexpr uint8_t kSignBit = 0x80;
constexpr uint8_t kLowBits = 0x01;
constexpr std::size_t kMaxDigits = 20;

bool isZeroKey(const uint8_t* key) {
    return std::all_of(key + 2, key + kBcdKeyLength, [](uint8_t b) { return b == 0; });
}

} // namespace

BcdKey bcdFromDecimal(std::string_view text) {
    BcdKey key{};
    key[0] = kZeroExponent;
    key[1] = kLowBits;

    bool negative = false;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string digits;
    int pointAt = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            digits.push_back(c);
        else if (c == '.' && pointAt < 0)
            pointAt = int(digits.size());
        else
            return key;
    }
    if (pointAt < 0)
        pointAt = int(digits.size());

    // Position of the point relative to the first significant digit.
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return key;
    const int exponent = pointAt - int(first);
    digits.erase(0, first);
    const std::size_t last = digits.find_last_not_of('0');
    digits.resize(last + 1);
    if (digits.size() > kMaxDigits)
        digits.resize(kMaxDigits);

    key[0] = uint8_t(kZeroExponent + exponent);
    key[1] = uint8_t((negative ? kSignBit : 0) | (digits.size() << 2) | kLowBits);
    for (std::size_t d = 0; d < digits.size(); ++d) {
        const auto nibble = uint8_t(digits[d] - '0');
        key[2 + d / 2] |= (d % 2 == 0) ? uint8_t(nibble << 4) : nibble;
    }
    return key;
}

int compareBcd(const uint8_t* a, const uint8_t* b) {
    auto signOf = [](const uint8_t* k) {
        if (isZeroKey(k))
            return 0;
        return (k[1] & kSignBit) ? -1 : 1;
    };
    const int sa = signOf(a);
    const int sb = signOf(b);
    if (sa != sb)
        return sa < sb ? -1 : 1;
    if (sa == 0)
        return 0;
    int magnitude = 0;
    if (a[0] != b[0])
        magnitude = a[0] < b[0] ? -1 : 1;
    else
        magnitude = std::memcmp(a + 2, b + 2, kBcdKeyLength - 2);
    magnitude = magnitude < 0 ? -1 : (magnitude > 0 ? 1 : 0);
    return sa < 0 ? -magnitude : magnitude;
}

std::string bcdToDecimal(const uint8_t* key) {
    if (isZeroKey(key))
        return "0";
    std::string digits;
    for (std::size_t d = 0; d < kMaxDigits; ++d) {
        const uint8_t byte = key[2 + d / 2];
        digits.push_back(char('0' + ((d % 2 == 0) ? (byte >> 4) : (byte & 0x0F))));
    }
    digits.resize(digits.find_last_not_of('0') + 1);
    const int exponent = int(key[0]) - kZeroExponent;
    std::string out = (key[1] & kSignBit) ? "-" : "";
    if (exponent <= 0) {
        out += "0." + std::string(std::size_t(-exponent), '0') + digits;
    } else if (std::size_t(exponent) >= digits.size()) {
        out += digits + std::string(std::size_t(exponent) - digits.size(), '0');
    } else {
        out += digits.substr(0, std::size_t(exponent)) + "." + digits.substr(std::size_t(exponent));
    }
    return out;
}

} // namespace dbase
