#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>

#include "BuildTestSupport.h"
#include "peaks/KXPeakBuildPool.h"
#include "peaks/PeakFormat.h"

#include "tests/support/TestMedia.h"

namespace kx {

namespace {

using Outcome = TKXPeakBuildPool::Outcome;

struct PoolRun {
    std::vector<std::pair<int, Outcome>> inOrder;
    std::vector<int> finishedOrder;
    std::vector<int> progress;
    bool finished = false;
};

PoolRun RunPool(TKXPeakBuildPool& pool, const QStringList& files)
{
    PoolRun run;
    pool.OnFileResult = [&](int index, const QString&, Outcome outcome, const QString&) {
        run.inOrder.emplace_back(index, outcome);
    };
    pool.OnFileFinished = [&](int index, const QString&, Outcome outcome, const QString&, TKXPeakBuilder& b) {
        run.finishedOrder.push_back(index);
        // The builder holds the file's stream while it is reported.
        TMemoryStream* stream = nullptr;
        if (outcome == Outcome::Built || outcome == Outcome::HasPeaks) {
            EXPECT_TRUE(b.GetStreamByIndex(0, stream) && stream->Size() > PeakHeaderSize) << index;
        }
    };
    pool.OnProgress = [&](int percent, int, int) { run.progress.push_back(percent); };
    pool.OnFinished = [&] { run.finished = true; };
    EXPECT_TRUE(pool.Start(files));
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.finished; }, 60000));
    return run;
}

} // namespace

TEST(BuildPool, outcomesComeInInputOrderAndPeakFilesMatchASingleBuilders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList files;
    for (int i = 0; i < 5; ++i) {
        const QString f = dir.filePath(QStringLiteral("w%1.wav").arg(i));
        // Longer files first, so that later ones finish earlier.
        ASSERT_TRUE(TestMedia::WriteWav(f, {44100, 2, 16, 44100 * (6 - i)}, TestMedia::Sine(200.0 + i, 0.7, 44100)));
        files << f;
    }
    const QString flac = dir.filePath("tone.flac");
    ASSERT_TRUE(TestMedia::EncodeTone(flac, 1.0));
    const QString junk = dir.filePath("junk.wav");
    ASSERT_TRUE(TestMedia::WriteFile(junk, std::vector<uint8_t>(1000, 7)));
    const QString missing = dir.filePath("missing.wav");
    files << flac << junk << missing << files[1];  // the repeat is taken once

    TKXPeakBuildPool pool;
    pool.SetJobs(3);
    pool.Configure = [](TKXPeakBuilder& b) {
        b.SetSaveToPeakFiles(true);
        b.SetSamplesPerPeak(50);
    };
    const PoolRun run = RunPool(pool, files);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(pool.FileCount(), 8);
    const std::vector<std::pair<int, Outcome>> expected = {{0, Outcome::Built}, {1, Outcome::Built},
                                                           {2, Outcome::Built}, {3, Outcome::Built},
                                                           {4, Outcome::Built}, {5, Outcome::Built},
                                                           {6, Outcome::Failed}, {7, Outcome::NotFound}};
    EXPECT_EQ(run.inOrder, expected);
    EXPECT_EQ(run.finishedOrder.size(), 8u);
    EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
    ASSERT_FALSE(run.progress.empty());
    EXPECT_EQ(run.progress.back(), 100);

    // The same files through one builder, one after another.
    for (int i : {0, 4, 5}) {
        const QString peak = ChangeFileExt(files[i], ".pek");
        const std::vector<uint8_t> pooled = ReadFileBytes(peak);
        ASSERT_FALSE(pooled.empty());
        QFile::remove(peak);
        TKXPeakBuilder b;
        b.SetSaveToPeakFiles(true);
        b.SetSamplesPerPeak(50);
        ASSERT_TRUE(b.AppendFilename(files[i]));
        ASSERT_TRUE(b.StartBuild());
        ASSERT_TRUE(WaitUntilIdle(b));
        EXPECT_EQ(ReadFileBytes(peak), pooled) << i;
    }

    // A second run finds every peak file.
    const PoolRun again = RunPool(pool, files.mid(0, 5));
    for (const auto& [index, outcome] : again.inOrder)
        EXPECT_EQ(outcome, Outcome::HasPeaks) << index;
}

TEST(BuildPool, filesThatShareAPeakFileAreNeverBuiltTogether)
{
    // a.wav and a.flac both write a.pek: the first builds it, the second finds it.
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav");
    const QString flac = dir.filePath("a.flac");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {22050, 1, 16, 22050}, TestMedia::Sine(300, 0.5, 22050)));
    ASSERT_TRUE(TestMedia::EncodeTone(flac, 1.0));
    TKXPeakBuildPool pool;
    pool.SetJobs(2);
    pool.Configure = [](TKXPeakBuilder& b) { b.SetSaveToPeakFiles(true); };
    const PoolRun run = RunPool(pool, {flac, wav});
    const std::vector<std::pair<int, Outcome>> expected = {{0, Outcome::Built}, {1, Outcome::HasPeaks}};
    EXPECT_EQ(run.inOrder, expected);
}

TEST(BuildPool, stopEndsEveryBuildAndLeavesNoUnfinishedFile)
{
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files << dir.filePath(QStringLiteral("s%1.flac").arg(i));
        ASSERT_TRUE(TestMedia::EncodeTone(files.back(), 4.0));
    }
    TKXPeakBuildPool pool;
    pool.SetJobs(2);
    pool.Configure = [](TKXPeakBuilder& b) { b.SetSaveToPeakFiles(true); };
    int results = 0;
    pool.OnFileResult = [&](int, const QString&, Outcome, const QString&) { ++results; };
    ASSERT_TRUE(pool.Start(files));
    EXPECT_TRUE(pool.Running());
    EXPECT_FALSE(pool.Start(files));
    pool.Stop();
    EXPECT_FALSE(pool.Running());
    QTest::qWait(50);  // queued dispatches find the pool stopped
    EXPECT_EQ(results, 0);
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.partial"}, QDir::Files).isEmpty());
}

TEST(BuildPool, everyNameFallsInExactlyOneStableShare)
{
    // The hash is fixed by definition (64-bit FNV-1a of the name without its
    // extension), so machines and runs agree.
    EXPECT_EQ(ShardOf("a", 7), 5);
    EXPECT_EQ(ShardOf("/music/x.flac", 16), 2);
    // Media that share a peak file share a share, whatever their extension.
    for (int count : {2, 3, 16})
        for (const char* stem : {"s1", "/music/x", "dir.v2/take"}) {
            const QString name = QString::fromLatin1(stem);
            EXPECT_EQ(ShardOf(name + ".wav", count), ShardOf(name + ".flac", count)) << stem;
            EXPECT_EQ(ShardOf(name + ".wav", count), ShardOf(name, count)) << stem;
        }
    QStringList names;
    for (int i = 0; i < 2000; ++i)
        names << QStringLiteral("/media/library/%1/track %2.flac").arg(i % 37).arg(i);
    for (int count : {1, 2, 3, 8, 100}) {
        std::vector<int> sizes(size_t(count), 0);
        for (const QString& n : names) {
            const int share = ShardOf(n, count);
            ASSERT_GE(share, 0);
            ASSERT_LT(share, count);
            EXPECT_EQ(share, ShardOf(n, count));
            ++sizes[size_t(share)];
        }
        // Spread out: no share empty, none over twice its fair size.
        for (int s : sizes) {
            EXPECT_GT(s, 0) << count;
            EXPECT_LE(s, 2 * int(names.size()) / count + 1) << count;
        }
    }
}

} // namespace kx
