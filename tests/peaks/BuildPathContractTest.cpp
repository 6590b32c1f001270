// The builder's contract, run once per path a file can take: the direct WAV
// reduction, one pass through the decode graph, and segments.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "BuildTestSupport.h"
#include "peaks/PeakFormat.h"
#include "peaks/SegmentPlan.h"
#include "platform/GraphRegistry.h"

namespace kx {

namespace {

using Path = TKXPeakBuilder::BuildPath;

const char* PathName(Path path)
{
    switch (path) {
    case Path::Direct: return "Direct";
    case Path::OnePass: return "OnePass";
    case Path::Segments: return "Segments";
    default: return "None";
    }
}

class BuildPathContract : public ::testing::TestWithParam<Path>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        builder.SetTempFolder(dir.path());
        builder.SetSaveToPeakFiles(true);
        events.Attach(builder);
        if (GetParam() == Path::Segments) {
            // Three seconds of FLAC in segments of one second.
            media = dir.filePath("a.flac");
            ASSERT_TRUE(TestMedia::RunPipeline(
                QStringLiteral("audiotestsrc wave=white-noise volume=0.6 num-buffers=30 samplesperbuffer=4410 ! "
                               "audio/x-raw,format=S16LE,rate=44100,channels=2 ! flacenc ! filesink location=\"%1\"")
                    .arg(media)));
            SegmentPolicy policy;
            policy.minSeconds = 0;
            policy.maxSegments = 2;
            policy.segmentFrames = 44100;
            builder.SetSegmentation(policy);
        } else {
            media = dir.filePath("a.wav");
            ASSERT_TRUE(TestMedia::WriteWav(media, {22050, 2, 16, 22050 * 2}, TestMedia::Sine(440, 0.8, 22050)));
            builder.SetDirectReduction(GetParam() == Path::Direct);
        }
        ASSERT_TRUE(builder.AppendFilename(media));
    }

    // Another media file of the same kind and a different length, put in
    // place of the queued one under a new inode, as a program saving it does.
    void ReplaceMedia(int generation)
    {
        const QString next = dir.filePath(QStringLiteral("next%1.%2").arg(generation).arg(QFileInfo(media).suffix()));
        const int seconds = 3 + generation;
        if (GetParam() == Path::Segments) {
            ASSERT_TRUE(TestMedia::RunPipeline(
                QStringLiteral("audiotestsrc wave=white-noise volume=0.3 num-buffers=%1 samplesperbuffer=4410 ! "
                               "audio/x-raw,format=S16LE,rate=44100,channels=2 ! flacenc ! filesink location=\"%2\"")
                    .arg(seconds * 10)
                    .arg(next)));
        } else {
            ASSERT_TRUE(TestMedia::WriteWav(next, {22050, 2, 16, 22050 * seconds}, TestMedia::Sine(700, 0.4, 22050)));
        }
        ASSERT_EQ(::rename(QFile::encodeName(next).constData(), QFile::encodeName(media).constData()), 0);
    }

    void BuildToTheEnd()
    {
        ASSERT_TRUE(builder.StartBuild());
        ASSERT_TRUE(WaitUntilIdle(builder, 60000));
        ASSERT_EQ(events.completed, std::vector<int>{0}) << events.reasons.join('\n').toStdString();
        ASSERT_EQ(builder.LastBuildPath(), GetParam());
    }

    QTemporaryDir dir;
    TKXPeakBuilder builder;
    BuildEvents events;
    QString media;
};

} // namespace

TEST_P(BuildPathContract, settingsLockAndTheGraphManagerIsThereOnceABuildHasRun)
{
    EXPECT_EQ(builder.GraphManager(), nullptr);
    builder.SetSamplesPerPeak(50);
    EXPECT_EQ(builder.SamplesPerPeak(), 50);
    BuildToTheEnd();
    EXPECT_NE(builder.GraphManager(), nullptr);
    builder.SetSamplesPerPeak(70);
    builder.SetOutputBPS(bp8);
    builder.SetOutputChannels(chMono);
    builder.SetPeakExtension(QStringLiteral(".pk2"));
    EXPECT_EQ(builder.SamplesPerPeak(), 50);
    EXPECT_EQ(builder.OutputBPS(), bp16);
    EXPECT_EQ(builder.OutputChannels(), chStereo);
    EXPECT_EQ(builder.PeakExtension(), QStringLiteral(".pek"));
    // The stream holds what the peak file holds.
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(builder.GetStreamByIndex(0, s));
    EXPECT_EQ(std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()),
              ReadFileBytes(ChangeFileExt(media, ".pek")));
    const auto header = DecodePeakHeader(ReadFileBytes(ChangeFileExt(media, ".pek")));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->SamplesPerPeak, 50);
}

