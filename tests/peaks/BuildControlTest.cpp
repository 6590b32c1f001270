#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gst/gst.h>

#include "BuildTestSupport.h"
#include "peaks/PeakFormat.h"
#include "platform/LittleEndian.h"

#include <sys/stat.h>

namespace kx {

namespace {

class BuildControl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        builder.SetTempFolder(dir.path());
        events.Attach(builder);
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Wav(const QString& name, const TestMedia::WavFormat& format, double freq = 440)
    {
        const QString p = Path(name);
        EXPECT_TRUE(TestMedia::WriteWav(p, format, TestMedia::Sine(freq, 0.8, format.rate)));
        return p;
    }
    std::vector<uint8_t> Stream(int index)
    {
        TMemoryStream* s = nullptr;
        EXPECT_TRUE(builder.GetStreamByIndex(index, s));
        return s ? std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()) : std::vector<uint8_t>{};
    }
    static std::vector<uint8_t> FileBytes(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray b = f.readAll();
        return std::vector<uint8_t>(b.begin(), b.end());
    }

    QTemporaryDir dir;
    TKXPeakBuilder builder;
    BuildEvents events;
};

} // namespace

TEST_F(BuildControl, singleWavMatchesAnIndependentMinMax)
{
    for (const auto& [rate, channels, bits, sps] :
         std::vector<std::tuple<uint32_t, uint16_t, uint16_t, TSPS>>{{44100, 2, 16, sps44100}, {8000, 1, 8, sps8000},
                                                                     {48000, 1, 16, sps48000}, {22050, 2, 8, sps22050}}) {
        SCOPED_TRACE(rate);
        TKXPeakBuilder b;
        BuildEvents ev;
        ev.Attach(b);
        b.SetSaveToPeakFiles(true);
        b.SetSamplesPerPeak(64);
        b.SetOutputSamplesPerSecond(sps);
        b.SetOutputChannels(channels == 1 ? chMono : chStereo);
        TestMedia::WavFormat format{rate, channels, bits, int64_t(rate) * 3 / 2 + 17};
        const auto signal = TestMedia::Sine(rate / 97.0, 0.8, rate);
        const QString wav = Path(QStringLiteral("s%1.wav").arg(rate));
        ASSERT_TRUE(TestMedia::WriteWav(wav, format, signal));
        ASSERT_TRUE(b.AppendFilename(wav));
        ASSERT_TRUE(b.StartBuild());
        ASSERT_TRUE(WaitUntilIdle(b));
        ASSERT_EQ(ev.completed, std::vector<int>{0});
        EXPECT_EQ(b.BuildState(), bsStopped);

        TMemoryStream* s = nullptr;
        ASSERT_TRUE(b.GetStreamByIndex(0, s));
        const std::vector<uint8_t> stream(s->Bytes().begin(), s->Bytes().end());
        const QString peakFile = ChangeFileExt(wav, ".pek");
        EXPECT_EQ(stream, FileBytes(peakFile));
        EXPECT_FALSE(QFileInfo::exists(peakFile + ".partial"));

        const auto header = DecodePeakHeader(stream);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->Channels, channels);
        EXPECT_EQ(header->SamplesPerSecond, rate);
        EXPECT_EQ(header->BytesPerPeak, 4);
        EXPECT_EQ(header->SamplesPerPeak, 64);
        EXPECT_EQ(header->PcmByteCount, ComputePcmByteCount(rate, channels, 16, b.Duration()));
        const auto expected = ReferenceRecords(AsS16(TestMedia::Pcm(format, signal), bits), channels, 64);
        EXPECT_EQ(std::vector<uint8_t>(stream.begin() + PeakHeaderSize, stream.end()), expected);
    }
}

