#pragma once
// The whole-build fixture of the segmented build tests: media encoded at test
// time, builds in folders of their own, one pass against segments.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <functional>

#include "BuildTestSupport.h"
#include "peaks/PeakFormat.h"
#include "peaks/SegmentPlan.h"

namespace kx {


struct SegmentedRun {
    bool completed = false;
    QStringList failures;
    int segments = 0;
    std::vector<uint8_t> peakFile;
    std::vector<uint8_t> stream;
    std::vector<int> progress;
};

struct RunFormat {
    int channels = 2;
    TSPS rate = sps44100;
    TBPS bits = bp16;
    uint16_t samplesPerPeak = 100;
};

class SegmentedBuildTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // White noise, so that a sample out of place changes the extremes.
    QString Encode(const QString& name, const QString& encoder, int buffers, int frames = 4410,
                   const QString& caps = QStringLiteral("audio/x-raw,format=S16LE,rate=44100,channels=2"),
                   const QString& wave = QStringLiteral("white-noise"))
    {
        const QString path = dir.filePath(name);
        const bool ok = TestMedia::RunPipeline(
            QStringLiteral("audiotestsrc wave=%6 volume=0.6 num-buffers=%1 samplesperbuffer=%2 ! "
                           "%3 ! %4 ! filesink location=\"%5\"")
                .arg(buffers)
                .arg(frames)
                .arg(caps, encoder, path, wave));
        return ok ? path : QString();
    }

    // The segments the builder plans for the media at the output format.
    static int Planned(const QString& media, const SegmentPolicy& policy, const RunFormat& format = {})
    {
        static const uint32_t rates[] = {48000, 44100, 32000, 22050, 11025, 8000};
        const SegmentableStream stream = ProbeSegmentable(media);
        PeakReducerSettings s;
        s.inputRate = stream.rate;
        s.outputRate = rates[format.rate];
        s.channels = uint32_t(format.channels);
        s.bitsPerSample = format.bits == bp8 ? 8 : 16;
        s.samplesPerPeak = format.samplesPerPeak;
        return int(PlanSegments(s, stream.frames, policy, SegmentParallelism(policy, 2)).size());
    }

    SegmentedRun Run(const QString& media, const SegmentPolicy& policy, const RunFormat& format = {},
              const std::function<void(TKXPeakBuilder&)>& during = {})
    {
        // Each build in a folder of its own, so that none finds the other's peak file.
        const QString folder = dir.filePath(QStringLiteral("run%1").arg(++runs));
        QDir().mkpath(folder);
        const QString copy = folder + "/" + QFileInfo(media).fileName();
        EXPECT_TRUE(QFile::copy(media, copy));
        SegmentedRun result;
        TKXPeakBuilder builder;
        builder.SetSaveToPeakFiles(true);
        builder.SetOutputChannels(format.channels == 1 ? chMono : chStereo);
        builder.SetOutputSamplesPerSecond(format.rate);
        builder.SetOutputBPS(format.bits);
        builder.SetSamplesPerPeak(format.samplesPerPeak);
        builder.SetSegmentation(policy);
        BuildEvents events;
        events.Attach(builder);
        builder.SetFilename(copy);
        EXPECT_TRUE(builder.StartBuild());
        if (during)
            during(builder);
        EXPECT_TRUE(WaitUntilIdle(builder, 60000));
        result.completed = events.completed == std::vector<int>{0};
        result.failures = events.reasons;
        result.segments = builder.LastSegmentCount();
        for (const auto& p : events.progress)
            result.progress.push_back(p.progress);
        result.peakFile = ReadFileBytes(ChangeFileExt(copy, ".pek"));
        TMemoryStream* s = nullptr;
        if (builder.GetStreamByIndex(0, s) && s)
            result.stream.assign(s->Bytes().begin(), s->Bytes().end());
        // Nothing but the media and its peak file is left behind.
        const QStringList left = QDir(folder).entryList(QDir::Files);
        EXPECT_LE(left.size(), 2) << left.join(", ").toStdString();
        return result;
    }

    static SegmentPolicy OnePass()
    {
        SegmentPolicy p;
        p.maxSegments = 1;
        return p;
    }
    static SegmentPolicy Segments(uint64_t frames, int parallel = 3)
    {
        SegmentPolicy p;
        p.minSeconds = 0;
        p.maxSegments = parallel;
        p.segmentFrames = frames;
        return p;
    }

    // Both builds complete with the same bytes; the segmented one used `segments`.
    void ExpectSame(const QString& media, const SegmentPolicy& policy, int segments, const RunFormat& format = {})
    {
        ASSERT_FALSE(media.isEmpty());
        const SegmentedRun one = Run(media, OnePass(), format);
        const SegmentedRun cut = Run(media, policy, format);
        ASSERT_TRUE(one.completed) << one.failures.join("; ").toStdString();
        ASSERT_TRUE(cut.completed) << cut.failures.join("; ").toStdString();
        EXPECT_EQ(one.segments, 1);
        EXPECT_EQ(cut.segments, segments);
        ASSERT_GT(one.peakFile.size(), size_t(PeakHeaderSize));
        EXPECT_EQ(cut.peakFile, one.peakFile);
        EXPECT_EQ(cut.stream, one.stream);
        // Progress starts and ends as in one pass and never goes back in between.
        ASSERT_GE(cut.progress.size(), 2u);
        EXPECT_EQ(cut.progress.front(), one.progress.front());
        EXPECT_EQ(cut.progress.back(), one.progress.back());
        EXPECT_TRUE(std::is_sorted(cut.progress.begin(), cut.progress.end() - 1));
        EXPECT_TRUE(std::is_sorted(one.progress.begin(), one.progress.end() - 1));
    }

    QTemporaryDir dir;
    int runs = 0;
};


} // namespace kx
