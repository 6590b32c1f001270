// The builder's RMS levels on every build path, against levels computed from
// the samples, and the side file they go to.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>

#include "BuildTestSupport.h"
#include "peaks/PeakFormat.h"
#include "peaks/RmsFile.h"
#include "platform/NativeName.h"
#include "tests/support/RmsReference.h"

namespace kx {

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint16_t SamplesPerPeak = 100;

// A sine of known amplitude on the first channel, a step (silence, then a
// constant level) on the second; mono carries both added.
TestMedia::Signal SineAndStep(int64_t frames)
{
    const auto sine = TestMedia::Sine(441, 0.5, Rate);
    return [=](int64_t f, int channel) { return channel == 0 ? sine(f, 0) : f < frames / 2 ? 0.0 : 0.25; };
}

TestMedia::Signal MonoSineAndStep(int64_t frames)
{
    const auto sine = TestMedia::Sine(441, 0.4, Rate);
    return [=](int64_t f, int) { return sine(f, 0) + (f < frames / 2 ? 0.0 : 0.25); };
}

struct Built {
    bool completed = false;
    QString failures;
    QString peakFile;
    std::optional<RmsData> levels;   // RmsLevels after the build
    std::optional<RmsData> sideFile; // ReadRmsFor the peak file
    std::vector<uint8_t> sideBytes;
    QString warning;
    TKXPeakBuilder::BuildPath path = TKXPeakBuilder::BuildPath::None;
    int segments = 0;
};

class BuilderRmsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Wav(const QString& name, uint16_t channels, int64_t frames, std::vector<int16_t>* samples = nullptr)
    {
        const TestMedia::WavFormat format{Rate, channels, 16, frames};
        const auto signal = channels == 1 ? MonoSineAndStep(frames) : SineAndStep(frames);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(TestMedia::WriteWav(path, format, signal));
        if (samples)
            *samples = AsS16(TestMedia::Pcm(format, signal), 16);
        return path;
    }

    // A copy of media in a folder of its own, so that no build finds another's files.
    QString Fresh(const QString& media, const QString& ext = {})
    {
        const QString folder = dir.filePath(QStringLiteral("run%1").arg(++runs));
        QDir().mkpath(folder);
        const QString copy = folder + "/" + QFileInfo(media).completeBaseName() +
                             (ext.isEmpty() ? "." + QFileInfo(media).suffix() : ext);
        if (ext.isEmpty())
            EXPECT_TRUE(QFile::copy(media, copy));
        else
            EXPECT_TRUE(TestMedia::EncodeWav(media, QStringLiteral("flacenc"), copy));
        return copy;
    }

    static PeakReducerSettings Reduction(uint32_t channels, uint16_t left = 4096, uint16_t right = 4096)
    {
        PeakReducerSettings s;
        s.inputRate = s.outputRate = Rate;
        s.channels = channels;
        s.samplesPerPeak = SamplesPerPeak;
        s.leftGain = left;
        s.rightGain = right;
        return s;
    }

    Built Build(const QString& media, const PeakReducerSettings& s,
                const std::function<void(TKXPeakBuilder&)>& configure = {})
    {
        Built out;
        TKXPeakBuilder builder;
        builder.SetSaveToPeakFiles(true);
        builder.SetWriteRms(true);
        builder.SetOutputSamplesPerSecond(sps44100);
        builder.SetOutputChannels(s.channels == 1 ? chMono : chStereo);
        builder.SetSamplesPerPeak(s.samplesPerPeak);
        builder.SetGains(uint32_t(s.leftGain) | uint32_t(s.rightGain) << 16);
        SegmentPolicy onePass;
        onePass.maxSegments = 1;
        builder.SetSegmentation(onePass);
        if (configure)
            configure(builder);
        BuildEvents events;
        events.Attach(builder);
        builder.SetFilename(media);
        // Media refused before it starts fails at once.
        if (builder.StartBuild()) {
            EXPECT_TRUE(WaitUntilIdle(builder, 60000));
        }
        out.completed = events.completed == std::vector<int>{0};
        out.failures = events.reasons.join("; ");
        out.path = builder.LastBuildPath();
        out.segments = builder.LastSegmentCount();
        out.warning = builder.RmsWarning();
        out.levels = builder.RmsLevels(0);
        bool exists = false;
        builder.GetPeakFilename(0, exists, out.peakFile);
        const std::vector<uint8_t> peaks = ReadFileBytes(out.peakFile);
        if (const auto header = DecodePeakHeader(peaks))
            out.sideFile = ReadRmsFor(out.peakFile, *header, PeakRecordCount(*header, peaks.size()));
        out.sideBytes = ReadFileBytes(RmsFileFor(out.peakFile));
        return out;
    }