TEST_F(BuildControl, chainBuildsEveryMissingFileAndReportsProgress)
{
    builder.SetSaveToPeakFiles(true);
    TestMedia::WavFormat format{8000, 1, 16, 8000};
    const QString a = Wav("a.wav", format), b = Wav("b.wav", format), c = Wav("c.wav", format);
    ASSERT_TRUE(builder.AppendFilenames({a, b, c}));
    ASSERT_TRUE(builder.StartBuild());
    EXPECT_EQ(builder.BuildState(), bsBuilding);
    EXPECT_FALSE(builder.StartBuild());  // already building
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.completed.size() == 3; }, 30000));
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_EQ(events.completed, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(events.failed.empty());
    for (const QString& f : {a, b, c})
        EXPECT_TRUE(QFileInfo::exists(ChangeFileExt(f, ".pek")));

    // The start of each file and the moment after each completion, with the
    // next index and the files still missing.
    std::vector<std::tuple<int, int>> moments;
    for (const auto& p : events.progress)
        if (p.progress == 0)
            moments.emplace_back(p.item, p.total);
    const std::vector<std::tuple<int, int>> expected = {{0, 3}, {1, 2}, {1, 2}, {2, 1}, {2, 1}, {-1, 0}};
    EXPECT_EQ(moments, expected);
    EXPECT_EQ(builder.BuildState(), bsStopped);
    EXPECT_FALSE(builder.StartBuild());  // nothing missing any more
    EXPECT_EQ(builder.BuildState(), bsStopped);
    EXPECT_FALSE(builder.StopBuild());   // stopped already
}

TEST_F(BuildControl, abortBuildLetsTheCurrentFileFinishAndStartsNoOther)
{
    builder.SetSaveToPeakFiles(true);
    TestMedia::WavFormat format{8000, 1, 16, 8000};
    ASSERT_TRUE(builder.AppendFilenames({Wav("a.wav", format), Wav("b.wav", format)}));
    ASSERT_TRUE(builder.StartBuild());
    builder.AbortBuild();
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_EQ(events.completed, std::vector<int>{0});
    ASSERT_FALSE(events.progress.empty());
    EXPECT_EQ(events.progress.back().item, 1);  // chosen, but not started
    EXPECT_EQ(builder.BuildState(), bsStopped);
    // The request was cleared: the next start builds the other file.
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_EQ(events.completed, (std::vector<int>{0, 1}));
}

TEST_F(BuildControl, abortFromProgressStopsAndLeavesNoPeakFile)
{
    builder.SetSaveToPeakFiles(true);
    builder.SetSamplesPerPeak(1);  // many blocks, so progress arrives mid-build
    builder.SetDirectReduction(false);  // the hold works on the decode graph
    const QString wav = Wav("long.wav", {44100, 2, 16, 44100 * 20});
    ScopedFilterHold hold(20);
    ASSERT_TRUE(builder.AppendFilename(wav));
    bool asked = false;
    builder.OnProgress = [&](QObject*, int progress, int, int, bool& abort) {
        if (progress > 0 && !asked) {
            asked = true;
            abort = true;
        }
    };
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_TRUE(asked);
    EXPECT_EQ(events.aborts, 1);
    EXPECT_TRUE(events.completed.empty());
    EXPECT_EQ(builder.BuildState(), bsStopped);
    const QString peak = ChangeFileExt(wav, ".pek");
    EXPECT_FALSE(QFileInfo::exists(peak));
    EXPECT_FALSE(QFileInfo::exists(peak + ".partial"));
}

TEST_F(BuildControl, stoppedBuildStartsAfreshAndEndsWithFileAndStreamAlike)
{
    builder.SetSaveToPeakFiles(true);
    const QString wav = Wav("a.wav", {22050, 2, 16, 22050 * 4});
    builder.SetDirectReduction(false);  // the hold works on the decode graph
    ASSERT_TRUE(builder.AppendFilename(wav));
    EXPECT_FALSE(builder.PauseBuild());  // no graph manager yet
    EXPECT_EQ(builder.BuildState(), bsFailed);
    {
        ScopedFilterHold hold(10);
        ASSERT_TRUE(builder.StartBuild());
        ASSERT_TRUE(builder.PauseBuild());
        EXPECT_EQ(builder.BuildState(), bsPaused);
        EXPECT_FALSE(builder.StartBuild());  // a paused build is only stopped
        ASSERT_TRUE(builder.StopBuild());
    }
    EXPECT_EQ(builder.BuildState(), bsStopped);
    EXPECT_FALSE(QFileInfo::exists(ChangeFileExt(wav, ".pek")));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    ASSERT_EQ(events.completed, std::vector<int>{0});
    EXPECT_EQ(Stream(0), FileBytes(ChangeFileExt(wav, ".pek")));
    const auto header = DecodePeakHeader(Stream(0));
    ASSERT_TRUE(header);
    EXPECT_EQ(PeakRecordCount(*header, Stream(0).size()), int64_t(4 * 48000 / 100));
}

