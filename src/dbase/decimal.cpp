#include "dbase/decimal.h"

#include <algorithm>

namespace dbase {

std::optional<Decimal> parseDecimal(std::string_view s) {
    Decimal n;
    n.digits.clear();
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        n.negative = s[i] == '-';
        ++i;
    }
    bool point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            n.digits.push_back(s[i]);
            if (point)
                ++n.scale;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (n.digits.empty())
        return std::nullopt;
    return n;
}

std::string formatDecimal(const Decimal& n, int decimals) {
    std::string digits = n.digits;
    if (n.scale <= decimals) {
        digits.append(std::size_t(decimals - n.scale), '0');
    } else {
        const std::size_t cut = std::size_t(n.scale - decimals);
        if (digits.size() < cut + 1)
            digits.insert(0, cut + 1 - digits.size(), '0');
        const bool roundUp = digits[digits.size() - cut] >= '5';
        digits.resize(digits.size() - cut);
        if (roundUp) {
            std::size_t i = digits.size();
            while (i > 0 && digits[i - 1] == '9')
                digits[--i] = '0';
            if (i == 0)
                digits.insert(digits.begin(), '1');
            else
                ++digits[i - 1];
        }
    }
    if (digits.size() < std::size_t(decimals) + 1)
        digits.insert(0, std::size_t(decimals) + 1 - digits.size(), '0');
    std::string intPart = digits.substr(0, digits.size() - std::size_t(decimals));
    const std::string frac = digits.substr(digits.size() - std::size_t(decimals));
    intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size() - 1));
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    std::string out = (n.negative && !zero) ? "-" : "";
    out += intPart;
    if (decimals > 0)
        out += "." + frac;
    return out;
}

} // namespace dbase
