#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "peaks/PeakFormat.h"

namespace kx {

namespace {

std::vector<uint8_t> PeakBytes(const TPeakHeader& h, size_t recordBytes)
{
    std::vector<uint8_t> b(PeakHeaderSize + recordBytes, 0x80);
    EncodePeakHeader(h, b.data());
    return b;
}

PeakCheck Check(const std::vector<uint8_t>& b, PeakReader r)
{
    return CheckPeakData(b, b.size(), r);
}

TPeakHeader Valid()
{
    return MakePeakHeader(44100, 2, 16, 100, 10 * 10000000LL);
}

} // namespace

TEST(PeakFormat, headerLayoutIsLittleEndianWithoutPadding)
{
    TPeakHeader h{4, 2, 0x0000AC44, 0x01020304, 0x0506};
    uint8_t b[16];
    EncodePeakHeader(h, b);
    const uint8_t expected[16] = {'P', 'E', 'A', 'K', 4, 2, 0x44, 0xAC, 0, 0, 4, 3, 2, 1, 6, 5};
    EXPECT_EQ(0, memcmp(b, expected, 16));
    EXPECT_EQ(DecodePeakHeader(std::span<const uint8_t>(b, 16)), h);
    EXPECT_FALSE(DecodePeakHeader(std::span<const uint8_t>(b, 15)));
}

TEST(PeakFormat, pcmByteCountIsComputedWithTheDivisionLastAndWraps)
{
    EXPECT_EQ(ComputePcmByteCount(44100, 2, 16, 10 * 10000000LL), 1764000u);
    // 2.9 s at 48 kHz, 8-bit mono: nothing lost to an early division.
    EXPECT_EQ(ComputePcmByteCount(48000, 1, 8, 29000000LL), 139200u);
    // 7 hours of 48 kHz 16-bit stereo is past 4 GiB: only the low 32 bits stay.
    const int64_t sevenHours = 7LL * 3600 * 10000000;
    EXPECT_EQ(ComputePcmByteCount(48000, 2, 16, sevenHours), uint32_t(48000LL * 4 * 7 * 3600 % (1LL << 32)));
    EXPECT_EQ(MakePeakHeader(48000, 2, 8, 100, 0).BytesPerPeak, 2);
    EXPECT_EQ(MakePeakHeader(48000, 1, 8, 100, 0).BytesPerPeak, 2);
    EXPECT_EQ(MakePeakHeader(48000, 1, 16, 100, 0).BytesPerPeak, 4);
}

TEST(PeakFormat, durationAndRecordCount)
{
    const TPeakHeader h = Valid();
    EXPECT_EQ(PeakDurationMs(h), 10000);
    EXPECT_EQ(PeakRecordSize(h), 8);
    EXPECT_EQ(PeakRecordCount(h, 16 + 8 * 5 + 3), 5);
    EXPECT_EQ(PeakRecordCount(h, 10), 0);
}

TEST(PeakFormat, acceptanceDiffersByReader)
{
    auto b = PeakBytes(Valid(), 8);
    for (auto r : {PeakReader::Builder, PeakReader::ViewerFile, PeakReader::ViewerStream})
        EXPECT_EQ(Check(b, r), PeakCheck::Accepted);

    b[4] = 1;  // BytesPerPeak 1: both file readers take it, the stream reader does not
    EXPECT_EQ(Check(b, PeakReader::Builder), PeakCheck::Accepted);
    EXPECT_EQ(Check(b, PeakReader::ViewerFile), PeakCheck::Accepted);
    EXPECT_EQ(Check(b, PeakReader::ViewerStream), PeakCheck::BadBytesPerPeak);
    b[4] = 3;
    EXPECT_EQ(Check(b, PeakReader::Builder), PeakCheck::BadBytesPerPeak);

    auto header = PeakBytes(Valid(), 0);  // header only
    EXPECT_EQ(Check(header, PeakReader::Builder), PeakCheck::Accepted);
    EXPECT_EQ(Check(header, PeakReader::ViewerFile), PeakCheck::NoRecords);
    EXPECT_EQ(Check(header, PeakReader::ViewerStream), PeakCheck::NoRecords);

    header.pop_back();
    EXPECT_EQ(Check(header, PeakReader::Builder), PeakCheck::TooShort);
    EXPECT_EQ(Check({}, PeakReader::ViewerFile), PeakCheck::TooShort);
}

TEST(PeakFormat, testsRunInOrderAndStopAtTheFirstFailure)
{
    auto b = PeakBytes(Valid(), 8);
    b[0] = 'X';
    b[5] = 3;  // also bad channels, but the magic is tested first
    EXPECT_EQ(Check(b, PeakReader::Builder), PeakCheck::BadMagic);
    b[0] = 'P';
    EXPECT_EQ(Check(b, PeakReader::Builder), PeakCheck::BadChannels);
    b[5] = 0;
    EXPECT_EQ(Check(b, PeakReader::ViewerFile), PeakCheck::BadChannels);
}

TEST(PeakFormat, sampleRateBounds)
{
    for (uint32_t rate : {8000u, 48000u, 22050u}) {
        TPeakHeader h = Valid();
        h.SamplesPerSecond = rate;
        EXPECT_EQ(Check(PeakBytes(h, 8), PeakReader::ViewerFile), PeakCheck::Accepted) << rate;
    }
    for (uint32_t rate : {7999u, 48001u, 0u, 0xFFFFFFFFu}) {
        TPeakHeader h = Valid();
        h.SamplesPerSecond = rate;
        EXPECT_EQ(Check(PeakBytes(h, 8), PeakReader::Builder), PeakCheck::BadSampleRate) << rate;
    }
}

TEST(PeakFormat, viewerOnlyTestsOfSamplesPerPeakAndPcmByteCount)
{
    TPeakHeader h = Valid();
    h.SamplesPerPeak = 0;
    EXPECT_EQ(Check(PeakBytes(h, 8), PeakReader::Builder), PeakCheck::Accepted);
    EXPECT_EQ(Check(PeakBytes(h, 8), PeakReader::ViewerFile), PeakCheck::ZeroSamplesPerPeak);

    h = Valid();
    h.SamplesPerPeak = 10;  // 44100 / (2 × 10 × 4) = 551 bytes at least
    h.PcmByteCount = 550;
    EXPECT_EQ(Check(PeakBytes(h, 8), PeakReader::ViewerStream), PeakCheck::PcmByteCountTooSmall);
    h.PcmByteCount = 551;
    EXPECT_EQ(Check(PeakBytes(h, 8), PeakReader::ViewerStream), PeakCheck::Accepted);
}

namespace {

// The wave viewer's own file: "PEAK", block align, channels, rate, data
// size, then `records` records of (max, min) per channel around mid-scale.
std::vector<uint8_t> WaveViewerBytes(uint8_t blockAlign, uint8_t channels, uint32_t rate, uint32_t dataSize,
                                     size_t records)
{
    std::vector<uint8_t> b = {'P', 'E', 'A', 'K', blockAlign, channels};
    b.resize(14);
    b[6] = uint8_t(rate), b[7] = uint8_t(rate >> 8), b[8] = uint8_t(rate >> 16), b[9] = uint8_t(rate >> 24);
    b[10] = uint8_t(dataSize), b[11] = uint8_t(dataSize >> 8), b[12] = uint8_t(dataSize >> 16);
    b[13] = uint8_t(dataSize >> 24);
    const bool wide = blockAlign / channels == 2;
    for (size_t r = 0; r < records; ++r)
        for (int c = 0; c < channels; ++c) {
            if (wide)
                b.insert(b.end(), {0x40, 0xA1, 0x10, 0x5E});  // 0xA140 over 0x5E10
            else
                b.insert(b.end(), {0xC3, 0x31});
        }
    return b;
}

} // namespace

TEST(PeakFormat, theWaveViewersPeakFileIsToldApartAndRefusedByTheFileReaders)
{
    struct Layout {
        uint8_t blockAlign, channels;
    };
    // 10 s at 44100 Hz shown 30 s to 400 pixels: 3308 frames per record.
    for (const Layout l : {Layout{1, 1}, Layout{2, 1}, Layout{2, 2}, Layout{4, 2}})
        for (size_t records : {size_t(1), size_t(2), size_t(133), size_t(134), size_t(4000)}) {
            const auto b = WaveViewerBytes(l.blockAlign, l.channels, 44100, 441000u * l.blockAlign, records);
            SCOPED_TRACE(testing::Message() << int(l.blockAlign) << "/" << int(l.channels) << " " << records);
            EXPECT_EQ(DetectPeakFileKind(b, b.size()), PeakFileKind::WaveViewer);
            EXPECT_EQ(Check(b, PeakReader::Builder), PeakCheck::WaveViewerFile);
            EXPECT_EQ(Check(b, PeakReader::ViewerFile), PeakCheck::WaveViewerFile);
            EXPECT_NE(Check(b, PeakReader::ViewerStream), PeakCheck::WaveViewerFile);
        }
    EXPECT_TRUE(PeakCheckText(PeakCheck::WaveViewerFile).contains("wave viewer"));

    // Files of this layout, as the builder writes them, in every output format.
    for (uint32_t channels : {1u, 2u})
        for (uint32_t bits : {8u, 16u})
            for (int64_t tenths : {1, 7, 29, 600}) {
                const TPeakHeader h = MakePeakHeader(44100, channels, bits, 100, tenths * 1000000);
                const int64_t records = (int64_t(h.PcmByteCount) / (channels * bits / 8) + 99) / 100;
                const auto b = PeakBytes(h, size_t(records * PeakRecordSize(h)));
                SCOPED_TRACE(testing::Message() << channels << "ch " << bits << "bit " << tenths);
                EXPECT_EQ(DetectPeakFileKind(b, b.size()), PeakFileKind::Builder);
                EXPECT_EQ(Check(b, PeakReader::Builder), PeakCheck::Accepted);
                EXPECT_EQ(Check(b, PeakReader::ViewerFile), PeakCheck::Accepted);
            }
}

TEST(PeakFile, refusedOrMissingFilesLeaveTheOutputUntouched)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.pek");
    const auto bytes = PeakBytes(Valid(), 24);
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    f.close();

