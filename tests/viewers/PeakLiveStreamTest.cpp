#include <algorithm>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/MemoryStream.h"
#include "tests/support/TestMedia.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

using namespace PeakTestData;

namespace {

// A stream that the test writes to by hand, as a build would.
class PeakLiveStreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Prepare(v, 400, 200);
        v.OnPaint = [this](QObject*, TCanvas&) { ++paints; };
        // 10 s at 100 records a second.
        file = Stereo16(8000, 80, 10, [](int64_t p, int) {
            return std::pair{uint32_t(32768 + p % 1000 * 30), uint32_t(32768 - p % 1000 * 30)};
        });
        v.SetLiveSource(
            [this](int64_t from, std::vector<uint8_t>& head, std::vector<uint8_t>& tail, int64_t& total) {
                if (gone)
                    return false;
                total = written;
                head.assign(file.begin(), file.begin() + std::min<int64_t>(written, 16));
                tail.assign(file.begin() + std::min(from, written), file.begin() + written);
                return true;
            },
            [this] { return writing; });
    }
    int64_t Records() const { return static_cast<int64_t>(v.Model().PeakData.size()) / 8; }

    TKXAudioPeakViewer v;
    std::vector<uint8_t> file;
    int64_t written = 0;
    bool writing = true;
    bool gone = false;
    int paints = 0;
};

TEST_F(PeakLiveStreamTest, takesWholeRecordsAsTheyArriveAndRepaintsOnlyForNewOnes)
{
    EXPECT_TRUE(v.LiveStream());
    EXPECT_FALSE(v.PullLiveStream());  // nothing written yet
    written = 10;                      // a header on its way
    EXPECT_FALSE(v.PullLiveStream());
    EXPECT_EQ(v.PcmByteCount(), 0);
    written = 16 + 8 * 100 + 5;  // a second of records and part of the next
    const int before = paints;
    ASSERT_TRUE(v.PullLiveStream());
    EXPECT_EQ(Records(), 100);
    EXPECT_EQ(paints, before + 1);
    EXPECT_FALSE(v.PullLiveStream());  // nothing new: no repaint
    EXPECT_EQ(paints, before + 1);
    written = 16 + 8 * 600;
    ASSERT_TRUE(v.PullLiveStream());
    EXPECT_EQ(Records(), 600);
    v.ScrollToSeconds(2);
    const int pos = v.ScrollPos();
    ASSERT_GT(pos, 0);
    // The records drawn match a load of the same bytes.
    written = static_cast<int64_t>(file.size());
    ASSERT_TRUE(v.PullLiveStream());
    EXPECT_EQ(v.ScrollPos(), pos);  // growing keeps the view where it was
    EXPECT_EQ(v.Model().PeakData, std::vector<uint8_t>(file.begin() + 16, file.end()));
    uint32_t hi[2], lo[2];
    ASSERT_TRUE(v.Model().Pyramid.Extremes(v.Model().PeakData, 0, 1000, hi, lo));
    EXPECT_EQ(hi[0], 32768u + 999 * 30);
    // Once the build is over and nothing more comes, following stops by itself.
    writing = false;
    EXPECT_FALSE(v.PullLiveStream());
    EXPECT_FALSE(v.LiveStream());
    EXPECT_EQ(Records(), 1000);
}

TEST_F(PeakLiveStreamTest, aReplacedStreamStartsOverAndAnyLoadEndsFollowing)
{
    written = 16 + 8 * 300;
    ASSERT_TRUE(v.PullLiveStream());
    written = 16 + 8 * 50;  // a new build of the file began
    ASSERT_TRUE(v.PullLiveStream());
    EXPECT_EQ(Records(), 50);
    gone = true;  // the stream was removed from the queue
    EXPECT_FALSE(v.PullLiveStream());
    EXPECT_FALSE(v.LiveStream());
    EXPECT_EQ(Records(), 50);

    gone = false;
    v.SetLiveStream(nullptr, 0);
    EXPECT_FALSE(v.LiveStream());
    v.SetLiveSource([](int64_t, std::vector<uint8_t>&, std::vector<uint8_t>&, int64_t& total) {
        total = 0;
        return true;
    });
    ASSERT_TRUE(v.LiveStream());
    TMemoryStream s;
    s.Write(file.data(), static_cast<int64_t>(file.size()));
    ASSERT_TRUE(v.LoadFromStream(&s));
    EXPECT_FALSE(v.LiveStream());
}