TEST_P(BuildPathContract, theRunningBuildIsListedInTheGraphRegistryWhileItRuns)
{
    builder.SetAddToRot(true);
    const QStringList before = GraphRegistry::Names();
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_EQ(builder.BuildState(), bsBuilding);
    QStringList added = GraphRegistry::Names();
    for (const QString& name : before)
        added.removeAll(name);
    ASSERT_EQ(added.size(), 1) << added.join(", ").toStdString();
    EXPECT_TRUE(added[0].startsWith(QStringLiteral("FilterGraph "))) << added[0].toStdString();
    ASSERT_TRUE(WaitUntilIdle(builder, 60000));
    ASSERT_EQ(events.completed, std::vector<int>{0});
    EXPECT_EQ(builder.LastBuildPath(), GetParam());
    EXPECT_FALSE(GraphRegistry::Contains(added[0]));
}

TEST_P(BuildPathContract, pauseAfterAFinishedBuildFailsAndStopThenSucceeds)
{
    EXPECT_FALSE(builder.PauseBuild());  // nothing has run yet
    EXPECT_EQ(builder.BuildState(), bsFailed);
    EXPECT_FALSE(builder.StopBuild());
    EXPECT_EQ(builder.BuildState(), bsFailed);
    BuildToTheEnd();
    EXPECT_EQ(builder.BuildState(), bsStopped);
    EXPECT_FALSE(builder.PauseBuild());
    EXPECT_EQ(builder.BuildState(), bsFailed);
    EXPECT_TRUE(builder.StopBuild());
    EXPECT_EQ(builder.BuildState(), bsStopped);
    EXPECT_FALSE(builder.StopBuild());  // stopped already
}

TEST_P(BuildPathContract, pausedThenStoppedBuildLeavesNoPeakFileAndStartsAfresh)
{
    // One record per sample, so that the build is still running when paused.
    builder.SetSamplesPerPeak(1);
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(builder.PauseBuild());
    EXPECT_EQ(builder.BuildState(), bsPaused);
    EXPECT_FALSE(builder.StartBuild());
    EXPECT_TRUE(builder.StopBuild());
    EXPECT_EQ(builder.BuildState(), bsStopped);
    EXPECT_TRUE(events.completed.empty());
    const QString peak = ChangeFileExt(media, ".pek");
    const bool finishedFirst = QFileInfo::exists(peak);
    if (!finishedFirst) {
        BuildToTheEnd();
    }
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(builder.GetStreamByIndex(0, s));
    EXPECT_EQ(std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()), ReadFileBytes(peak));
}

TEST_P(BuildPathContract, mediaReplacedDuringTheBuildIsBuiltAgainFromTheNewMedia)
{
    int replaced = 0;
    builder.OnProgress = [&](QObject*, int progress, int item, int, bool&) {
        if (progress == 0 && item == 0 && builder.BuildState() == bsBuilding && replaced == 0)
            ReplaceMedia(++replaced);
    };
    BuildToTheEnd();
    ASSERT_EQ(replaced, 1);
    // The peaks are those of the new media (four seconds), and so is the stream.
    const std::vector<uint8_t> peak = ReadFileBytes(ChangeFileExt(media, ".pek"));
    const auto header = DecodePeakHeader(peak);
    ASSERT_TRUE(header);
    EXPECT_EQ(PeakDurationMs(*header), 4000);
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(builder.GetStreamByIndex(0, s));
    EXPECT_EQ(std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()), peak);
}

TEST_P(BuildPathContract, mediaReplacedDuringEveryBuildFailsAndLeavesNoPeakFile)
{
    int replaced = 0;
    builder.OnProgress = [&](QObject*, int progress, int item, int, bool&) {
        if (progress == 0 && item == 0 && builder.BuildState() == bsBuilding)
            ReplaceMedia(++replaced);
    };
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.failed.empty(); }, 60000));
    EXPECT_EQ(replaced, 2);
    EXPECT_TRUE(events.completed.empty());
    ASSERT_EQ(events.reasons.size(), 1);
    EXPECT_TRUE(events.reasons[0].endsWith("the media changed during the build")) << events.reasons[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(ChangeFileExt(media, ".pek")));
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.partial"}, QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(EveryPath, BuildPathContract, ::testing::Values(Path::Direct, Path::OnePass, Path::Segments),
                         [](const ::testing::TestParamInfo<Path>& info) { return std::string(PathName(info.param)); });

} // namespace kx
