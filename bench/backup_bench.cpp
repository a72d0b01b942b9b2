// The backup copy: 2048-byte blocks into a hidden file, flushed to disk, size checked and
// renamed over the target. Compared with the library's own copy followed by the same flush.

#include "backup/file_copy.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;

// A source file of the given size in a fresh directory.
struct Files {
    QTemporaryDir dir;
    QString source;
    QString target;
    explicit Files(qint64 bytes) {
        source = dir.filePath(QStringLiteral("SOURCE.DBF"));
        target = dir.filePath(QStringLiteral("TARGET.DBF"));
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly))
            return;
        QByteArray block(static_cast<int>(kMegabyte), '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(i * 31);
        for (qint64 left = bytes; left > 0; left -= kMegabyte)
            f.write(block.constData(), std::min(left, kMegabyte));
    }
};

void BM_BackupCopy(benchmark::State& state) {
    const qint64 bytes = state.range(0) * kMegabyte;
    Files files(bytes);
    for (auto _ : state) {
        if (copyFile(files.source, files.target) != CopyResult::Copied)
            state.SkipWithError("copy failed");
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_BackupCopy)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LibraryCopyAndFlush(benchmark::State& state) {
    const qint64 bytes = state.range(0) * kMegabyte;
    Files files(bytes);
    const std::string source = QFile::encodeName(files.source).toStdString();
    const std::string target = QFile::encodeName(files.target).toStdString();
    for (auto _ : state) {
        std::filesystem::copy_file(source, target,
                                   std::filesystem::copy_options::overwrite_existing);
        const int fd = ::open(target.c_str(), O_RDONLY);
        ::fsync(fd);
        ::close(fd);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_LibraryCopyAndFlush)
    ->Arg(1)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
