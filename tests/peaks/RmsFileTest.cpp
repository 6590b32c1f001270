// The RMS side file: a round trip, refusals of damaged files with a reason,
// when a side file counts for its peak file, and the output rules.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <utime.h>

#include "peaks/RmsFile.h"
#include "platform/LittleEndian.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

RmsData RandomRms(int64_t records, uint16_t channels, uint32_t seed)
{
    RmsData d;
    d.channels = channels;
    d.samplesPerPeak = 100;
    d.rate = 44100;
    std::mt19937 random(seed);
    d.values.resize(size_t(records) * channels);
    for (uint16_t& v : d.values)
        v = uint16_t(random() % 32768);
    return d;
}

TPeakHeader HeaderFor(const RmsData& d)
{
    TPeakHeader h;
    h.Channels = uint8_t(d.channels);
    h.SamplesPerPeak = d.samplesPerPeak;
    h.SamplesPerSecond = d.rate;
    return h;
}

// Sets a file's modification time to `seconds` since the epoch.
bool SetModified(const QString& name, time_t seconds)
{
    utimbuf t{seconds, seconds};
    return utime(QFile::encodeName(name).constData(), &t) == 0;
}

} // namespace

TEST(RmsFile, roundTripsThroughTheOutputPath)
{
    QTemporaryDir dir;
    const QString name = RmsFileFor(dir.filePath(QStringLiteral("a.pk")));
    EXPECT_TRUE(name.endsWith(QStringLiteral("a.pk.rms")));
    for (uint16_t channels : {uint16_t(1), uint16_t(2)}) {
        const RmsData d = RandomRms(333, channels, channels);
        QString error;
        ASSERT_TRUE(WriteRmsFile(name, d, {}, error)) << error.toStdString();
        EXPECT_EQ(KindOfFile(name), FileKind::Rms);
        EXPECT_EQ(QFile(name).size(), qint64(RmsHeaderSize + 2 * d.values.size()));
        RmsData back;
        ASSERT_TRUE(ReadRmsFile(name, back, error)) << error.toStdString();
        EXPECT_EQ(back, d);
        EXPECT_EQ(back.Records(), 333);
    }
}

TEST(RmsFile, levelsAreTheRootOfTheMeanSquareInSampleUnits)
{
    // A full-scale sine sampled at its peaks and zero crossings: mean square 1/2.
    EXPECT_EQ(RmsValue(2.0 * 32767.0 * 32767.0, 4), 23170);
    EXPECT_EQ(RmsValue(100.0 * 1000.0 * 1000.0, 100), 1000);
    EXPECT_EQ(RmsValue(0, 10), 0);
    EXPECT_EQ(RmsValue(5, 0), 0);
    EXPECT_EQ(RmsValue(1e30, 1), 65535);
    EXPECT_EQ(RmsValue(std::nan(""), 1), 0);
}

