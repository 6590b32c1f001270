#include <gtest/gtest.h>

#include "viewers/PeakViewModel.h"

namespace kx {

namespace {

// 10 s at 8000 Hz, 80 frames per peak: 100 peaks a second, 1000 peaks.
class PeakViewModelTest : public ::testing::Test
{
protected:
    void Load(int channels, int bytesPerPeak, int64_t peaks = 1000)
    {
        m.Channels = channels;
        m.BytesPerPeak = static_cast<uint8_t>(bytesPerPeak);
        m.SamplesPerSecond = 8000;
        m.SamplesPerPeak = 80;
        m.PcmByteCount = static_cast<int64_t>(8000.0 * channels * bytesPerPeak / 2.0 * 10);
        m.PeakData.assign(static_cast<size_t>(peaks * channels * bytesPerPeak), 0);
        m.ClientWidth = 400;
        scroll.SetInfo(0, static_cast<int>(m.PeakCount()), 400, 0);
    }

    ScrollState scroll;
    PeakViewModel m{scroll};
};

TEST_F(PeakViewModelTest, conversionsFollowTheTrackTimeForEveryLayout)
{
    Load(2, 4);
    EXPECT_EQ(m.ValueCount(), 4000u);
    EXPECT_EQ(m.ValueIndexAtMs(2500), 1000);
    EXPECT_EQ(m.FrameAtValueIndex(1000), 20000);
    EXPECT_EQ(m.ValueIndexAtPixel(100), 400);  // range = peak count when it exceeds the width
    EXPECT_EQ(m.MsAtPixel(100), 1000);
    // Mono and 8-bit data keep their real time instead of the 16-bit stereo frame size.
    for (auto [channels, bpp] : {std::pair{2, 4}, std::pair{1, 4}, std::pair{2, 2}, std::pair{1, 1}}) {
        SCOPED_TRACE(testing::Message() << channels << " channels, BytesPerPeak " << bpp);
        Load(channels, bpp);
        EXPECT_EQ(m.PeakCount(), 1000);
        EXPECT_EQ(m.DurationMs(), 10000);
        EXPECT_EQ(m.PeakAtMs(2500), 250);
        EXPECT_EQ(m.MsAtValueIndex(m.ValueIndexAtMs(2500)), 2500);
    }
    m.PcmByteCount = 0;
    EXPECT_EQ(m.PeakAtMs(5000), 0);
    EXPECT_EQ(m.MsAtValueIndex(100), 0);
}

TEST_F(PeakViewModelTest, columnRulesAgreeAtEveryScale)
{
    Load(2, 4);
    scroll.SetPos(100);
    EXPECT_EQ(m.PeakAtColumn(10), 110);
    EXPECT_EQ(m.ColumnAtMs(1100), 10);
    EXPECT_EQ(m.MsAtColumn(10), 1100);
    EXPECT_EQ(m.TimeAtPixel(10), 1100);

    // Peak, time and column map onto each other at any scaler and scroll position.
    for (float ts : {2.0f, 0.25f, 3.5f}) {
        SCOPED_TRACE(ts);
        m.TimeScaler = ts;
        for (int x : {0, 7, 10, 123}) {
            const int64_t peak = m.PeakAtColumn(x);
            // The column drawn for a peak shows that peak; above scaler 1 it is x itself.
            const int64_t column = m.ColumnAtPeak(peak);
            EXPECT_EQ(m.PeakAtColumn(static_cast<int>(column)), peak);
            if (ts >= 1) {
                EXPECT_EQ(column, x);
            }
            EXPECT_EQ(m.TimeAtPixel(x), peak * 10);  // 10 ms a peak
            EXPECT_EQ(m.MsAtColumn(x), peak * 10);
            EXPECT_EQ(m.ColumnAtMs(m.MsAtColumn(x)), m.ColumnAtPeak(peak));
        }
    }
    m.TimeScaler = 2.0f;
    EXPECT_EQ(m.PeakAtColumn(10), 120);
    EXPECT_EQ(m.ColumnAtMs(1200), 10);
    EXPECT_EQ(m.ColumnAtMs(1000), 0);
    EXPECT_EQ(m.PeaksInView(), 800);
    m.TimeScaler = 0.25f;
    EXPECT_EQ(m.PeaksInView(), 100);
}

TEST_F(PeakViewModelTest, readsPairsByRecordLayoutAndStopsAtTheEnd)
{
    Load(2, 4, 2);
    const uint8_t rec[8] = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xF0, 0xDE};
    std::copy(rec, rec + 8, m.PeakData.begin() + 8);
    uint32_t a = 0, b = 0;
    ASSERT_TRUE(m.ReadPair(1, 1, a, b));
    EXPECT_EQ(a, 0x9ABCu);
    EXPECT_EQ(b, 0xDEF0u);
    EXPECT_FALSE(m.ReadPair(2, 0, a, b));
    EXPECT_EQ(a, 0x9ABCu);

    Load(2, 2, 2);
    m.PeakData = {10, 20, 30, 40, 50, 60, 70};  // last record cut short
    EXPECT_FALSE(m.ReadPair(1, 1, a, b));
    EXPECT_EQ(a, 70u);
    EXPECT_EQ(b, 0xDEF0u);  // the second value stays as it was
    ASSERT_TRUE(m.ReadPair(1, 0, a, b));
    EXPECT_EQ(a, 50u);
    EXPECT_EQ(b, 60u);
}

TEST_F(PeakViewModelTest, visibleSecondsKeepsItsLowByteAndIsNeverZero)
{
    Load(2, 4);
    m.SamplesPerSecond = 44100;
    m.PcmByteCount *= 400;  // 32000 frames per peak: 290 s across 400 columns
    EXPECT_EQ(m.VisibleSecondsFor(400), 290 - 256);
    m.PcmByteCount = 8;
    EXPECT_EQ(m.VisibleSecondsFor(400), 10);
}

TEST(PeakSteps, lineStepFollowsThePageUnlessAlreadySmaller)
{
    PeakSteps s = ComputeSteps({}, 9, 0);
    EXPECT_EQ(s.PageSeconds, 9);
    EXPECT_EQ(s.LineSeconds, 1);
    s = ComputeSteps(s, 9, 20);
    EXPECT_EQ(s.PageSeconds, 7);  // Round(7.2)
    EXPECT_EQ(s.LineSeconds, 1);
    s = ComputeSteps({}, 200, 0);
    EXPECT_EQ(s.LineSeconds, 10);
}

} // namespace

} // namespace kx