    // Completed, with the side file in place and equal to the levels held.
    static void ExpectLevels(const Built& b, const std::vector<uint16_t>& expected, uint32_t channels)
    {
        ASSERT_TRUE(b.completed) << b.failures.toStdString();
        EXPECT_TRUE(b.warning.isEmpty()) << b.warning.toStdString();
        ASSERT_TRUE(b.sideFile) << "no usable side file beside " << b.peakFile.toStdString();
        EXPECT_EQ(b.sideFile->channels, channels);
        EXPECT_EQ(b.sideFile->samplesPerPeak, SamplesPerPeak);
        EXPECT_EQ(b.sideFile->rate, Rate);
        EXPECT_EQ(b.sideFile->values, expected);
        ASSERT_TRUE(b.levels);
        EXPECT_EQ(*b.levels, *b.sideFile);
        EXPECT_GE(StatNative(RmsFileFor(b.peakFile)).modifiedMs, StatNative(b.peakFile).modifiedMs);
    }

    QTemporaryDir dir;
    int runs = 0;
};

} // namespace

TEST_F(BuilderRmsTest, directAndOnePassLevelsMatchTheSamplesMonoAndStereoWithGains)
{
    for (uint16_t channels : {uint16_t(1), uint16_t(2)}) {
        std::vector<int16_t> pcm;
        const QString media = Wav(QStringLiteral("tone%1.wav").arg(channels), channels, 22050 + 37, &pcm);
        for (auto [left, right] : {std::pair<uint16_t, uint16_t>{4096, 4096}, {2048, 9000}}) {
            const PeakReducerSettings s = Reduction(channels, left, right);
            const auto expected = ReferenceRms(s, pcm);
            ASSERT_EQ(expected.size(), size_t(221) * channels);
            const Built direct = Build(Fresh(media), s);
            EXPECT_EQ(direct.path, TKXPeakBuilder::BuildPath::Direct);
            ExpectLevels(direct, expected, channels);
            const Built graph = Build(Fresh(media), s, [](TKXPeakBuilder& b) { b.SetDirectReduction(false); });
            EXPECT_EQ(graph.path, TKXPeakBuilder::BuildPath::OnePass);
            ExpectLevels(graph, expected, channels);
            EXPECT_EQ(graph.sideBytes, direct.sideBytes);
        }
    }
    // The step: silence, then a constant quarter of full scale on the second channel.
    const Built b = Build(Fresh(Wav("step.wav", 2, 44100)), Reduction(2));
    ASSERT_TRUE(b.sideFile);
    EXPECT_EQ(b.sideFile->values[1], 0);
    EXPECT_EQ(b.sideFile->values.back(), 8192);
    EXPECT_NEAR(b.sideFile->values[0], 16384 / std::sqrt(2.0), 1.0);
}

TEST_F(BuilderRmsTest, segmentsGiveTheDirectBuildsSideFile)
{
    std::vector<int16_t> pcm;
    const QString media = Wav("long.wav", 2, 44100 * 4, &pcm);
    const PeakReducerSettings s = Reduction(2, 4096, 6000);
    const Built direct = Build(Fresh(media), s);
    ExpectLevels(direct, ReferenceRms(s, pcm), 2);
    const Built cut = Build(Fresh(media, ".flac"), s, [](TKXPeakBuilder& b) {
        SegmentPolicy p;
        p.minSeconds = 0;
        p.maxSegments = 3;
        p.segmentFrames = 44100;
        b.SetSegmentation(p);
    });
    EXPECT_EQ(cut.path, TKXPeakBuilder::BuildPath::Segments);
    EXPECT_GT(cut.segments, 1);
    ExpectLevels(cut, ReferenceRms(s, pcm), 2);
    EXPECT_EQ(cut.sideBytes, direct.sideBytes);
}

TEST_F(BuilderRmsTest, buildsThatKeepNoRecordsStreamTheSameSideFile)
{
    std::vector<int16_t> pcm;
    const QString media = Wav("streamed.wav", 2, 30011, &pcm);
    const PeakReducerSettings s = Reduction(2, 4096, 3000);
    const Built kept = Build(Fresh(media), s);
    ExpectLevels(kept, ReferenceRms(s, pcm), 2);
    for (bool direct : {true, false}) {
        const Built streamed = Build(Fresh(media), s, [direct](TKXPeakBuilder& b) {
            b.SetKeepStreams(false);
            b.SetDirectReduction(direct);
        });
        ASSERT_TRUE(streamed.completed) << streamed.failures.toStdString();
        EXPECT_TRUE(streamed.warning.isEmpty()) << streamed.warning.toStdString();
        EXPECT_EQ(streamed.sideBytes, kept.sideBytes);
        EXPECT_TRUE(streamed.sideFile);
        EXPECT_TRUE(QDir(QFileInfo(streamed.peakFile).path()).entryList({"*.partial"}, QDir::Files).isEmpty());
    }
}

