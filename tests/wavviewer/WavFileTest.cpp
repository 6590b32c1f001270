#include <gtest/gtest.h>

#include "WavTestFiles.h"
#include "platform/MemoryStream.h"
#include "wavviewer/WavFile.h"

namespace kx {

using namespace WavTest;

namespace {

WavCheck Parse(const std::vector<uint8_t>& bytes, WavInfo& info)
{
    MemoryByteReader reader(bytes);
    return ReadWavHeader(reader, info);
}

} // namespace

TEST(WavHeader, readsCanonicalFileAndPointsAtTheData)
{
    const auto pcm = Noise(400, 1);
    const auto file = Riff({Fmt(2, 44100, 16), Chunk("data", pcm)});
    WavInfo info;
    ASSERT_EQ(Parse(file, info), WavCheck::Ok);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.BlockAlign, 4);
    EXPECT_EQ(info.SampleRate, 44100);
    EXPECT_EQ(info.BitsPerSample, 16);
    EXPECT_EQ(info.DataSize, 400u);
    EXPECT_EQ(info.DataOffset, 44u);
}

TEST(WavHeader, skipsChunksBeforeDataHonouringThePadByte)
{
    const auto pcm = Noise(10, 2);
    // A list chunk, then an odd-sized chunk followed by its pad byte.
    const auto file = Riff({Fmt(1, 8000, 8), Chunk("LIST", std::vector<uint8_t>(26, 'x')),
                            Chunk("odd ", std::vector<uint8_t>(5, 'y')), Chunk("data", pcm)});
    WavInfo info;
    ASSERT_EQ(Parse(file, info), WavCheck::Ok);
    EXPECT_EQ(info.DataSize, 10u);
    EXPECT_EQ(info.DataOffset, 44u + 34u + 14u);
    EXPECT_EQ(file[info.DataOffset], pcm[0]);
}

TEST(WavHeader, refusesWhatItCannotShow)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        WavCheck expected;
    };
    const auto data = Chunk("data", {0, 0, 0, 0});
    auto notWave = Riff({Fmt(1, 8000, 8), data});
    std::memcpy(notWave.data() + 8, "AVI ", 4);
    const std::vector<Case> cases = {
        {"fmt 18", Riff({Fmt(1, 8000, 16, 0, 1, 2), data}), WavCheck::FormatChunk},
        {"not RIFF", Chunk("RIFX", {'W', 'A', 'V', 'E'}), WavCheck::NotRiffWave},
        {"not WAVE", notWave, WavCheck::NotRiffWave},
        {"list before fmt", Riff({Chunk("LIST", {1, 2}), Fmt(1, 8000, 8), data}), WavCheck::FormatChunk},
        {"float", Riff({Fmt(1, 8000, 32, 4, 3), data}), WavCheck::NotPcm},
        {"no channels", Riff({Fmt(0, 8000, 8, 1), data}), WavCheck::BadChannels},
        {"three channels", Riff({Fmt(3, 8000, 8), data}), WavCheck::BadChannels},
        {"rate 0", Riff({Fmt(1, 0, 8), data}), WavCheck::BadSampleRate},
        {"negative rate", Riff({Fmt(1, 0x80000000u, 8), data}), WavCheck::BadSampleRate},
        {"block align 0", Riff({Fmt(1, 8000, 8, 0xFFFF), data}), WavCheck::BadBlockAlign},
        {"24-bit mono (align 3)", Riff({Fmt(1, 8000, 24), data}), WavCheck::UnsupportedFormat},
        {"32-bit mono (align 4)", Riff({Fmt(1, 8000, 32), data}), WavCheck::UnsupportedFormat},
        {"stereo with align 1", Riff({Fmt(2, 8000, 8, 1), data}), WavCheck::UnsupportedFormat},
        {"12 bits", Riff({Fmt(1, 8000, 12, 2), data}), WavCheck::UnsupportedFormat},
        {"no data chunk", Riff({Fmt(1, 8000, 8), Chunk("LIST", {1, 2})}), WavCheck::Truncated},
    };
    for (const Case& c : cases) {
        WavInfo info;
        EXPECT_EQ(Parse(c.file, info), c.expected) << c.name;
    }
    // A chunk that claims more bytes than remain ends the search.
    auto lying = Riff({Fmt(1, 8000, 8), Chunk("LIST", {1, 2}), data});
    WriteU32LE(lying.data() + 44 + 4, 1000);
    WavInfo info;
    EXPECT_EQ(Parse(lying, info), WavCheck::Truncated);
}

TEST(WavHeader, everyCutInsideTheHeaderIsTruncated)
{
    const auto file = Riff({Fmt(2, 22050, 8), Chunk("LIST", std::vector<uint8_t>(7, 1)), Chunk("data", {})});
    for (size_t n = 0; n < file.size(); ++n) {
        const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(n));
        WavInfo info;
        EXPECT_EQ(Parse(cut, info), WavCheck::Truncated) << "cut at " << n;
    }
}

