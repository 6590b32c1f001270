#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/widgets/HorzScrollBar.h"
#include "platform/MemoryStream.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/PeakFileFill.h"

namespace kx {

using namespace PeakTestData;

namespace {

// 4000 s at 100 records a second: 3.2 MB of records, more than a first read.
constexpr int64_t Records = 400000;

// Levels that differ from record to record, so a record in the wrong place
// or a level built from the wrong records shows.
Generator Wobble(uint32_t seed)
{
    return [seed](int64_t r, int ch) {
        const uint32_t h = (uint32_t(r) * 2654435761u) ^ (seed + uint32_t(ch) * 40503u);
        const uint32_t spread = 1000 + (h >> 8) % 30000;
        return std::pair<uint32_t, uint32_t>{32768 + spread, 32768 - spread / (1 + (h & 3))};
    };
}

class PeakLazyLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        bytes = Stereo16(8000, 80, 4000, Wobble(1));
        path = dir.filePath("long.pek");
        ASSERT_TRUE(Write(path, bytes));
        Prepare(v, 400, 200);
    }
    static bool LoadStream(TKXCustomPeakViewer& viewer, const std::vector<uint8_t>& data)
    {
        TMemoryStream s;
        s.Write(data.data(), static_cast<int64_t>(data.size()));
        return viewer.LoadFromStream(&s);
    }
    static QImage Picture(TKXCustomPeakViewer& viewer)
    {
        viewer.PaintPeaks(false, nullptr);
        return viewer.BufferImage().copy();
    }
    // Draws the whole range at several zooms and both reductions.
    static void DrawEverywhere(TKXCustomPeakViewer& viewer)
    {
        for (const TPeakReduction r : {prSkip, prMinMax}) {
            viewer.SetPeakReduction(r);
            for (const float scaler : {1.0f, 37.0f, 1000.0f}) {
                viewer.SetTimeScaler(scaler);
                const int max = viewer.ScrollBar()->State().MaxPos();
                for (int pos = 0; pos <= max; pos += std::max(1, max / 7)) {
                    viewer.setScrollPosition(pos);
                    viewer.PaintPeaks(false, nullptr);
                }
                viewer.setScrollPosition(max);
                viewer.PaintPeaks(false, nullptr);
            }
        }
        viewer.SetTimeScaler(1.0f);
        viewer.SetPeakReduction(prSkip);
    }

    QTemporaryDir dir;
    std::vector<uint8_t> bytes;
    QString path;
    TKXAudioPeakViewer v;
};

TEST_F(PeakLazyLoadTest, firstPictureComesFromTheStartAndTheRestEndsAsAFullLoad)
{
    TKXAudioPeakViewer full;
    Prepare(full, 400, 200);
    ASSERT_TRUE(LoadStream(full, bytes));
    ASSERT_FALSE(full.Loading());

    ASSERT_TRUE(v.LoadFromFile(path));
    ASSERT_TRUE(v.Loading());
    EXPECT_EQ(static_cast<int64_t>(v.Model().PeakData.size()), PeakFileFill::MinFirstBytes);
    // Counts and range are the whole file's from the start.
    EXPECT_EQ(v.Model().PeakCount(), Records);
    EXPECT_EQ(v.DurationMs(), full.DurationMs());
    EXPECT_EQ(v.VisibleSeconds(), full.VisibleSeconds());
    EXPECT_EQ(v.ScrollBar()->State().MaxPos(), full.ScrollBar()->State().MaxPos());
    EXPECT_EQ(v.BufferImage(), full.BufferImage());

    ASSERT_TRUE(QTest::qWaitFor([&] { return !v.Loading(); }, 10000));
    EXPECT_TRUE(v.Model().PeakData == full.Model().PeakData);
    EXPECT_EQ(v.Model().Pyramid.Records(), Records);
    for (const TPeakReduction r : {prSkip, prMinMax}) {
        for (const float scaler : {1.0f, 0.5f, 64.0f, float(Records) / 400.0f}) {
            for (const int pos : {0, 200000, 399000}) {
                for (TKXCustomPeakViewer* each : {static_cast<TKXCustomPeakViewer*>(&v), static_cast<TKXCustomPeakViewer*>(&full)}) {
                    each->SetPeakReduction(r);
                    each->SetTimeScaler(scaler);
                    each->setScrollPosition(pos);
                }
                EXPECT_EQ(Picture(v), Picture(full)) << r << " " << scaler << " " << pos;
            }
        }
    }
}

TEST_F(PeakLazyLoadTest, unreadRecordsDrawFlatAndFinishingReadsThemAtOnce)
{
    ASSERT_TRUE(v.LoadFromFile(path));
    v.SetPeakReduction(prMinMax);
    v.SetTimeScaler(float(Records) / 400.0f);
    // The whole file in view: the first 8192 records (8 of 400 columns) are
    // read, the rest is flat at the last value.
    const QImage partial = Picture(v);
    const QRgb peaks = v.PeaksColorAsQColor().rgb();
    EXPECT_EQ(partial.pixel(5, 20), peaks);
    EXPECT_NE(partial.pixel(350, 20), peaks);
    v.FinishLoading();
    EXPECT_FALSE(v.Loading());
    EXPECT_EQ(v.BufferImage().pixel(5, 20), peaks);
    EXPECT_EQ(v.BufferImage().pixel(350, 20), peaks);
    EXPECT_TRUE(v.Model().PeakData == std::vector<uint8_t>(bytes.begin() + 16, bytes.end()));
}

