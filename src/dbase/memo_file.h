#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dbase {

// The memo file beside a table, read only: dBase's NAME.DBT or FoxPro's NAME.FPT. The record
// holds a block number; the memo starts at block number * block size.
//
// dBase III .DBT: 512-byte blocks; block 0 is the header; a memo runs until the first 0x1A.
//
// dBase IV .DBT: header (block 0):
//
// | off | size | meaning                                          |
// |-----|------|--------------------------------------------------|
// |   0 |    4 | next free block                                  |
// |  20 |    2 | block size in bytes (0 in some files: 512)        |
//
// Each memo block starts with FF FF, then the offset of the text (2 bytes, 8), then the
// memo's length counting those 8 bytes (4 bytes), all little-endian. A block without that
// mark is read as dBase III wrote it.
//
// FoxPro .FPT: header (512 bytes), integers big-endian:
//
// | off | size | meaning                                          |
// |-----|------|--------------------------------------------------|
// |   0 |    4 | next free block                                  |
// |   6 |    2 | block size in bytes                              |
//
// Each memo block: type (4 bytes; 0 picture, 1 text, 2 object), the length of the data that
// follows (4 bytes), then the data.
class MemoFile {
public:
    enum class Kind { Dbase3, Dbase4, FoxPro };

    // The memo file of a table: its name with .DBT (or .FPT for FoxPro), in the letter case
    // found on disk, preferring the case of the table's own extension.
    static std::filesystem::path pathFor(const std::filesystem::path& tableFile, Kind kind);

    // Opens the file read-only. A missing or damaged file does not throw here: every read then
    // reports it, so the fields that do not need it still read.
    MemoFile(std::filesystem::path path, Kind kind);
    ~MemoFile();
    MemoFile(const MemoFile&) = delete;
    MemoFile& operator=(const MemoFile&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    bool isOpen() const { return m_fd >= 0; }
    // Why the memos cannot be read ("" when they can).
    const std::string& problem() const { return m_problem; }

    // The bytes of the memo at block; DatabaseError naming the file when the file is missing or
    // damaged, or the block is outside it. Block 0 is no memo: "".
    std::string read(std::uint32_t block) const;

private:
    [[noreturn]] void fail(const std::string& what) const;
    std::string readDbase3(std::uint64_t offset) const;

    std::filesystem::path m_path;
    Kind m_kind;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::uint32_t m_blockSize = 512;
    std::string m_problem;
};

// The block number a memo field's bytes hold: 4 bytes little-endian in Visual FoxPro, else
// decimal digits (blank: 0, no memo). False when the bytes are neither.
bool parseMemoBlock(std::string_view fieldBytes, std::uint32_t& block);

} // namespace dbase
