// The side file: a round trip, refusals of damaged files with a reason, the
// output rules; and the pyramid's levels against a direct reduction.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sys/stat.h>

#include "platform/LittleEndian.h"
#include "spectrogram/SpectrogramFile.h"
#include "spectrogram/SpectrogramPyramid.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

SpectrogramData RandomSpectrogram(uint64_t columns, uint32_t seed)
{
    SpectrogramData d;
    d.rate = 48000;
    d.frames = columns ? columns * d.hop - 17 : 0;
    std::mt19937 random(seed);
    d.values.resize(size_t(columns) * d.bands);
    for (uint8_t& v : d.values)
        v = uint8_t(random());
    return d;
}

bool SameSpectrogram(const SpectrogramData& a, const SpectrogramData& b)
{
    return a.rate == b.rate && a.hop == b.hop && a.window == b.window && a.bands == b.bands && a.lowHz == b.lowHz &&
           a.floorDb == b.floorDb && a.frames == b.frames && a.values == b.values;
}

TEST(SpectrogramFile, roundTripsThroughTheOutputPath)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("a.wav.sgram"));
    const SpectrogramData d = RandomSpectrogram(300, 1);
    QString error;
    ASSERT_TRUE(WriteSpectrogramFile(name, d, {}, error)) << error.toStdString();
    EXPECT_EQ(KindOfFile(name), FileKind::Spectrogram);
    EXPECT_EQ(QFile(name).size(), qint64(SpectrogramHeaderSize + d.values.size()));
    SpectrogramData back;
    ASSERT_TRUE(ReadSpectrogramFile(name, back, error)) << error.toStdString();
    EXPECT_TRUE(SameSpectrogram(back, d));
    // A newer one replaces it; an empty spectrogram is a valid file.
    ASSERT_TRUE(WriteSpectrogramFile(name, RandomSpectrogram(0, 2), {}, error)) << error.toStdString();
    ASSERT_TRUE(ReadSpectrogramFile(name, back, error)) << error.toStdString();
    EXPECT_EQ(back.Columns(), 0u);
    EXPECT_EQ(SpectrogramFileFor(QStringLiteral("/m/song.flac")), QStringLiteral("/m/song.flac.sgram"));
}

TEST(SpectrogramFile, damagedFilesAreRefusedWithAReason)
{
    const std::vector<uint8_t> good = EncodeSpectrogram(RandomSpectrogram(10, 3));
    using Damage = std::function<void(std::vector<uint8_t>&)>;
    const std::vector<std::pair<const char*, Damage>> damages = {
        {"empty", [](auto& b) { b.clear(); }},
        {"half a header", [](auto& b) { b.resize(20); }},
        {"one byte short", [](auto& b) { b.pop_back(); }},
        {"a column short", [](auto& b) { b.resize(b.size() - 256); }},
        {"one byte more", [](auto& b) { b.push_back(0); }},
        {"magic", [](auto& b) { b[0] = 'X'; }},
        {"version", [](auto& b) { b[4] = 2; }},
        {"header size", [](auto& b) { b[6] = 40; }},
        {"rate 0", [](auto& b) { WriteU32LE(b.data() + 8, 0); }},
        {"hop 0", [](auto& b) { WriteU32LE(b.data() + 12, 0); }},
        {"odd window", [](auto& b) { WriteU32LE(b.data() + 16, 4095); }},
        {"no bands", [](auto& b) { WriteU16LE(b.data() + 20, 0); }},
        {"band rule", [](auto& b) { b[22] = 7; }},
        {"low edge past Nyquist", [](auto& b) { WriteU32LE(b.data() + 24, 30000); }},
        {"more columns", [](auto& b) { b[32] = 11; }},
        {"huge column count", [](auto& b) { b[39] = 0x40; }},
        {"frames beyond the columns", [](auto& b) { WriteU32LE(b.data() + 40, 11 * 1024); }},
        {"frames short of the last column", [](auto& b) { WriteU32LE(b.data() + 40, 9 * 1024); }},
    };
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("d.sgram"));
    const SpectrogramData before = RandomSpectrogram(2, 4);
    for (const auto& [what, damage] : damages) {
        SCOPED_TRACE(what);
        std::vector<uint8_t> bytes = good;
        damage(bytes);
        SpectrogramData out = before;
        EXPECT_FALSE(DecodeSpectrogram(bytes, out).isEmpty());
        EXPECT_TRUE(SameSpectrogram(out, before));
        ASSERT_TRUE(TestMedia::WriteFile(name, bytes));
        QString error;
        EXPECT_FALSE(ReadSpectrogramFile(name, out, error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(SameSpectrogram(out, before));
    }
    SpectrogramData out;
    EXPECT_TRUE(DecodeSpectrogram(good, out).isEmpty());
}

TEST(SpectrogramFile, neverReplacesItsMediaOrAReadOnlyFile)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("a.wav")), sgram = dir.filePath(QStringLiteral("a.wav.sgram"));
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 1, 16, 4410}, TestMedia::Sine(440, 0.5, 44100)));
    const QByteArray media = ReadFileContents(wav);
    OutputRules rules;
    rules.Input(wav);
    QString error;
    EXPECT_FALSE(WriteSpectrogramFile(wav, RandomSpectrogram(5, 5), rules, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadFileContents(wav), media);
    // Media given as no input is still never replaced: it is of another kind.
    EXPECT_FALSE(WriteSpectrogramFile(wav, RandomSpectrogram(5, 5), {}, error));
    EXPECT_EQ(ReadFileContents(wav), media);
    ASSERT_TRUE(WriteSpectrogramFile(sgram, RandomSpectrogram(5, 6), rules, error));
    ASSERT_EQ(chmod(QFile::encodeName(sgram).constData(), 0444), 0);
    const QByteArray old = ReadFileContents(sgram);
    EXPECT_FALSE(WriteSpectrogramFile(sgram, RandomSpectrogram(7, 7), rules, error));
    EXPECT_EQ(ReadFileContents(sgram), old);
}

TEST(SpectrogramPyramid, eachLevelIsTheReductionOfTheColumns)
{
    // An odd count, so that every level ends in a shorter group.
    const SpectrogramData d = RandomSpectrogram(1001, 8);
    const SpectrogramPyramid pyramid(d);
    ASSERT_EQ(pyramid.Levels(), 11);  // 1001, 501, ..., 1 columns
    EXPECT_EQ(pyramid.Columns(pyramid.Levels() - 1), 1u);
    for (int k = 0; k < pyramid.Levels(); ++k) {
        const std::vector<uint8_t> reduced = ReduceColumns(d.values, d.bands, uint64_t(1) << k);
        const auto level = pyramid.Level(k);
        EXPECT_TRUE(std::equal(level.begin(), level.end(), reduced.begin(), reduced.end())) << "level " << k;
    }
    // By hand: two bands, three columns.
    const std::vector<uint8_t> three = {1, 9, 5, 2, 7, 3};
    EXPECT_EQ(ReduceColumns(three, 2, 2), (std::vector<uint8_t>{5, 9, 7, 3}));
    EXPECT_EQ(ReduceColumns(three, 2, 4), (std::vector<uint8_t>{7, 9}));
    EXPECT_EQ(SpectrogramPyramid(SpectrogramData{}).Levels(), 0);
}

} // namespace

} // namespace kx
