#include <gtest/gtest.h>

#include "viewers/PeakViewModel.h"

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

TEST_F(PeakViewModelTest, emptyModelConvertsToZero)
{
    m.ClientWidth = 400;
    EXPECT_EQ(m.ValueCount(), 0u);
    EXPECT_EQ(m.PeakCount(), 0);
    EXPECT_EQ(m.PeakAtMs(5000), 0);
    EXPECT_EQ(m.MsAtValueIndex(100), 0);
    EXPECT_EQ(m.FrameAtValueIndex(100), 0);
    EXPECT_EQ(m.ValueIndexAtPixel(10), 0);
}

TEST_F(PeakViewModelTest, stereo16ConversionsFollowTheTrackTime)
{
    Load(2, 4);
    EXPECT_EQ(m.ValueCount(), 4000u);
    EXPECT_EQ(m.PeakCount(), 1000);
    EXPECT_EQ(m.DurationMs(), 10000);
    EXPECT_EQ(m.ValueIndexAtMs(2500), 1000);
    EXPECT_EQ(m.PeakAtMs(2500), 250);
    EXPECT_EQ(m.FrameAtValueIndex(1000), 20000);
    EXPECT_EQ(m.MsAtValueIndex(1000), 2500);
    // 1000 peaks over a 400-pixel client: the range is the peak count.
    EXPECT_EQ(m.ValueIndexAtPixel(100), 400);
    EXPECT_EQ(m.MsAtPixel(100), 1000);
}

TEST_F(PeakViewModelTest, shortTrackSpreadsOverTheClientWidth)
{
    Load(2, 4, 200);
    m.PcmByteCount = 8000 * 4 * 2;
    scroll.SetInfo(0, static_cast<int>(m.PeakCount()), 200, 0);
    // span is the client width (400 + 200 - 200), so pixel 200 is half the data.
    EXPECT_EQ(m.ValueIndexAtPixel(200), 400);
}

TEST_F(PeakViewModelTest, monoAnd8BitDataKeepTheirRealTime)
{
    for (auto [channels, bpp] : {std::pair{1, 4}, std::pair{2, 2}, std::pair{1, 2}, std::pair{1, 1}}) {
        SCOPED_TRACE(testing::Message() << channels << " channels, BytesPerPeak " << bpp);
        Load(channels, bpp);
        EXPECT_EQ(m.PeakCount(), 1000);
        EXPECT_EQ(m.DurationMs(), 10000);
        EXPECT_EQ(m.PeakAtMs(2500), 250);
        EXPECT_EQ(m.MsAtValueIndex(m.ValueIndexAtMs(2500)), 2500);
    }
}

TEST_F(PeakViewModelTest, columnRulesAgreeOnlyAtUnitScale)
{
    Load(2, 4);
    scroll.SetPos(100);
    m.TimeScaler = 1.0f;
    EXPECT_EQ(m.PeakAtColumn(10), 110);
    EXPECT_EQ(m.PointerColumnAtMs(1100), 10);
    EXPECT_EQ(m.MarkColumnAtMs(1100), 10);
    EXPECT_EQ(m.CursorColumnAtMs(1100), 10);
    EXPECT_EQ(m.PointColumn(110), 10);
    EXPECT_EQ(m.PointPositionAtColumn(10), 110);
    EXPECT_EQ(m.TimeAtPixel(10), 1100);

    m.TimeScaler = 2.0f;
    EXPECT_EQ(m.PeakAtColumn(10), 120);
    EXPECT_EQ(m.PointerColumnAtMs(1200), 10);  // 600 - 50
    EXPECT_EQ(m.MarkColumnAtMs(1200), -40);    // 60 - 100
    EXPECT_EQ(m.CursorColumnAtMs(1200), 20);   // ignores the scaler
    EXPECT_EQ(m.PointColumn(120), 10);
    EXPECT_EQ(m.PointPositionAtColumn(10), 220);
    EXPECT_EQ(m.TimeAtPixel(10), 1200);  // peak 2 × (10 + 50)
}

TEST_F(PeakViewModelTest, readsPairsByRecordLayout)
{
    Load(2, 4, 3);
    const uint8_t rec[8] = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xF0, 0xDE};
    std::copy(rec, rec + 8, m.PeakData.begin() + 8);
    uint32_t a = 0, b = 0;
    ASSERT_TRUE(m.ReadPair(1, 0, a, b));
    EXPECT_EQ(a, 0x1234u);
    EXPECT_EQ(b, 0x5678u);
    ASSERT_TRUE(m.ReadPair(1, 1, a, b));
    EXPECT_EQ(a, 0x9ABCu);
    EXPECT_EQ(b, 0xDEF0u);
    // Past the end nothing is read and the values stay.
    EXPECT_FALSE(m.ReadPair(3, 0, a, b));
    EXPECT_EQ(a, 0x9ABCu);
    EXPECT_FALSE(m.ReadPair(-1, 0, a, b));

    Load(2, 2, 2);
    m.PeakData = {10, 20, 30, 40, 50, 60, 70};  // last record cut short
    ASSERT_TRUE(m.ReadPair(1, 0, a, b));
    EXPECT_EQ(a, 50u);
    EXPECT_EQ(b, 60u);
    EXPECT_FALSE(m.ReadPair(1, 1, a, b));
    EXPECT_EQ(a, 70u);  // the value that was there is taken
    EXPECT_EQ(b, 60u);

    Load(1, 1, 4);
    m.PeakData = {1, 2, 3, 4};
    ASSERT_TRUE(m.ReadPair(2, 0, a, b));
    EXPECT_EQ(a, 3u);
    EXPECT_EQ(b, 3u);
}

TEST_F(PeakViewModelTest, visibleSecondsWrapsToOneByteAndNeverZero)
{
    Load(2, 4);
    m.SamplesPerSecond = 44100;
    // 2 × PcmByteCount / size = 80 frames per peak.
    EXPECT_EQ(m.VisibleSecondsFor(44100 / 80 * 9 + 10), 9);
    m.PcmByteCount *= 400;  // 32000 frames per peak
    EXPECT_EQ(m.VisibleSecondsFor(400), uint8_t((400 * 32000 / 44100) & 0xFF));
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
    EXPECT_EQ(s.PageSeconds, 200);
    EXPECT_EQ(s.LineSeconds, 10);  // 10 < 200 keeps the line step
    s = ComputeSteps({}, 5, 0);
    EXPECT_EQ(s.LineSeconds, 1);
}

} // namespace
