#include "memo_file.h"

#include "database_error.h"
#include "file_io.h"
#include "little_endian.h"
#include "text.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dbase {

namespace {

constexpr std::uint32_t kDbase3BlockSize = 512;
constexpr std::size_t kDbtHeaderSize = 512;
constexpr std::size_t kDbtBlockSize = 20;
constexpr std::size_t kDbase4BlockHeader = 8;
constexpr std::size_t kDbase4TextOffset = 2;
constexpr std::size_t kDbase4Length = 4;
constexpr char kDbaseMemoEnd = 0x1A;

constexpr std::size_t kFptHeaderSize = 512;
constexpr std::size_t kFptBlockSize = 6;
constexpr std::size_t kFptBlockHeader = 8;
constexpr std::size_t kFptLength = 4;

constexpr std::size_t kReadChunk = 4096;

std::uint16_t readU16BigEndian(std::string_view b, std::size_t offset) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[offset]) << 8 |
                                      static_cast<unsigned char>(b[offset + 1]));
}

std::uint32_t readU32BigEndian(std::string_view b, std::size_t offset) {
    return std::uint32_t{readU16BigEndian(b, offset)} << 16 | readU16BigEndian(b, offset + 2);
}

} // namespace

fs::path MemoFile::pathFor(const fs::path& tableFile, Kind kind) {
    const bool fox = kind == Kind::FoxPro;
    const std::string ext = tableFile.extension().string();
    const bool lowerFirst = !ext.empty() && ext != text::upper(ext);
    fs::path upper = tableFile;
    upper.replace_extension(fox ? ".FPT" : ".DBT");
    fs::path lower = tableFile;
    lower.replace_extension(fox ? ".fpt" : ".dbt");
    const fs::path& first = lowerFirst ? lower : upper;
    const fs::path& second = lowerFirst ? upper : lower;
    std::error_code ec;
    if (!fs::exists(first, ec) && fs::exists(second, ec))
        return second;
    return first;
}

MemoFile::MemoFile(fs::path path, Kind kind) : m_path(std::move(path)), m_kind(kind) {
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_problem = errno == ENOENT ? "the memo file is missing"
                                    : std::string("the memo file cannot be opened (") +
                                          std::strerror(errno) + ")";
        return;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_problem = "the memo file is not a regular file";
        return;
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    if (m_kind == Kind::Dbase3)
        return;
    const std::size_t headerSize = m_kind == Kind::FoxPro ? kFptHeaderSize : kDbtHeaderSize;
    std::string header(headerSize, '\0');
    // Some writers leave the header short when no memo was ever written; only the block size
    // matters, and it sits in the first few bytes.
    const std::size_t need = m_kind == Kind::FoxPro ? kFptBlockSize + 2 : kDbtBlockSize + 2;
    if (m_size < need || !io::readAt(m_fd, header.data(), need, 0)) {
        m_problem = "the memo file's header is cut short";
        return;
    }
    if (m_kind == Kind::FoxPro) {
        m_blockSize = readU16BigEndian(header, kFptBlockSize);
        if (m_blockSize == 0)
            m_problem = "the memo file's header gives a block size of 0";
    } else {
        const std::uint16_t size = readU16(header, kDbtBlockSize);
        m_blockSize = size == 0 ? kDbase3BlockSize : size;
    }
}

MemoFile::~MemoFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void MemoFile::fail(const std::string& what) const {
    throw DatabaseError(m_path.string() + ": " + what + ".");
}

std::string MemoFile::read(std::uint32_t block) const {
    if (block == 0)
        return {};
    if (!m_problem.empty())
        fail(m_problem);
    struct stat st {};
    const std::uint64_t size =
        ::fstat(m_fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : m_size;
    const std::uint64_t offset = std::uint64_t{block} * m_blockSize;
    const std::string where = "memo block " + std::to_string(block);
    // The header is no memo: a block number pointing into it is as wrong as one past the end.
    const std::uint64_t headerEnd = m_kind == Kind::FoxPro ? kFptHeaderSize : m_blockSize;
    if (offset < headerEnd)
        fail(where + " lies inside the file's header");
    if (offset >= size)
        fail(where + " is past the end of the file");

    if (m_kind == Kind::FoxPro) {
        std::string head(kFptBlockHeader, '\0');
        if (offset + kFptBlockHeader > size || !io::readAt(m_fd, head.data(), head.size(), offset))
            fail(where + " is cut short");
        const std::uint32_t length = readU32BigEndian(head, kFptLength);
        if (length > size - offset - kFptBlockHeader)
            fail(where + " says it holds " + std::to_string(length) +
                 " bytes, more than the file has left");
        std::string data(length, '\0');
        if (length > 0 && !io::readAt(m_fd, data.data(), length, offset + kFptBlockHeader))
            fail(where + " cannot be read");
        return data;
    }

    std::string head(kDbase4BlockHeader, '\0');
    const bool marked = m_kind == Kind::Dbase4 && offset + kDbase4BlockHeader <= size &&
                        io::readAt(m_fd, head.data(), head.size(), offset) && head[0] == '\xFF' &&
                        head[1] == '\xFF';
    if (!marked)
        return readDbase3(offset);
    const std::uint16_t textOffset = readU16(head, kDbase4TextOffset);
    const std::uint32_t length = readU32(head, kDbase4Length);
    if (textOffset < kDbase4BlockHeader || length < textOffset)
        fail(where + " has a garbled header");
    if (length > size - offset)
        fail(where + " says it holds " + std::to_string(length) +
             " bytes, more than the file has left");
    std::string data(length - textOffset, '\0');
    if (!data.empty() && !io::readAt(m_fd, data.data(), data.size(), offset + textOffset))
        fail(where + " cannot be read");
    return data;
}

// Text up to the first end mark, or to the end of the file when a writer left it out.
std::string MemoFile::readDbase3(std::uint64_t offset) const {
    std::string data;
    char chunk[kReadChunk];
    while (true) {
        const ssize_t n = ::pread(m_fd, chunk, sizeof chunk, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("a memo cannot be read (" + std::string(std::strerror(errno)) + ")");
        }
        if (n == 0)
            return data;
        const std::string_view got(chunk, static_cast<std::size_t>(n));
        const std::size_t end = got.find(kDbaseMemoEnd);
        data.append(got.substr(0, end));
        if (end != std::string_view::npos)
            return data;
        offset += static_cast<std::uint64_t>(n);
    }
}

bool parseMemoBlock(std::string_view bytes, std::uint32_t& block) {
    if (bytes.size() == 4 && bytes.find_first_not_of(' ') != std::string_view::npos) {
        block = readU32(bytes, 0);
        return true;
    }
    const std::string_view t = text::trim(bytes);
    block = 0;
    if (t.empty())
        return true;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), block);
    return ec == std::errc() && end == t.data() + t.size();
}

} // namespace dbase
