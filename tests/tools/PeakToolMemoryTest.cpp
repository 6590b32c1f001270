// peaktool build keeps no peaks in memory: its peak memory stays far below
// the size of the peak files it writes.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/support/TestHelpers.h"
#include "tests/support/TestMedia.h"
#include "tests/support/ToolRun.h"

namespace kx {

namespace {

// Runs peaktool under GNU time; the peak resident memory in KiB, or -1.
int64_t PeakMemoryKiB(const QStringList& args, ToolRun& run)
{
    ToolRunOptions options;
    options.timeoutMs = 120000;
    run = RunTool(QStringLiteral("/usr/bin/time"), QStringList{"-f", "maxrss %M", QStringLiteral(PEAKTOOL)} + args,
                  options);
    const qsizetype at = run.err.lastIndexOf(QStringLiteral("maxrss "));
    return at < 0 ? -1 : run.err.mid(at + 7).trimmed().toLongLong();
}

// 8-bit mono WAV at 1 Hz: each of its frames makes 48,000 records at the
// defaults with one frame per record.
QString OneHertzWav(const QTemporaryDir& dir, const QString& name, int frames)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(TestMedia::WriteWav(path, {1, 1, 8, frames}, TestMedia::Sine(0.1, 0.5, 1)));
    return path;
}

} // namespace

TEST(PeakToolMemory, buildingHoldsNoPeaksInMemoryWhateverTheirSize)
{
    if (UnderAddressSanitizer)
        GTEST_SKIP() << "memory is not the program's own under AddressSanitizer";
    if (!QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable())
        GTEST_SKIP() << "GNU time is not installed";
    QTemporaryDir dir;
    // 300 frames: 14.4 million records, a peak file of 110 MiB.
    const QString one = OneHertzWav(dir, QStringLiteral("one.wav"), 300);
    ToolRun run;
    const int64_t kib = PeakMemoryKiB({"build", "--no-progress", "--samples-per-peak=1", one}, run);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const int64_t peakBytes = QFileInfo(dir.filePath("one.pek")).size();
    ASSERT_EQ(peakBytes, 16 + int64_t(300) * 48000 * 8);
    ASSERT_GT(kib, 0) << run.err.toStdString();
    // The program itself (libraries, buffers of a few MiB), not the peaks.
    EXPECT_LT(kib * 1024, peakBytes / 3) << kib << " KiB for a peak file of " << peakBytes << " bytes";

    // Several files at once hold no more.
    QStringList files;
    for (int i = 0; i < 4; ++i)
        files << OneHertzWav(dir, QStringLiteral("f%1.wav").arg(i), 60);
    const int64_t four = PeakMemoryKiB(QStringList{"build", "--no-progress", "--samples-per-peak=1", "--jobs", "4"} + files, run);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_LT(four * 1024, 4 * (16 + int64_t(60) * 48000 * 8) / 3) << four << " KiB";
}

TEST(PeakToolMemory, keptPeaksThatCannotFitTheBudgetAreRefusedBeforeTheyStart)
{
    QTemporaryDir dir;
    // 20 frames: 960,000 records, 7.3 MiB kept for the waveform data.
    const QString one = OneHertzWav(dir, QStringLiteral("one.wav"), 20);
    ToolRunOptions options;
    options.timeoutMs = 60000;
    ToolRun r = RunTool(QStringLiteral(PEAKTOOL),
                        {"build", "--no-progress", "--samples-per-peak=1", "--format", "dat", "--max-memory", "2M", one},
                        options);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.lines, QStringList{"failed\t" + one + ": its peaks would take 7.3 MiB in memory, more than the 2.0 MiB allowed"})
        << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("one.dat")));
    r = RunTool(QStringLiteral(PEAKTOOL),
                {"build", "--no-progress", "--samples-per-peak=1", "--format", "dat", "--max-memory", "8M", one}, options);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("one.dat")));
    for (const char* bad : {"0", "lots", "-5M"}) {
        r = RunTool(QStringLiteral(PEAKTOOL), {"build", "--max-memory", bad, one}, options);
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_TRUE(r.err.contains("--max-memory")) << r.err.toStdString();
    }
}

// Kept peaks that cannot grow fail their file's build with the reason, and
// what fits is written straight from the kept peaks, without a second copy.
TEST(PeakToolMemory, keptPeaksThatCannotGrowFailTheirFileAndNoCopyIsMadeToWriteThem)
{
    if (UnderAddressSanitizer)
        GTEST_SKIP() << "the sanitizer reserves more address space than any limit";
    const QString prlimit = QStringLiteral("/usr/bin/prlimit");
    if (!QFileInfo(prlimit).isExecutable())
        GTEST_SKIP() << "prlimit is not installed";
    QTemporaryDir dir;
    // 600 frames: 28.8 million records, 220 MiB of peaks kept for the data.
    const QString one = OneHertzWav(dir, QStringLiteral("one.wav"), 600);
    const QStringList build = {QStringLiteral(PEAKTOOL), "build", "--no-progress", "--samples-per-peak=1",
                               "--format", "dat", one};
    ToolRunOptions options;
    options.timeoutMs = 120000;
    // The program takes about 80 MiB of address space before any peaks.
    ToolRun r = RunTool(prlimit, QStringList{"--as=209715200"} + build, options);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_EQ(r.lines, QStringList{"failed\t" + one + ": out of memory for its peak stream"}) << r.err.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"one.wav"});
    // Room for the peaks once, and far less than for them twice.
    r = RunTool(prlimit, QStringList{"--as=419430400"} + build, options);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    // Version 2 header, then 16-bit (min, max) pairs of two channels.
    EXPECT_EQ(QFileInfo(dir.filePath("one.dat")).size(), 24 + int64_t(600) * 48000 * 8);
}

