#pragma once

#include <stdexcept>
#include <string>

namespace dbase {

// The engine's one error type. The message names the file and what went wrong and is meant to
// be shown to the user as it stands.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace dbase
