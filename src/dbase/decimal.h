#pragma once

// Decimal numbers as digit text, so that values round exactly as dBase's BCD arithmetic does.

#include <optional>
#include <string>
#include <string_view>

namespace dbase {

// value = digits * 10^-scale
struct Decimal {
    bool negative = false;
    std::string digits = "0";
    int scale = 0;
};

// Plain decimal text: optional sign, digits, optional point and digits (at least one digit).
std::optional<Decimal> parseDecimal(std::string_view text);

// Fixed-point text "[-]int[.frac]" with exactly `decimals` places, rounded half away from zero;
// zero carries no sign.
std::string formatDecimal(const Decimal& d, int decimals);

} // namespace dbase
