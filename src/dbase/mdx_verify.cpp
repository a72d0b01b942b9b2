// Reading a whole tag back with its order checked.

#include "dbase/mdx_file.h"

#include "dbase/database_error.h"
#include "dbase/file_io.h"
#include "dbase/little_endian.h"
#include "dbase/mdx_internal.h"
#include "dbase/temporary_file.h"
#include "dbase/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <map>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace dbase {

using namespace mdx_detail;

std::vector<std::pair<std::string, uint32_t>> MdxFile::verifyTag(std::string_view tagName,
                                                                 uint32_t recordCount) {
    Lock lock(*this, false);
    const Header h = readHeader();
    const TagState tag = resolveTag(h, tagName);
    std::vector<std::pair<std::string, uint32_t>> out;
    std::unordered_set<uint32_t> seen;
    // Walks a subtree; every key in it must lie within (low, high].
    std::function<void(uint32_t, int, const std::string*, const std::string*)> walk =
        [&](uint32_t page, int depth, const std::string* low, const std::string* high) {
            if (depth > kMaxDepth || !seen.insert(page).second)
                damaged("tag " + tag.name + " reaches page " + std::to_string(page) + " twice");
            const Node n = readNode(h, tag, page);
            auto checkBounds = [&](const uint8_t* key) {
                if ((low && tag.compareKey(key, bytes(*low)) < 0) ||
                    (high && tag.compareKey(key, bytes(*high)) > 0))
                    damaged("the keys of tag " + tag.name + " are out of order on page " +
                            std::to_string(page));
            };
            if (n.leaf) {
                for (uint32_t i = 0; i < n.count; ++i) {
                    const uint32_t recno = n.ptr(i);
                    if (recno == 0 || recno > recordCount)
                        damaged("tag " + tag.name + " names record " + std::to_string(recno) +
                                ", past the end of the table");
                    checkBounds(n.key(i));
                    // Equal keys may come in any record order: other writers keep them
                    // newest first.
                    if (!out.empty() && tag.compareKey(bytes(out.back().first), n.key(i)) > 0)
                        damaged("the keys of tag " + tag.name + " are out of order on page " +
                                std::to_string(page));
                    out.emplace_back(
                        std::string(reinterpret_cast<const char*>(n.key(i)), tag.keyLength), recno);
                }
                return;
            }
            std::string previous;
            const std::string* lower = low;
            for (uint32_t i = 0; i <= n.count; ++i) {
                std::string sep;
                const std::string* upper = high;
                if (i < n.count) {
                    sep.assign(reinterpret_cast<const char*>(n.key(i)), tag.keyLength);
                    checkBounds(n.key(i));
                    if (lower && tag.compareKey(bytes(sep), bytes(*lower)) < 0)
                        damaged("the keys of tag " + tag.name + " are out of order on page " +
                                std::to_string(page));
                    upper = &sep;
                }
                walk(n.child(i), depth + 1, lower, upper);
                if (i < n.count) {
                    previous = sep;
                    lower = &previous;
                }
            }
        };
    walk(tag.root, 0, nullptr, nullptr);
    return out;
}

} // namespace dbase
