#pragma once

#include <QString>

// The tips of the day, numbered 1 to 24.
constexpr int kTipCount = 24;
QString tipText(int number);
// The number after n, wrapping from the last tip to the first.
int nextTipNumber(int n);
