#pragma once

// Files written beside a table or its index and then renamed over it. Each is named
// TARGET.PURPOSE-PID-N and is locked (the open byte, for writing) from its creation until it
// is renamed or removed, so a leftover of a killed process can be told from one being written.

#include <filesystem>
#include <string>
#include <vector>

namespace dbase::temporary {

// Creates target's sibling for purpose ("new", "pack", "index"), locked, mode 0600. Returns
// the descriptor (-1 with errno set on failure) and sets path.
int create(const std::filesystem::path& target, const char* purpose, std::filesystem::path& path);

// Removes the leftovers of killed writers beside the table file tableFile: our own temporary
// siblings of the table and of its index that no live process holds. Returns the names
// removed. Never throws; a file that cannot be removed is left.
std::vector<std::string> removeStale(const std::filesystem::path& tableFile,
                                     const std::filesystem::path& indexFile);

} // namespace dbase::temporary
