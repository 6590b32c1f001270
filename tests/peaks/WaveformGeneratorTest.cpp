// The waveform generator against the data rules worked out by hand.
#include <gtest/gtest.h>

#include "peaks/WaveformGenerator.h"

namespace kx {

namespace {

struct Collected {
    std::vector<int16_t> values;
    std::vector<size_t> blocks;
};

Collected Generate(const std::vector<int16_t>& samples, uint32_t channels, int32_t zoom, bool split,
                   size_t chunk = 1)
{
    Collected c;
    WaveformGenerator g(zoom, split, [&](const int16_t* v, size_t pixels) {
        c.blocks.push_back(pixels);
        c.values.insert(c.values.end(), v, v + pixels * 2 * (split ? channels : 1));
        return true;
    });
    EXPECT_TRUE(g.Init(channels));
    const size_t frames = samples.size() / channels;
    for (size_t at = 0; at < frames; at += chunk)
        EXPECT_TRUE(g.Process(samples.data() + at * channels, std::min(chunk, frames - at)));
    EXPECT_TRUE(g.Done());
    return c;
}

} // namespace

TEST(WaveformGenerator, pixelsSpanZoomFramesAndKeepThePartialLastOne)
{
    // Seven mono frames at three a pixel: two whole pixels and one of a frame.
    const auto c = Generate({5, -3, 2, 7, 7, -8, -1}, 1, 3, false);
    EXPECT_EQ(c.values, (std::vector<int16_t>{-3, 5, -8, 7, -1, -1}));
}

TEST(WaveformGenerator, monoMixIsTheTruncatedMeanOfTheChannels)
{
    // Frames (3, 0) and (-3, 0): means 1.5 and -1.5 truncate to 1 and -1.
    // Three channels at full scale never overflow.
    auto c = Generate({3, 0, -3, 0}, 2, 2, false);
    EXPECT_EQ(c.values, (std::vector<int16_t>{-1, 1}));
    c = Generate({32767, 32767, 32767, -32768, -32768, -32767}, 3, 2, false);
    EXPECT_EQ(c.values, (std::vector<int16_t>{-32767, 32767}));
}

TEST(WaveformGenerator, longRunsGiveWhatTheRuleGivesFrameByFrame)
{
    // Long enough for the eight-lane paths, with odd negative sums and
    // pixels that are not a multiple of eight frames.
    for (const uint32_t channels : {1u, 2u, 3u, 4u}) {
        std::vector<int16_t> samples(channels * 5000);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = int16_t((i * 2654435761u) >> 16);
        for (const bool split : {false, true}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, split " << split);
            std::vector<int16_t> expected;
            const uint32_t outs = split ? channels : 1;
            for (size_t first = 0; first < 5000; first += 37)
                for (uint32_t o = 0; o < outs; ++o) {
                    int lo = 32767, hi = -32768;
                    for (size_t f = first; f < std::min<size_t>(5000, first + 37); ++f) {
                        int s = 0;
                        for (uint32_t c = 0; c < channels; ++c)
                            s += samples[f * channels + c];
                        s = split ? samples[f * channels + o] : s / int(channels);
                        lo = std::min(lo, s);
                        hi = std::max(hi, s);
                    }
                    expected.push_back(int16_t(lo));
                    expected.push_back(int16_t(hi));
                }
            EXPECT_EQ(Generate(samples, channels, 37, split, 1000).values, expected);
        }
    }
}

TEST(WaveformGenerator, splitChannelsKeepsEachChannelInterleaved)
{
    const std::vector<int16_t> six = {1, 2, 3, 4, 5, 6, -1, -2, -3, -4, -5, -6};
    const auto c = Generate(six, 6, 4, true);
    EXPECT_EQ(c.values, (std::vector<int16_t>{-1, 1, -2, 2, -3, 3, -4, 4, -5, 5, -6, 6}));
}

TEST(WaveformGenerator, blocksDoNotDependOnHowTheInputIsCut)
{
    std::vector<int16_t> samples(2 * 100003);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t((i * 7919) % 65536 - 32768);
    const auto whole = Generate(samples, 2, 5, true, samples.size());
    const auto pieces = Generate(samples, 2, 5, true, 7);
    EXPECT_EQ(whole.values, pieces.values);
    EXPECT_EQ(whole.values.size(), size_t((100003 + 4) / 5) * 4);
    // Handed on a bounded block at a time, not all at the end.
    EXPECT_GT(whole.blocks.size(), 1u);
}

TEST(WaveformGenerator, refusesChannelCountsAndStopsWhenTheSinkRefuses)
{
    WaveformGenerator g(1, true, [](const int16_t*, size_t) { return false; });
    EXPECT_FALSE(g.Init(0));
    EXPECT_FALSE(g.Init(25));
    ASSERT_TRUE(g.Init(1));
    EXPECT_FALSE(g.Init(2));  // the first call set them
    std::vector<int16_t> many(100000, 1);
    EXPECT_FALSE(g.Process(many.data(), many.size()));
    EXPECT_FALSE(g.Done());
}

TEST(WaveformGenerator, amplitudeScalingClampsAndTruncates)
{
    EXPECT_EQ(ScaleWaveformValue(1000, 2.5), 2500);
    EXPECT_EQ(ScaleWaveformValue(-1001, 0.5), -500);  // toward zero
    EXPECT_EQ(ScaleWaveformValue(20000, 2), 32767);
    EXPECT_EQ(ScaleWaveformValue(-20000, 2), -32768);
    const int16_t values[] = {-100, 50, 8000, -16384};
    EXPECT_DOUBLE_EQ(AutoAmplitudeScale(values, 4), 32767.0 / 16384);
    EXPECT_DOUBLE_EQ(AutoAmplitudeScale(values, 0), 1.0);
    EXPECT_EQ(WaveformValueTo8Bits(-32768), -128);
    EXPECT_EQ(WaveformValueTo8Bits(-255), 0);  // toward zero, not down
    EXPECT_EQ(WaveformValueTo8Bits(511), 1);
}

} // namespace kx