TEST_F(BuildControl, withoutPeakFilesEachFileIsBuiltOnce)
{
    TestMedia::WavFormat format{8000, 2, 16, 12000};
    const QString a = Wav("a.wav", format), b = Wav("b.wav", format);
    ASSERT_TRUE(builder.AppendFilenames({a, b}));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_EQ(events.completed, (std::vector<int>{0, 1}));
    EXPECT_FALSE(QFileInfo::exists(ChangeFileExt(a, ".pek")));
    EXPECT_EQ(builder.FilledStreamCount(), 2);
    EXPECT_FALSE(builder.StartBuild());
    // Trimmed to the records: 1.5 s at 48000 Hz is 720 records of 8 bytes.
    EXPECT_EQ(Stream(1).size(), size_t(PeakHeaderSize + 720 * 8));
}

TEST_F(BuildControl, errorDuringBuildFailsThatFileAndGoesOn)
{
    // The error is injected into the decode graph.
    builder.SetDirectReduction(false);
    builder.SetSaveToPeakFiles(true);
    const QString a = Wav("a.wav", {44100, 2, 16, 44100 * 10});
    const QString b = Wav("b.wav", {8000, 1, 16, 8000});
    ASSERT_TRUE(builder.AppendFilenames({a, b}));
    bool injected = false;
    builder.OnProgress = [&](QObject*, int, int item, int, bool&) {
        if (item == 0 && !injected && builder.BuildState() == bsBuilding) {
            injected = true;
            GError* e = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "broken frame");
            gst_element_post_message(builder.GraphManager(),
                                     gst_message_new_error(GST_OBJECT(builder.GraphManager()), e, nullptr));
            g_error_free(e);
        }
    };
    builder.OnPeakFailed = [&](QObject*, int i, const QString&, const QString&) { events.failed.push_back(i); };
    ScopedFilterHold hold(5, 1);  // the first file is still decoding when the error comes
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.completed.empty() && builder.BuildState() != bsBuilding; }, 30000));
    EXPECT_EQ(events.failed, std::vector<int>{0});
    EXPECT_EQ(events.completed, std::vector<int>{1});
    EXPECT_FALSE(QFileInfo::exists(ChangeFileExt(a, ".pek")));
    EXPECT_FALSE(QFileInfo::exists(ChangeFileExt(a, ".pek") + ".partial"));
    EXPECT_EQ(Stream(0).size(), 0u);
    // Not retried in this run; a new start tries it again.
    EXPECT_EQ(builder.BuildState(), bsStopped);
    ASSERT_TRUE(builder.StartBuild());
    EXPECT_EQ(builder.CurrentItemIndex(), 0);
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_EQ(events.completed, (std::vector<int>{1, 0}));
}

TEST_F(BuildControl, trackWithoutSamplesGivesAHeaderOnlyStreamAndFile)
{
    builder.SetSaveToPeakFiles(true);
    const QString wav = Wav("empty.wav", {44100, 2, 16, 0});
    ASSERT_TRUE(builder.AppendFilename(wav));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    ASSERT_EQ(events.completed, std::vector<int>{0});
    EXPECT_EQ(Stream(0).size(), size_t(PeakHeaderSize));
    EXPECT_EQ(Stream(0), FileBytes(ChangeFileExt(wav, ".pek")));
}

TEST_F(BuildControl, aPeakFileFinishedElsewhereAfterQueuingIsLoadedNotBuilt)
{
    // Another process builds a.wav's peak file after this builder found it missing.
    TestMedia::WavFormat format{8000, 1, 16, 8000};
    const QString a = Wav("a.wav", format), b = Wav("b.wav", format);
    builder.SetSaveToPeakFiles(true);
    QStringList loaded;
    builder.OnPeakNew = [&](QObject*, int, const QString& media, const QString&) { loaded << media; };
    ASSERT_TRUE(builder.AppendFilenames({a, b}));
    ASSERT_EQ(events.missing, (std::vector<int>{0, 1}));
    {
        TKXPeakBuilder elsewhere;
        elsewhere.SetSaveToPeakFiles(true);
        ASSERT_TRUE(elsewhere.AppendFilename(a));
        ASSERT_TRUE(elsewhere.StartBuild());
        ASSERT_TRUE(WaitUntilIdle(elsewhere));
    }
    const QString peak = builder.PeakFilenameFor(a);
    ASSERT_TRUE(QFileInfo::exists(peak));
    const std::vector<uint8_t> written = FileBytes(peak);

    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_EQ(loaded, QStringList{a});
    EXPECT_EQ(events.completed, (std::vector<int>{1}));
    EXPECT_TRUE(events.failed.empty()) << events.reasons.join('\n').toStdString();
    EXPECT_EQ(Stream(0), written);
    // With nothing left to build, starting says so and fails nothing.
    builder.Clear();
    ASSERT_TRUE(builder.AppendFilename(b));
    EXPECT_FALSE(builder.StartBuild());
    EXPECT_TRUE(events.failed.empty());
}