    std::vector<uint8_t> out{1, 2, 3};
    EXPECT_EQ(ReadPeakFile(good, PeakReader::ViewerFile, out), PeakCheck::Accepted);
    EXPECT_EQ(out, bytes);

    std::vector<uint8_t> kept{9};
    EXPECT_EQ(ReadPeakFile(dir.filePath("missing.pek"), PeakReader::Builder, kept), PeakCheck::CannotOpen);
    EXPECT_EQ(ReadPeakFile(dir.path(), PeakReader::Builder, kept), PeakCheck::CannotOpen);  // a folder

    QFile bad(dir.filePath("bad.pek"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("PEAK\x04\x03", 6);
    bad.write(QByteArray(20, 0));
    bad.close();
    EXPECT_EQ(ReadPeakFile(bad.fileName(), PeakReader::Builder, kept), PeakCheck::BadChannels);

    QFile empty(dir.filePath("empty.pek"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(ReadPeakFile(empty.fileName(), PeakReader::Builder, kept), PeakCheck::TooShort);
    EXPECT_EQ(kept, std::vector<uint8_t>{9});
}

TEST(PeakFormat, aLengthTheFileSizeContradictsIsNotTrusted)
{
    // One second needs 125 bytes at the lowest stream rate of 1 kbit/s.
    EXPECT_TRUE(DurationFitsFile(10000000, 125));
    EXPECT_FALSE(DurationFitsFile(10000000, 124));
    // An MP3 tag claiming 0xFFFFFFFF frames of 1152 samples at 44.1 kHz, in 100 KB.
    const int64_t claimed = int64_t(0xFFFFFFFFull * 1152 * 10000000 / 44100);
    EXPECT_FALSE(DurationFitsFile(claimed, 100000));
    EXPECT_TRUE(DurationFitsFile(claimed, INT64_MAX));
    // Nothing known, nothing contradicted.
    EXPECT_TRUE(DurationFitsFile(0, 0));
}

TEST(PeakFormat, recordsMissingAgainstTheHeadersLengthMarkAFileCutShort)
{
    // 1,440 records of 16-bit stereo at 48 kHz, 100 frames each (3 s).
    const TPeakHeader h = MakePeakHeader(48000, 2, 16, 100, 30000000);
    const uint64_t whole = PeakHeaderSize + 1440u * 8;
    EXPECT_FALSE(PeakRecordsMissing(h, whole));
    EXPECT_FALSE(PeakRecordsMissing(h, whole - 8));  // a partial last run's slack
    EXPECT_TRUE(PeakRecordsMissing(h, 1000));          // the first 1,000 bytes: 123 records
    EXPECT_TRUE(PeakRecordsMissing(h, PeakHeaderSize));
    // More records than the length is no cut; the header-only file of a silent track is whole.
    EXPECT_FALSE(PeakRecordsMissing(h, whole + 800));
    EXPECT_FALSE(PeakRecordsMissing(MakePeakHeader(48000, 2, 16, 100, 0), PeakHeaderSize));
    // 8-bit mono, and a length whose low 32 bits wrapped (7 hours at 48 kHz stereo 16-bit).
    const TPeakHeader mono = MakePeakHeader(8000, 1, 8, 10, 20000000);
    EXPECT_FALSE(PeakRecordsMissing(mono, PeakHeaderSize + 1600u * 2));
    EXPECT_TRUE(PeakRecordsMissing(mono, PeakHeaderSize + 800u * 2));
    const int64_t seven = 7 * 3600 * 10000000LL;
    const TPeakHeader wrapped = MakePeakHeader(48000, 2, 16, 100, seven);
    EXPECT_FALSE(PeakRecordsMissing(wrapped, PeakHeaderSize + uint64_t(7 * 3600 * 480) * 8));
}

} // namespace kx