TEST_F(PeakLazyLoadTest, theFirstReadCoversWhatTheFirstPictureShows)
{
    v.SetTimeScaler(100);  // 40000 records across 400 columns
    ASSERT_TRUE(v.LoadFromFile(path));
    EXPECT_EQ(static_cast<int64_t>(v.Model().PeakData.size()), (40000 + 2) * 8);
    v.SetTimeScaler(1000);
    ASSERT_TRUE(v.LoadFromFile(path));
    EXPECT_EQ(static_cast<int64_t>(v.Model().PeakData.size()), PeakFileFill::MaxFirstBytes);
}

TEST_F(PeakLazyLoadTest, aFileCutShortWhileLoadingEndsWhereItWasCut)
{
    for (const bool wait : {false, true}) {
        ASSERT_TRUE(v.LoadFromFile(path));
        ASSERT_TRUE(v.Loading());
        QSignalSpy changed(&v, &TKXCustomPeakViewer::peaksChanged);
        ASSERT_TRUE(QFile::resize(path, 16 + 1000 * 8));
        if (wait)
            ASSERT_TRUE(QTest::qWaitFor([&] { return !v.Loading(); }, 10000));
        else
            v.FinishLoading();
        EXPECT_FALSE(v.Loading());
        // What was read before the cut stays, and the range shrinks to it.
        EXPECT_EQ(static_cast<int64_t>(v.Model().PeakData.size()), PeakFileFill::MinFirstBytes);
        EXPECT_EQ(v.Model().PeakCount(), PeakFileFill::MinFirstBytes / 8);
        EXPECT_LE(v.ScrollBar()->State().MaxPos(), v.Model().PeakCount());
        EXPECT_EQ(changed.count(), 1);
        DrawEverywhere(v);
        ASSERT_TRUE(Write(path, bytes));
    }
    // Cut to nothing: no crash, the same outcome.
    ASSERT_TRUE(v.LoadFromFile(path));
    ASSERT_TRUE(QFile::resize(path, 0));
    v.FinishLoading();
    EXPECT_EQ(static_cast<int64_t>(v.Model().PeakData.size()), PeakFileFill::MinFirstBytes);
    DrawEverywhere(v);
}

TEST_F(PeakLazyLoadTest, aFileReplacedWhileLoadingIsReadAsItWasOpened)
{
    ASSERT_TRUE(v.LoadFromFile(path));
    ASSERT_TRUE(v.Loading());
    const QString other = dir.filePath("other.pek");
    ASSERT_TRUE(Write(other, Stereo16(8000, 80, 10, Wobble(2))));
    ASSERT_EQ(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v.Loading(); }, 10000));
    EXPECT_TRUE(v.Model().PeakData == std::vector<uint8_t>(bytes.begin() + 16, bytes.end()));
    DrawEverywhere(v);
}

TEST_F(PeakLazyLoadTest, destroyingClearingOrLoadingAgainEndsTheLoadUnderWay)
{
    auto other = std::make_unique<TKXAudioPeakViewer>();
    Prepare(*other, 400, 200);
    ASSERT_TRUE(other->LoadFromFile(path));
    ASSERT_TRUE(other->Loading());
    other.reset();
    QTest::qWait(1);

    // A short file loaded over a long one still being read.
    const auto shortBytes = Stereo16(8000, 80, 10, Wobble(3));
    const QString shortPath = dir.filePath("short.pek");
    ASSERT_TRUE(Write(shortPath, shortBytes));
    ASSERT_TRUE(v.LoadFromFile(path));
    ASSERT_TRUE(v.Loading());
    ASSERT_TRUE(v.LoadFromFile(shortPath));
    EXPECT_FALSE(v.Loading());
    QTest::qWait(20);
    EXPECT_TRUE(v.Model().PeakData == std::vector<uint8_t>(shortBytes.begin() + 16, shortBytes.end()));
    EXPECT_EQ(v.Model().PeakCount(), 1000);

    // A refused file leaves the load under way alone.
    ASSERT_TRUE(v.LoadFromFile(path));
    EXPECT_FALSE(v.LoadFromFile(dir.filePath("missing.pek")));
    EXPECT_TRUE(v.Loading());
    v.Clear();
    EXPECT_FALSE(v.Loading());
    EXPECT_TRUE(v.Model().Empty());

    // A stream takes over as well.
    ASSERT_TRUE(v.LoadFromFile(path));
    ASSERT_TRUE(LoadStream(v, shortBytes));
    EXPECT_FALSE(v.Loading());
    QTest::qWait(20);
    EXPECT_EQ(v.Model().PeakCount(), 1000);
}

} // namespace

} // namespace kx
