#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mediagraph/PeakReducer.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

// Independent reference: min and max of each run of n frames, per channel,
// in 16-bit unsigned mid-scale form, (max, min) order.
std::vector<uint16_t> ReferencePeaks(const std::vector<int16_t>& pcm, int channels, int n)
{
    std::vector<uint16_t> out;
    const size_t frames = pcm.size() / channels;
    for (size_t start = 0; start < frames; start += n) {
        const size_t end = std::min(frames, start + size_t(n));
        for (int c = 0; c < channels; ++c) {
            int hi = -32768, lo = 32767;
            for (size_t f = start; f < end; ++f) {
                hi = std::max<int>(hi, pcm[f * channels + c]);
                lo = std::min<int>(lo, pcm[f * channels + c]);
            }
            out.push_back(uint16_t(hi + 32768));
            out.push_back(uint16_t(lo + 32768));
        }
    }
    return out;
}

std::vector<uint16_t> As16(const std::vector<uint8_t>& bytes)
{
    std::vector<uint16_t> v(bytes.size() / 2);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return v;
}

std::vector<uint8_t> Reduce(const PeakReducerSettings& s, const std::vector<int16_t>& pcm, size_t chunkFrames)
{
    PeakReducer r;
    EXPECT_TRUE(r.Init(s));
    const size_t frames = pcm.size() / s.channels;
    for (size_t at = 0; at < frames; at += chunkFrames)
        r.Process(pcm.data() + at * s.channels, std::min(chunkFrames, frames - at));
    r.Done();
    std::vector<uint8_t> out;
    r.TakeRecords(out);
    EXPECT_EQ(out.size(), r.RecordCount() * size_t(r.RecordSize()));
    return out;
}

} // namespace

TEST(PeakReducer, matchesIndependentMinMaxWhateverTheChunking)
{
    for (int channels : {1, 2}) {
        for (int spp : {1, 7, 100, 1000}) {
            const auto pcm = TestMedia::Noise16(size_t(channels) * 10007, uint32_t(spp * channels));
            PeakReducerSettings s;
            s.channels = uint32_t(channels);
            s.samplesPerPeak = uint16_t(spp);
            const auto expected = ReferencePeaks(pcm, channels, spp);
            for (size_t chunk : {size_t(1), size_t(3), size_t(64), size_t(1764), size_t(20000)}) {
                EXPECT_EQ(As16(Reduce(s, pcm, chunk)), expected) << channels << " ch, spp " << spp << ", chunk " << chunk;
            }
        }
    }
}

TEST(PeakReducer, partialLastRunIsItsOwnRecordAndEmptyInputGivesNone)
{
    PeakReducerSettings s;
    s.channels = 1;
    s.samplesPerPeak = 100;
    std::vector<int16_t> pcm(250, 0);
    pcm[249] = 1234;
    const auto rec = As16(Reduce(s, pcm, 4096));
    ASSERT_EQ(rec.size(), 6u);
    EXPECT_EQ(rec[4], 1234 + 32768);
    EXPECT_EQ(rec[5], 32768);
    EXPECT_TRUE(Reduce(s, {}, 10).empty());
}

TEST(PeakReducer, gainsScaleEachChannelAndSaturate)
{
    PeakReducerSettings s;
    s.samplesPerPeak = 2;
    s.leftGain = 1024;   // a quarter
    s.rightGain = 65535; // almost sixteen times
    const std::vector<int16_t> pcm = {8000, 4000, -8000, -4000};
    const auto rec = As16(Reduce(s, pcm, 2));
    ASSERT_EQ(rec.size(), 4u);
    EXPECT_EQ(rec[0], 2000 + 32768);
    EXPECT_EQ(rec[1], -2000 + 32768);
    EXPECT_EQ(rec[2], 65535);
    EXPECT_EQ(rec[3], 0);
}

TEST(PeakReducer, eightBitValuesAreTheHighByteAroundMidScale)
{
    PeakReducerSettings s;
    s.channels = 1;
    s.bitsPerSample = 8;
    s.samplesPerPeak = 3;
    const std::vector<int16_t> pcm = {32767, -32768, 0, 0, 255, -256};
    PeakReducer r;
    ASSERT_TRUE(r.Init(s));
    EXPECT_EQ(r.RecordSize(), 2);
    const auto rec = Reduce(s, pcm, 6);
    EXPECT_EQ(rec, (std::vector<uint8_t>{255, 0, 128, 127}));
}

TEST(PeakReducer, runsAreSpacedAtTheOutputRate)
{
    // 44100 in, 48000 out, 100 output frames per record: a record spans
    // 91.875 input frames, so ends fall at ceil(k × 91.875).
    PeakReducerSettings s;
    s.inputRate = 44100;
    s.outputRate = 48000;
    s.channels = 1;
    s.samplesPerPeak = 100;
    PeakReducer r;
    ASSERT_TRUE(r.Init(s));
    EXPECT_EQ(r.RunEnd(0), 92u);
    EXPECT_EQ(r.RunEnd(7), 735u);  // 8 × 91.875 exactly

    // A spike at input frame f belongs to the record covering time f / 44100.
    std::vector<int16_t> pcm(44100, 0);
    const size_t spike = 30000;
    pcm[spike] = 20000;
    const auto rec = As16(Reduce(s, pcm, 1000));
    // One second at 48000 Hz is 480 records.
    ASSERT_EQ(rec.size(), 480u * 2);
    const size_t expectedRecord = spike * 48000 / 44100 / 100;
    for (size_t k = 0; k < 480; ++k)
        EXPECT_EQ(rec[2 * k] != 32768, k == expectedRecord) << k;
}

TEST(PeakReducer, spansBetweenInputFramesHoldThePreviousLevel)
{
    PeakReducerSettings s;
    s.inputRate = 8000;
    s.outputRate = 48000;
    s.channels = 1;
    s.samplesPerPeak = 1;
    const std::vector<int16_t> pcm = {100, 200};
    const auto rec = As16(Reduce(s, pcm, 2));
    ASSERT_EQ(rec.size(), 12u * 2);
    for (size_t k = 0; k < 12; ++k) {
        EXPECT_EQ(rec[2 * k], rec[2 * k + 1]);
        EXPECT_TRUE(rec[2 * k] == 100 + 32768 || rec[2 * k] == 200 + 32768);
    }
    EXPECT_EQ(rec.back(), 200 + 32768);
}

TEST(PeakReducer, refusesSettingsItCannotHonour)
{
    PeakReducer r;
    for (auto bad : {PeakReducerSettings{44100, 44100, 3, 16, 4096, 4096, 100},
                     PeakReducerSettings{44100, 44100, 2, 12, 4096, 4096, 100},
                     PeakReducerSettings{44100, 44100, 2, 16, 4096, 4096, 0},
                     PeakReducerSettings{0, 44100, 2, 16, 4096, 4096, 100}})
        EXPECT_FALSE(r.Init(bad));
}

} // namespace kx
