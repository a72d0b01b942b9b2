#pragma once

// Tables as other programs write them, byte by byte, for tests of the engine's readers: dBase
// III and IV, FoxPro and Visual FoxPro headers, records and memo files.

#include <cstdint>
#include <string>
#include <vector>

namespace dbfbytes {

struct FieldDesc {
    std::string name; // bytes of the table's code page
    char type = 'C';
    int length = 0; // a C field wider than 255 keeps its high byte in the decimals byte
    int decimals = 0;
    std::uint8_t flags = 0; // Visual FoxPro field flags (0x01 system, 0x02 nullable)
};

struct TableDesc {
    std::uint8_t version = 0x03;
    std::uint8_t driver = 0x57;
    std::uint8_t flags = 0; // byte 28
    char terminator = 0x0D;
    std::vector<FieldDesc> fields;
    std::vector<std::string> records; // each with its deletion flag, exactly recordLength bytes
};

inline void putLe(std::string& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline void putBe(std::string& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<std::size_t>(i)] =
            static_cast<char>((v >> (8 * (bytes - 1 - i))) & 0xFF);
}

inline std::string le(std::uint64_t v, int bytes) {
    std::string b(static_cast<std::size_t>(bytes), '\0');
    putLe(b, 0, v, bytes);
    return b;
}

inline bool visualFoxPro(std::uint8_t version) {
    return version == 0x30 || version == 0x31 || version == 0x32;
}

inline int recordLength(const TableDesc& t) {
    int n = 1;
    for (const FieldDesc& f : t.fields)
        n += f.length;
    return n;
}

inline std::string tableFile(const TableDesc& t) {
    const std::size_t backlink = visualFoxPro(t.version) ? 263 : 0;
    const std::size_t headerLength = 32 + 32 * t.fields.size() + 1 + backlink;
    std::string b(headerLength, '\0');
    b[0] = static_cast<char>(t.version);
    b[1] = 124; // 2024-05-06
    b[2] = 5;
    b[3] = 6;
    putLe(b, 4, t.records.size(), 4);
    putLe(b, 8, headerLength, 2);
    putLe(b, 10, static_cast<std::uint64_t>(recordLength(t)), 2);
    b[28] = static_cast<char>(t.flags);
    b[29] = static_cast<char>(t.driver);
    std::size_t pos = 32;
    int offset = 1;
    for (const FieldDesc& f : t.fields) {
        b.replace(pos, f.name.size(), f.name);
        b[pos + 11] = f.type;
        if (visualFoxPro(t.version))
            putLe(b, pos + 12, static_cast<std::uint64_t>(offset), 4);
        b[pos + 16] = static_cast<char>(f.length & 0xFF);
        b[pos + 17] = static_cast<char>(f.type == 'C' ? f.length >> 8 : f.decimals);
        b[pos + 18] = static_cast<char>(f.flags);
        offset += f.length;
        pos += 32;
    }
    b[pos] = t.terminator;
    for (const std::string& r : t.records)
        b += r;
    b += '\x1A';
    return b;
}

// Text left-aligned in width bytes, padded with blanks (character fields).
inline std::string left(const std::string& s, int width) {
    std::string out = s;
    out.resize(static_cast<std::size_t>(width), ' ');
    return out;
}

// Text right-aligned in width bytes (numbers, memo block numbers).
inline std::string right(const std::string& s, int width) {
    return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

// dBase III .DBT: 512-byte blocks, each memo ended by 0x1A 0x1A. Returns the memos' blocks.
inline std::string dbase3Memo(const std::vector<std::string>& memos, std::vector<int>& blocks) {
    std::string b(512, '\0');
    for (const std::string& m : memos) {
        blocks.push_back(static_cast<int>(b.size() / 512));
        std::string body = m + "\x1A\x1A";
        body.resize((body.size() + 511) / 512 * 512, '\0');
        b += body;
    }
    putLe(b, 0, b.size() / 512, 4);
    return b;
}

// dBase IV .DBT: blocks of blockSize; each memo starts with FF FF 08 00 and its length
// counting those 8 bytes.
inline std::string dbase4Memo(const std::vector<std::string>& memos, std::vector<int>& blocks,
                              std::size_t blockSize) {
    std::string b(blockSize, '\0');
    for (const std::string& m : memos) {
        blocks.push_back(static_cast<int>(b.size() / blockSize));
        std::string body = std::string("\xFF\xFF\x08\x00", 4) + le(m.size() + 8, 4) + m;
        body.resize((body.size() + blockSize - 1) / blockSize * blockSize, '\0');
        b += body;
    }
    putLe(b, 0, b.size() / blockSize, 4);
    putLe(b, 20, blockSize, 2);
    return b;
}

// FoxPro .FPT: a 512-byte header, then blocks of blockSize, each memo its type (1 text) and
// length, big-endian.
inline std::string foxMemo(const std::vector<std::string>& memos, std::vector<int>& blocks,
                           std::size_t blockSize, std::uint32_t type = 1) {
    std::string b(512, '\0');
    b.resize((b.size() + blockSize - 1) / blockSize * blockSize, '\0');
    for (const std::string& m : memos) {
        blocks.push_back(static_cast<int>(b.size() / blockSize));
        std::string body(8, '\0');
        putBe(body, 0, type, 4);
        putBe(body, 4, m.size(), 4);
        body += m;
        body.resize((body.size() + blockSize - 1) / blockSize * blockSize, '\0');
        b += body;
    }
    putBe(b, 0, b.size() / blockSize, 4);
    putBe(b, 6, blockSize, 2);
    return b;
}

} // namespace dbfbytes
