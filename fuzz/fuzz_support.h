#pragma once

// What every fuzz target shares: a private scratch directory, and the rule that a damaged
// file may only ever raise DatabaseError. Anything else (another exception, a crash, a memory
// error the sanitizers see, a hang) is a finding.

#include "dbase/database_error.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fuzz {

inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tw-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        return std::filesystem::path(pattern);
    }();
    return dir;
}

inline void writeFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Runs body; DatabaseError is the expected answer to bad bytes, anything else aborts.
template <class F> void onlyDatabaseErrors(F body) {
    try {
        body();
    } catch (const dbase::DatabaseError&) {
    } catch (const std::exception& e) {
        std::fprintf(stderr, "an exception other than DatabaseError escaped: %s\n", e.what());
        std::abort();
    }
}

} // namespace fuzz
