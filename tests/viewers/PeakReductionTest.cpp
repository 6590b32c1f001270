#include <QImage>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/MemoryStream.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

using namespace PeakTestData;

namespace {

// 3 minutes at 100 records a second in a 400 × 200 client: each channel's
// band is 100 rows, and 18000 records fill the width up to scaler 45.
class PeakReductionTest : public ::testing::Test
{
protected:
    void SetUp() override { Prepare(v, 400, 200); }
    void Load(const Generator& gen)
    {
        const auto bytes = Stereo16(8000, 80, 180, gen);
        TMemoryStream s;
        s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        ASSERT_TRUE(v.LoadFromStream(&s));
    }
    // Columns of the left band (inside the frame) with the peak colour at a row.
    std::vector<int> ColumnsAt(int y) const
    {
        std::vector<int> xs;
        const QRgb peaks = ToQColor(v.PeaksColor()).rgb();
        for (int x = 2; x < 398; ++x)
            if (v.BufferImage().pixel(x, y) == peaks)
                xs.push_back(x);
        return xs;
    }

    TKXAudioPeakViewer v;
};

TEST_F(PeakReductionTest, aClickOfOneRecordShowsAtEveryScalerOnlyWithMinMax)
{
    Load([](int64_t p, int) { return p == 2345 ? std::pair{65535u, 0u} : std::pair{32768u, 32768u}; });
    EXPECT_EQ(v.PeakReduction(), prSkip);
    // Scalers, and a second to scroll to that puts the click near column 50.
    for (auto [scaler, second] : {std::pair{0.5f, 23}, std::pair{1.0f, 23}, std::pair{4.0f, 21}, std::pair{32.0f, 7}}) {
        SCOPED_TRACE(scaler);
        v.SetTimeScaler(scaler);
        v.ScrollToSeconds(second);
        // The first column holding the click, where a mark or the cursor at its time goes.
        const int x = static_cast<int>(v.Model().ColumnAtMs(23450));
        ASSERT_GT(x, 20);
        ASSERT_LT(x, 120);
        v.SetPeakReduction(prMinMax);
        const std::vector<int> shown = ColumnsAt(5);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.front(), x);
        EXPECT_LE(shown.size(), scaler < 1 ? 3u : 1u);
        EXPECT_EQ(ColumnsAt(95), shown);  // the whole band, top to bottom
        v.SetPeakReduction(prSkip);
        // Skipping shows the click only where a column starts at its record.
        EXPECT_EQ(ColumnsAt(5).empty(), scaler == 4.0f || scaler == 32.0f);
    }
}

TEST_F(PeakReductionTest, aClippedFileIsASolidBandWithMinMaxAndAStripedCombWithSkip)
{
    // A hard-clipped sine of 44 records a period: all but a record or two
    // around each zero crossing sit at full scale.
    Load([](int64_t p, int) {
        const double s = 8 * std::sin(double(p) * 2 * 3.14159265358979 / 44);
        const auto v = static_cast<uint32_t>(std::lround(32767.5 + std::clamp(s, -1.0, 1.0) * 32767.5));
        return std::pair{v, 65535 - v};
    });
    for (float scaler : {4.0f, 32.0f}) {
        SCOPED_TRACE(scaler);
        v.SetTimeScaler(scaler);
        v.SetPeakReduction(prMinMax);
        EXPECT_EQ(ColumnsAt(3).size(), 396u);
        EXPECT_EQ(ColumnsAt(97).size(), 396u);
        v.SetPeakReduction(prSkip);
        EXPECT_LT(ColumnsAt(3).size(), 380u);  // columns that land on a crossing fall short
    }
}

TEST_F(PeakReductionTest, minMaxDrawsTheSameAsSkipWhereEveryColumnHoldsOneRecord)
{
    // Builder order: the higher value first.
    Load([](int64_t p, int ch) {
        const auto a = static_cast<uint32_t>((p * 7919 + ch * 104729) % 65536);
        const auto b = static_cast<uint32_t>((p * 6007 + ch * 3) % 65536);
        return std::pair{std::max(a, b), std::min(a, b)};
    });
    for (float scaler : {1.0f, 0.5f, 0.3f}) {
        SCOPED_TRACE(scaler);
        v.SetTimeScaler(scaler);
        v.ScrollToSeconds(7);
        v.SetPeakReduction(prSkip);
        const QImage skip = v.BufferImage().copy();
        v.SetPeakReduction(prMinMax);
        EXPECT_EQ(v.BufferImage(), skip);
    }
}

TEST_F(PeakReductionTest, pastTheEndOfTheDataTheLineRunsFlat)
{
    Load([](int64_t, int) { return std::pair{57344u, 8192u}; });
    v.SetPeakReduction(prMinMax);
    v.SetTimeScaler(64.0f);  // 18000 records end near column 281
    const int end = static_cast<int>(v.Model().ColumnAtPeak(17999));  // the last record's column
    ASSERT_LT(end, 300);
    const std::vector<int> low = ColumnsAt(100 - 13), high = ColumnsAt(100 - 88), middle = ColumnsAt(50 - 10);
    EXPECT_EQ(low.size(), 396u);                         // flat at the last low value
    EXPECT_EQ(high.back(), end);                         // the data's columns only
    EXPECT_LE(middle.back(), end);
}

TEST_F(PeakReductionTest, settingTheReductionRepaintsOnlyOnAChange)
{
    Load(Constant(40000, 30000));
    int paints = 0;
    v.OnPaint = [&](QObject*, TCanvas&) { ++paints; };
    v.SetPeakReduction(prSkip);
    EXPECT_EQ(paints, 0);
    v.SetPeakReduction(prMinMax);
    EXPECT_EQ(paints, 1);
    v.SetPeakReduction(prMinMax);
    EXPECT_EQ(paints, 1);
}

} // namespace
} // namespace kx