TEST(PeakDensity, roundsHalfToEvenThenToTheBlockAlign)
{
    // 441000 / 400 = 1102.5 -> 1102 -> next multiple of 4.
    EXPECT_EQ(FramesPerPeakFor(10, 44100, 400, 4), 1104u);
    EXPECT_EQ(BufferSizeFor(10, 44100, 400, 4), 60000u);
    // Small densities: 400 bytes per frame of a record, rounded to the frame.
    EXPECT_EQ(FramesPerPeakFor(1, 100, 100, 1), 1u);
    EXPECT_EQ(BufferSizeFor(1, 100, 100, 2), 400u);
    EXPECT_EQ(BufferSizeFor(3, 100, 100, 4), 1200u);
    // No density can reach zero, however wide the view.
    EXPECT_EQ(FramesPerPeakFor(0, 44100, 400, 2), 2u);
    EXPECT_EQ(FramesPerPeakFor(1, 1, 1000, 1), 1u);
    EXPECT_GT(BufferSizeFor(0, 44100, 400, 4), 0u);
    EXPECT_EQ(FramesPerPeakFor(255, 0x7FFFFFFF, 20, 4) % 4, 0u);
}

class Extraction : public ::testing::TestWithParam<std::tuple<int, int>>
{
};

TEST_P(Extraction, matchesPlainMinMaxWhateverTheBufferSplits)
{
    const auto [channels, bits] = GetParam();
    WavInfo info;
    info.Channels = static_cast<uint8_t>(channels);
    info.BitsPerSample = static_cast<uint16_t>(bits);
    info.BlockAlign = static_cast<uint8_t>(channels * bits / 8);
    info.SampleRate = 8000;
    // Not a whole number of frames: the stray bytes are no sample.
    const auto pcm = Noise(7777, static_cast<uint32_t>(channels * 100 + bits));
    for (uint32_t fpp : {1u, 3u, 16u, 100u, 4096u}) {
        for (size_t piece : {1u, 5u, 64u, 60000u}) {
            TMemoryStream out;
            WavPeakExtractor x(info, fpp, out);
            for (size_t at = 0; at < pcm.size(); at += piece)
                x.Process(pcm.data() + at, std::min(piece, pcm.size() - at));
            x.Finish();
            const auto expected = ExpectedRecords(pcm, channels, bits, fpp);
            ASSERT_EQ(std::vector<uint8_t>(out.Bytes().begin(), out.Bytes().end()), expected)
                << "frames per peak " << fpp << ", pieces of " << piece;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FourRoutines, Extraction,
                         ::testing::Values(std::make_tuple(1, 8), std::make_tuple(1, 16), std::make_tuple(2, 8),
                                           std::make_tuple(2, 16)));

TEST(ExtractionValues, eightBitKeepsZeroAndSilenceSitsAtMidScale)
{
    WavInfo info{1, 1, 8000, 8, 0, 0};
    TMemoryStream out;
    WavPeakExtractor x(info, 4, out);
    const uint8_t samples[] = {128, 128, 128, 128, 128, 0, 255, 128};
    x.Process(samples, sizeof samples);
    x.Finish();
    const std::vector<uint8_t> expected = {128, 127, 255, 0};
    EXPECT_EQ(std::vector<uint8_t>(out.Bytes().begin(), out.Bytes().end()), expected);

    // 16-bit extremes: -32768 -> 0, 32767 -> 65535.
    WavInfo wide{2, 1, 8000, 16, 0, 0};
    TMemoryStream out16;
    WavPeakExtractor y(wide, 2, out16);
    const uint8_t s16[] = {0x00, 0x80, 0xFF, 0x7F};
    y.Process(s16, sizeof s16);
    y.Finish();
    EXPECT_EQ(ReadU16LE(out16.Data()), 65535);
    EXPECT_EQ(ReadU16LE(out16.Data() + 2), 0);
    EXPECT_EQ(y.Records(), 1u);
}

TEST(WavPeakFile, headerLayout)
{
    WavInfo info{4, 2, 44100, 16, 0x01020304, 44};
    const auto h = EncodeWavPeakHeader(info);
    ASSERT_EQ(h.size(), 14u);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "PEAK");
    EXPECT_EQ(h[4], 4);
    EXPECT_EQ(h[5], 2);
    EXPECT_EQ(ReadU32LE(h.data() + 6), 44100u);
    EXPECT_EQ(ReadU32LE(h.data() + 10), 0x01020304u);
}

TEST(WavPeakFile, extensionIsNormalisedAndReplaced)
{
    EXPECT_EQ(NormalizePeaksFileExt("peaks"), ".pea");
    EXPECT_EQ(NormalizePeaksFileExt("pk"), ".pk");
    EXPECT_EQ(NormalizePeaksFileExt("a.b"), "a.b");
    EXPECT_EQ(NormalizePeaksFileExt("ab.cd"), "ab.c");
    EXPECT_EQ(NormalizePeaksFileExt(".pek"), ".pek");

    EXPECT_EQ(ReplaceExtension("/a/b/song.wav", ".pek"), "/a/b/song.pek");
    EXPECT_EQ(ReplaceExtension("/a/b.dir/song", ".pek"), "/a/b.dir/song.pek");
    EXPECT_EQ(ReplaceExtension("/a/song.x.wav", ".pk"), "/a/song.x.pk");
}

TEST(ClockLabels, showHoursMinutesAndSeconds)
{
    EXPECT_EQ(ClockText(5000), "00:00:05");
    EXPECT_EQ(ClockText(3600000 + 61999), "01:01:01");
    EXPECT_EQ(ClockText(-10), "00:00:00");
}

} // namespace kx
