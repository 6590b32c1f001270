// Memory of kept peak streams: sizes, the shared budget, and builds that
// keep no stream.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "BuildTestSupport.h"
#include "peaks/KXPeakBuildPool.h"
#include "peaks/MemoryBudget.h"
#include "peaks/PeakFormat.h"

namespace kx {

TEST(MemoryBudget, takesOnlyWhatIsLeftAndReadsSizes)
{
    MemoryBudget b(100);
    EXPECT_TRUE(b.TryTake(60));
    EXPECT_FALSE(b.TryTake(41));
    EXPECT_EQ(b.Taken(), 60);
    EXPECT_TRUE(b.TryTake(40));
    b.Give(100);
    EXPECT_EQ(b.Taken(), 0);
    EXPECT_GE(MemoryBudget::DefaultBytes(), int64_t(64) << 20);
    EXPECT_EQ(MemoryBudget::ParseSize("512M"), int64_t(512) << 20);
    EXPECT_EQ(MemoryBudget::ParseSize("2g"), int64_t(2) << 30);
    EXPECT_EQ(MemoryBudget::ParseSize("4096"), 4096);
    for (const char* bad : {"", "M", "-1G", "0", "1.5G", "9999999999T"})
        EXPECT_EQ(MemoryBudget::ParseSize(bad), -1) << bad;
}

namespace {

class StreamMemory : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    // Seconds of 8 kHz mono: 480 records of 8 bytes a second at the defaults.
    QString Wav(const QString& name, int seconds)
    {
        const QString p = dir.filePath(name);
        EXPECT_TRUE(TestMedia::WriteWav(p, {8000, 1, 16, 8000 * seconds}, TestMedia::Sine(300, 0.5, 8000)));
        return p;
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(StreamMemory, aStreamThatCouldNeverFitIsRefusedBeforeItStartsWithTheFigures)
{
    const auto budget = std::make_shared<MemoryBudget>(int64_t(1) << 20);
    TKXPeakBuilder builder;
    BuildEvents events;
    events.Attach(builder);
    builder.SetSaveToPeakFiles(true);
    builder.SetMemoryBudget(budget);
    // 300 s: 1.1 MiB of records; 10 s: 38 KiB.
    const QString big = Wav("big.wav", 300), small = Wav("small.wav", 10);
    ASSERT_TRUE(builder.AppendFilenames({big, small}));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_EQ(events.failed, std::vector<int>{0});
    ASSERT_EQ(events.reasons.size(), 1);
    EXPECT_TRUE(events.reasons[0].endsWith("its peaks would take 1.1 MiB in memory, more than the 1.0 MiB allowed"))
        << events.reasons[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(ChangeFileExt(big, ".pek")));
    EXPECT_EQ(events.completed, std::vector<int>{1});
    // The kept stream holds its share until it is emptied.
    EXPECT_EQ(budget->Taken(), PeakHeaderSize + 4800 * 8);
    builder.Clear();
    EXPECT_EQ(budget->Taken(), 0);
}

TEST_F(StreamMemory, withoutKeptStreamsABuildTakesNoMemoryForItsPeaks)
{
    const auto budget = std::make_shared<MemoryBudget>(int64_t(1) << 20);
    TKXPeakBuilder builder;
    BuildEvents events;
    events.Attach(builder);
    builder.SetSaveToPeakFiles(true);
    builder.SetKeepStreams(false);
    builder.SetMemoryBudget(budget);
    const QString big = Wav("big.wav", 300);
    ASSERT_TRUE(builder.AppendFilename(big));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    ASSERT_EQ(events.completed, std::vector<int>{0}) << events.reasons.join('\n').toStdString();
    EXPECT_EQ(budget->Taken(), 0);
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(builder.GetStreamByIndex(0, s));
    EXPECT_EQ(s->Size(), 0);
    const auto header = DecodePeakHeader(ReadFileBytes(ChangeFileExt(big, ".pek")));
    ASSERT_TRUE(header);
    EXPECT_EQ(QFileInfo(ChangeFileExt(big, ".pek")).size(), PeakHeaderSize + 300 * 480 * 8);
    // Not taken for a peak file to load: a second start builds nothing.
    EXPECT_FALSE(builder.StartBuild());
    EXPECT_EQ(events.completed, std::vector<int>{0});
}

TEST_F(StreamMemory, poolJobsShareOneBudgetAndWaitForEachOther)
{
    // Room for the stream of one file at a time, with three jobs.
    TKXPeakBuildPool pool;
    pool.SetJobs(3);
    pool.SetMemoryBudget(PeakHeaderSize + 60 * 480 * 8 + 1000);
    pool.Configure = [](TKXPeakBuilder& b) { b.SetSaveToPeakFiles(true); };
    QStringList files;
    for (int i = 0; i < 4; ++i)
        files << Wav(QStringLiteral("f%1.wav").arg(i), 60);
    int streams = 0;
    std::vector<TKXPeakBuildPool::Outcome> outcomes;
    pool.OnFileFinished = [&](int, const QString&, TKXPeakBuildPool::Outcome, const QString&, TKXPeakBuilder& b) {
        TMemoryStream* s = nullptr;
        streams += b.GetStreamByIndex(0, s) && s->Size() == PeakHeaderSize + 60 * 480 * 8 ? 1 : 0;
    };
    pool.OnFileResult = [&](int, const QString&, TKXPeakBuildPool::Outcome o, const QString&) { outcomes.push_back(o); };
    bool finished = false;
    pool.OnFinished = [&] { finished = true; };
    ASSERT_TRUE(pool.Start(files));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 60000));
    EXPECT_EQ(outcomes, std::vector<TKXPeakBuildPool::Outcome>(4, TKXPeakBuildPool::Outcome::Built));
    EXPECT_EQ(streams, 4);
    for (const QString& f : files)
        EXPECT_EQ(QFileInfo(ChangeFileExt(f, ".pek")).size(), PeakHeaderSize + 60 * 480 * 8);
}

} // namespace kx