TEST(PeakToolMemory, importingBinaryWaveformDataStreams)
{
    if (UnderAddressSanitizer)
        GTEST_SKIP() << "memory is not the program's own under AddressSanitizer";
    if (!QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable())
        GTEST_SKIP() << "GNU time is not installed";
    QTemporaryDir dir;
    // Version 2, 8-bit, mono, 44.1 kHz, 256 samples a pixel, 32 Mi pixels
    // and a few: 64 MiB of values, all zero (a sparse file), a peak file of
    // 64 MiB. (Exactly 32 Mi pixels would wrap the header's 32-bit length to
    // 0, which the viewer refuses.)
    const QString dat = dir.filePath("big.dat");
    constexpr uint32_t pixels = (32u << 20) + 1000;
    std::vector<uint8_t> header = {2, 0, 0, 0, 1, 0, 0, 0, 0x44, 0xac, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    header[16] = uint8_t(pixels), header[17] = uint8_t(pixels >> 8), header[18] = uint8_t(pixels >> 16),
    header[19] = uint8_t(pixels >> 24);
    ASSERT_TRUE(TestMedia::WriteFile(dat, header));
    ASSERT_TRUE(QFile::resize(dat, 24 + qint64(pixels) * 2));
    ToolRun run;
    const QString pek = dir.filePath("big.pek");
    const int64_t kib = PeakMemoryKiB({"import", dat, "-o", pek}, run);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(QFileInfo(pek).size(), 16 + qint64(pixels) * 2);
    ASSERT_GT(kib, 0);
    EXPECT_LT(kib * 1024, int64_t(pixels) * 2 / 3) << kib << " KiB to import " << pixels * 2 << " bytes";
}

} // namespace kx

namespace kx {

TEST(PeakToolMemory, importingJsonWaveformDataStreams)
{
    if (UnderAddressSanitizer)
        GTEST_SKIP() << "memory is not the program's own under AddressSanitizer";
    if (!QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable())
        GTEST_SKIP() << "GNU time is not installed";
    QTemporaryDir dir;
    // 8-bit mono at 44.1 kHz, 256 samples a pixel, 6 Mi pixels: 60 MB of
    // text, just under the 64 MiB that JSON may take.
    constexpr uint32_t pixels = 6u << 20;
    std::string json = "{\"version\":2,\"channels\":1,\"sample_rate\":44100,\"samples_per_pixel\":256,"
                       "\"bits\":8,\"length\":" + std::to_string(pixels) + ",\"data\":[";
    json.reserve(json.size() + size_t(pixels) * 10 + 2);
    for (uint32_t i = 0; i < pixels; ++i)
        json += i ? ",-100,100" : "-100,100";
    json += "]}";
    const QString input = dir.filePath("big.json");
    ASSERT_TRUE(TestMedia::WriteFile(input, std::vector<uint8_t>(json.begin(), json.end())));
    json = std::string();
    ToolRun run;
    const QString pek = dir.filePath("big.pek");
    const int64_t kib = PeakMemoryKiB({"import", input, "-o", pek}, run);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(QFileInfo(pek).size(), 16 + qint64(pixels) * 2);
    ASSERT_GT(kib, 0);
    // Once: 626 MB for 60 MB of JSON.
    EXPECT_LT(kib, 48 * 1024) << kib << " KiB to import " << QFileInfo(input).size() << " bytes of JSON";
}

} // namespace kx

namespace kx {

namespace {

// A WAV of silence at 16 kHz mono whose data is a hole on disk.
QString SparseWav(const QTemporaryDir& dir, const QString& name, uint32_t seconds)
{
    const QString path = dir.filePath(name);
    auto header = TestMedia::WavBytes({16000, 1, 16, 0}, TestMedia::Sine(1, 0.1, 16000));
    const uint32_t dataSize = 16000 * 2 * seconds;
    for (int i = 0; i < 4; ++i) {
        header[40 + size_t(i)] = uint8_t(dataSize >> (8 * i));
        header[4 + size_t(i)] = uint8_t((dataSize + 36) >> (8 * i));
    }
    EXPECT_TRUE(TestMedia::WriteFile(path, header));
    QFile f(path);
    EXPECT_TRUE(f.resize(44 + qint64(dataSize)));
    return path;
}

} // namespace

TEST(PeakToolMemory, waveformDataIntoAFileTakesTheSameMemoryAtAnyLength)
{
    if (UnderAddressSanitizer)
        GTEST_SKIP() << "memory is not the program's own under AddressSanitizer";
    if (!QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable())
        GTEST_SKIP() << "GNU time is not installed";
    QTemporaryDir dir;
    ToolRun run;
    const QString shortWav = SparseWav(dir, "short.wav", 60), longWav = SparseWav(dir, "long.wav", 2 * 3600);
    const int64_t small = PeakMemoryKiB({"waveform", "-i", shortWav, "-o", dir.filePath("short.dat"), "-z", "16"}, run);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    for (const QString ext : {"dat", "json"}) {
        const QString out = dir.filePath("long." + ext);
        const int64_t large = PeakMemoryKiB({"waveform", "-i", longWav, "-o", out, "-z", "16"}, run);
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        // 7.2 million pixels, 29 MB of 16-bit values: none of them held.
        ASSERT_GT(QFileInfo(out).size(), 28000000);
        EXPECT_LT(large - small, 8 * 1024) << small << " KiB for a minute, " << large << " KiB for two hours";
    }
}

} // namespace kx