TEST(RmsFile, damagedFilesAreRefusedWithAReason)
{
    const std::vector<uint8_t> good = EncodeRms(RandomRms(10, 2, 3));
    using Damage = std::function<void(std::vector<uint8_t>&)>;
    const std::vector<std::pair<const char*, Damage>> damages = {
        {"empty", [](auto& b) { b.clear(); }},
        {"half a header", [](auto& b) { b.resize(20); }},
        {"one byte short", [](auto& b) { b.pop_back(); }},
        {"a record short", [](auto& b) { b.resize(b.size() - 4); }},
        {"one value more", [](auto& b) { b.push_back(0), b.push_back(0); }},
        {"magic", [](auto& b) { b[0] = 'X'; }},
        {"version", [](auto& b) { b[4] = 2; }},
        {"header size", [](auto& b) { b[6] = 16; }},
        {"three channels", [](auto& b) { b[8] = 3; }},
        {"no channel", [](auto& b) { b[8] = 0; }},
        {"no frames per record", [](auto& b) { WriteU16LE(b.data() + 10, 0); }},
        {"rate 0", [](auto& b) { WriteU32LE(b.data() + 12, 0); }},
        {"more records", [](auto& b) { b[16] = 11; }},
        {"huge record count", [](auto& b) { b[23] = 0x40; }},
        {"reserved", [](auto& b) { b[30] = 1; }},
    };
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("d.rms"));
    const RmsData before = RandomRms(2, 1, 4);
    for (const auto& [what, damage] : damages) {
        SCOPED_TRACE(what);
        std::vector<uint8_t> bytes = good;
        damage(bytes);
        RmsData out = before;
        EXPECT_FALSE(DecodeRms(bytes, out).isEmpty());
        EXPECT_EQ(out, before);
        ASSERT_TRUE(TestMedia::WriteFile(name, bytes));
        QString error;
        EXPECT_FALSE(ReadRmsFile(name, out, error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(out, before);
    }
    RmsData out;
    EXPECT_TRUE(DecodeRms(good, out).isEmpty());
}

TEST(RmsFile, aSideFileCountsOnlyWhileItIsCurrentAndMatchesItsPeakFile)
{
    QTemporaryDir dir;
    const QString peaks = dir.filePath(QStringLiteral("a.pk"));
    ASSERT_TRUE(TestMedia::WriteFile(peaks, std::vector<uint8_t>(16 + 40 * 4, 0x80)));
    const RmsData d = RandomRms(40, 2, 9);
    const TPeakHeader header = HeaderFor(d);
    QString why;
    EXPECT_FALSE(ReadRmsFor(peaks, header, 40, &why));
    EXPECT_FALSE(why.isEmpty());

    QString error;
    ASSERT_TRUE(WriteRmsFile(RmsFileFor(peaks), d, {}, error)) << error.toStdString();
    ASSERT_TRUE(SetModified(peaks, 1'000'000) && SetModified(RmsFileFor(peaks), 1'000'000));
    const auto same = ReadRmsFor(peaks, header, 40, &why);
    ASSERT_TRUE(same) << why.toStdString();
    EXPECT_EQ(*same, d);

    // Another record count, channel count, grid or rate: not these peaks.
    EXPECT_FALSE(ReadRmsFor(peaks, header, 41));
    TPeakHeader other = header;
    other.Channels = 1;
    EXPECT_FALSE(ReadRmsFor(peaks, other, 40));
    other = header;
    other.SamplesPerPeak = 200;
    EXPECT_FALSE(ReadRmsFor(peaks, other, 40));
    other = header;
    other.SamplesPerSecond = 48000;
    EXPECT_FALSE(ReadRmsFor(peaks, other, 40));

    // A peak file rebuilt after its side file leaves the side file stale.
    ASSERT_TRUE(SetModified(peaks, 1'000'001));
    EXPECT_FALSE(ReadRmsFor(peaks, header, 40, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("older")));
}

TEST(RmsFile, neverReplacesThePeakFileItsMediaOrAReadOnlyFile)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("a.wav")), peaks = dir.filePath(QStringLiteral("a.pk"));
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 1, 16, 4410}, TestMedia::Sine(440, 0.5, 44100)));
    std::vector<uint8_t> peakBytes(16 + 4 * 10, 0x80);
    uint8_t head[PeakHeaderSize];
    EncodePeakHeader(TPeakHeader{}, head);
    std::copy(head, head + PeakHeaderSize, peakBytes.begin());
    ASSERT_TRUE(TestMedia::WriteFile(peaks, peakBytes));
    const QByteArray media = ReadFileContents(wav), peakFile = ReadFileContents(peaks);
    QString error;
    for (const QString& target : {wav, peaks}) {
        EXPECT_FALSE(WriteRmsFile(target, RandomRms(5, 2, 5), {}, error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(ReadFileContents(wav), media);
    EXPECT_EQ(ReadFileContents(peaks), peakFile);

    const QString rms = RmsFileFor(peaks);
    ASSERT_TRUE(WriteRmsFile(rms, RandomRms(5, 2, 6), {}, error));
    ASSERT_EQ(chmod(QFile::encodeName(rms).constData(), 0444), 0);
    const QByteArray old = ReadFileContents(rms);
    EXPECT_FALSE(WriteRmsFile(rms, RandomRms(7, 2, 7), {}, error));
    EXPECT_EQ(ReadFileContents(rms), old);
}

} // namespace kx
