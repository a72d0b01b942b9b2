#pragma once

#include <stdexcept>
#include <string>

namespace dbase {

// The one error the engine raises; the text names what failed and which file, fit to show.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace dbase