// A real build: the viewer follows the builder's stream from the start of the
// build and ends with exactly the records of the finished stream.
TEST(PeakLiveStreamBuild, followsARealBuildToItsEnd)
{
    QTemporaryDir dir;
    const QString media = dir.filePath("tone.flac");
    if (!TestMedia::EncodeTone(media, 20.0))
        GTEST_SKIP() << "no FLAC encoder";
    TKXPeakBuilder builder;
    builder.SetTempFolder(dir.path());
    builder.SetSaveToPeakFiles(false);
    TKXAudioPeakViewer v;
    Prepare(v, 400, 200);
    int paints = 0;
    v.OnPaint = [&](QObject*, TCanvas&) { ++paints; };
    bool complete = false;
    builder.OnPeakComplete = [&](QObject*, int, const QString&, const QString&) { complete = true; };
    ASSERT_TRUE(builder.AppendFilename(media));
    ASSERT_TRUE(builder.StartBuild());
    QElapsedTimer clock;
    clock.start();
    paints = 0;
    v.SetLiveStream(&builder, builder.CurrentItemIndex());
    ASSERT_TRUE(QTest::qWaitFor([&] { return complete; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v.LiveStream(); }, 5000));
    TMemoryStream* stream = nullptr;
    ASSERT_TRUE(builder.GetStreamByIndex(0, stream));
    const auto bytes = stream->Bytes();
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(v.Model().PeakData, std::vector<uint8_t>(bytes.begin() + 16, bytes.end()));
    EXPECT_NEAR(v.DurationMs(), 20000, 100);
    // Repaints come from the pulls, at most one a pull.
    EXPECT_LE(paints, clock.elapsed() / TKXCustomPeakViewer::LiveIntervalMs + 2);
    EXPECT_GE(paints, 1);
}

// The test bench's "Load from PeakBuilder" during a build: loading the stream
// into a viewer again and again must neither move where the records land nor
// show part of one, and the stream ends equal to the peak file.
TEST(PeakLiveStreamBuild, loadingTheStreamDuringABuildLeavesItEqualToThePeakFile)
{
    QTemporaryDir dir;
    const QString media = dir.filePath("tone.wav");
    ASSERT_TRUE(TestMedia::WriteWav(media, {22050, 2, 16, 22050 * 20}, TestMedia::Sine(300, 0.7, 22050)));
    TKXPeakBuilder builder;
    builder.SetTempFolder(dir.path());
    builder.SetSaveToPeakFiles(true);
    builder.SetSamplesPerPeak(4);
    // Decoded by the graph, so that blocks keep arriving while the loads run.
    builder.SetDirectReduction(false);
    TKXAudioPeakViewer v;
    Prepare(v, 400, 200);
    bool complete = false;
    builder.OnPeakComplete = [&](QObject*, int, const QString&, const QString&) { complete = true; };
    std::vector<std::vector<uint8_t>> seen;
    int loads = 0;
    builder.OnProgress = [&](QObject*, int, int item, int, bool&) {
        TMemoryStream* stream = nullptr;
        if (item != 0 || builder.BuildState() != bsBuilding || !builder.GetStreamByIndex(0, stream))
            return;
        ++loads;
        if (v.LoadFromStream(stream) && seen.size() < 8)
            seen.push_back(v.Model().PeakData);
    };
    ASSERT_TRUE(builder.AppendFilename(media));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(QTest::qWaitFor([&] { return complete; }, 60000));
    ASSERT_GT(loads, 2);
    ASSERT_FALSE(seen.empty());

    TMemoryStream* stream = nullptr;
    ASSERT_TRUE(builder.GetStreamByIndex(0, stream));
    const std::vector<uint8_t> bytes(stream->Bytes().begin(), stream->Bytes().end());
    EXPECT_EQ(bytes, ReadFileBytes(ChangeFileExt(media, ".pek")));
    ASSERT_GT(bytes.size(), 16u);
    // Every load saw whole records, each the start of the finished ones.
    for (const auto& records : seen) {
        EXPECT_EQ(records.size() % 8, 0u);
        ASSERT_LE(records.size(), bytes.size() - 16);
        EXPECT_TRUE(std::equal(records.begin(), records.end(), bytes.begin() + 16));
    }
    ASSERT_TRUE(v.LoadFromStream(stream));
    EXPECT_EQ(v.Model().PeakData, std::vector<uint8_t>(bytes.begin() + 16, bytes.end()));
}

} // namespace
} // namespace kx
