#pragma once

#include <QString>

#include <array>

// The index expression of the tag "NewIndex" for the four sort levels (field numbers,
// 0 for none). Character fields share 80 key characters between the levels in use.
QString BuildSortString(const std::array<int, 4>& sortKeys);