TEST_F(BuilderRmsTest, offWritesNoSideFileAndHoldsNoLevels)
{
    const Built b = Build(Fresh(Wav("a.wav", 2, 8000)), Reduction(2), [](TKXPeakBuilder& b) { b.SetWriteRms(false); });
    ASSERT_TRUE(b.completed) << b.failures.toStdString();
    EXPECT_FALSE(StatNative(RmsFileFor(b.peakFile)).exists);
    EXPECT_FALSE(b.levels);
}

TEST_F(BuilderRmsTest, failedAndStoppedBuildsWriteNoneAndLeaveAnOldOneAlone)
{
    const QString media = Fresh(Wav("held.wav", 2, 44100 * 2));
    const QString peak = ChangeFileExt(media, ".pek");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    ASSERT_TRUE(TestMedia::WriteFile(RmsFileFor(peak), old));
    {
        // The graph holds its input after a few buffers: stopped while certainly running.
        ScopedFilterHold hold(2);
        TKXPeakBuilder builder;
        builder.SetSaveToPeakFiles(true);
        builder.SetWriteRms(true);
        builder.SetDirectReduction(false);
        builder.SetFilename(media);
        ASSERT_TRUE(builder.StartBuild());
        ASSERT_TRUE(builder.CurrentGraph() != nullptr);
        EXPECT_EQ(builder.BuildState(), bsBuilding);
        EXPECT_TRUE(builder.StopBuild());
        EXPECT_FALSE(StatNative(peak).exists);
    }
    EXPECT_EQ(ReadFileBytes(RmsFileFor(peak)), old);

    // Media that cannot be decoded fails: no side file either.
    const QString bad = dir.filePath("bad.wav");
    ASSERT_TRUE(TestMedia::WriteFile(bad, std::vector<uint8_t>(4096, 0x5A)));
    const Built failed = Build(bad, Reduction(2));
    EXPECT_FALSE(failed.completed);
    EXPECT_FALSE(failed.failures.isEmpty());
    EXPECT_FALSE(StatNative(RmsFileFor(failed.peakFile)).exists);
}

TEST_F(BuilderRmsTest, anOccupiedSideFileNameIsKeptAndTheBuildSucceedsWithAWarning)
{
    const QString wav = Wav("busy.wav", 2, 8000);
    const std::vector<uint8_t> foreign = {'n', 'o', 't', 'e', 's', '\n'};
    const std::vector<uint8_t> wavBytes = ReadFileBytes(wav);
    // A foreign file, a read-only side file of the right kind, a link to the media.
    const std::vector<std::function<void(const QString& side, const QString& media)>> occupy = {
        [&](const QString& side, const QString&) { ASSERT_TRUE(TestMedia::WriteFile(side, foreign)); },
        [&](const QString& side, const QString&) {
            ASSERT_TRUE(TestMedia::WriteFile(side, EncodeRms(RmsData{})));
            ASSERT_TRUE(QFile::setPermissions(side, QFileDevice::ReadOwner));
        },
        [&](const QString& side, const QString& media) { ASSERT_TRUE(QFile::link(media, side)); },
    };
    for (size_t i = 0; i < occupy.size(); ++i) {
        const QString media = Fresh(wav);
        const QString side = RmsFileFor(ChangeFileExt(media, ".pek"));
        occupy[i](side, media);
        const std::vector<uint8_t> before = ReadFileBytes(side);
        const Built b = Build(media, Reduction(2));
        EXPECT_TRUE(b.completed) << i << ": " << b.failures.toStdString();
        EXPECT_FALSE(b.warning.isEmpty()) << i;
        EXPECT_TRUE(b.warning.contains(side)) << b.warning.toStdString();
        EXPECT_EQ(ReadFileBytes(side), before) << i;
        EXPECT_FALSE(b.sideFile) << i;
        // The levels are still held for the program.
        ASSERT_TRUE(b.levels) << i;
        EXPECT_EQ(b.levels->Records(), 80);
    }
    EXPECT_EQ(ReadFileBytes(wav), wavBytes);
}

} // namespace kx