TEST_F(BuildControl, whatCanNeverBeBuiltIsRefusedBeforeItStartsAndTheChainGoesOn)
{
    builder.SetSaveToPeakFiles(true);
    // A FIFO would block whoever opens it; a folder is no media.
    const QString fifo = Path("fifo.wav"), folder = Path("folder.wav");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
    ASSERT_TRUE(QDir().mkdir(folder));
    // 300 MB of 1 Hz audio, nearly all hole: peaks at 48 kHz would take terabytes.
    const QString sparse = Path("sparse.wav");
    {
        std::vector<uint8_t> bytes = TestMedia::WavBytes({1, 1, 8, 16}, TestMedia::Sine(1, 0.5, 1));
        WriteU32LE(bytes.data() + 40, 300u << 20);
        WriteU32LE(bytes.data() + 4, (300u << 20) + 36);
        QFile f(sparse);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        ASSERT_TRUE(f.resize((300 << 20) + 44));
    }
    const QString good = Wav("good.wav", {8000, 1, 16, 800});
    ASSERT_TRUE(builder.AppendFilenames({fifo, folder, sparse, good}));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder, 10000));
    EXPECT_EQ(events.failed, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(events.reasons.size(), 3);
    EXPECT_TRUE(events.reasons[0].endsWith("not a regular file (a FIFO, device or socket)")) << events.reasons[0].toStdString();
    EXPECT_TRUE(events.reasons[1].endsWith("a folder, not a media file")) << events.reasons[1].toStdString();
    EXPECT_TRUE(events.reasons[2].contains("more than the 1 GiB a peak file holds")) << events.reasons[2].toStdString();
    EXPECT_EQ(events.completed, (std::vector<int>{3}));
    // Nothing was kept for the refused ones.
    EXPECT_TRUE(Stream(2).empty());
    EXPECT_FALSE(QFileInfo::exists(Path("sparse.pek")));
}

TEST_F(BuildControl, withoutLoadingPeakDataExistingPeakFilesAreOnlyChecked)
{
    TestMedia::WavFormat format{8000, 1, 16, 8000};
    const QString a = Wav("a.wav", format), b = Wav("b.wav", format), c = Wav("c.wav", format);
    builder.SetSaveToPeakFiles(true);
    ASSERT_TRUE(builder.AppendFilenames({a, b}));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder));
    ASSERT_EQ(events.completed, (std::vector<int>{0, 1}));
    // A damaged peak file is still refused by its header.
    ASSERT_TRUE(QFile::resize(ChangeFileExt(b, ".pek"), 10));

    TKXPeakBuilder checker;
    BuildEvents ev;
    ev.Attach(checker);
    checker.SetSaveToPeakFiles(true);
    checker.SetLoadPeakData(false);
    QStringList found;
    checker.OnPeakNew = [&](QObject*, int, const QString& media, const QString&) { found << media; };
    ASSERT_TRUE(checker.AppendFilenames({a, b, c}));
    EXPECT_EQ(found, QStringList{a});
    EXPECT_EQ(ev.failed, std::vector<int>{1});
    EXPECT_EQ(checker.FileCount(), 2);
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(checker.GetStreamByIndex(0, s));
    EXPECT_EQ(s->Size(), 0);
    // The checked file is neither built again nor reported again.
    ASSERT_TRUE(checker.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(checker));
    EXPECT_EQ(ev.completed, std::vector<int>{1});
    EXPECT_EQ(found, QStringList{a});
    ASSERT_TRUE(checker.GetStreamByIndex(1, s));
    EXPECT_EQ(std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()), FileBytes(ChangeFileExt(c, ".pek")));
}

} // namespace kx
