#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sys/stat.h>

#include "BuildTestSupport.h"
#include "peaks/Mp3Frames.h"
#include "peaks/PeakFormat.h"
#include "peaks/SegmentPlan.h"

#include "SegmentedBuildFixture.h"

namespace kx {

namespace {

// ---- Planning and record-aligned reduction (no media) ----

std::vector<uint8_t> ReduceSpans(const PeakReducerSettings& s, const std::vector<int16_t>& pcm,
                                 const std::vector<SegmentSpan>& spans)
{
    const uint64_t frames = pcm.size() / s.channels;
    std::vector<uint8_t> out;
    for (const SegmentSpan& span : spans) {
        PeakReducer r;
        EXPECT_TRUE(r.Init(s, span.firstRecord));
        EXPECT_EQ(r.FramesIn(), span.startFrame);
        const uint64_t stop = span.last ? frames : span.stopFrame;
        // Uneven pieces, as a decoder delivers them.
        for (uint64_t at = span.startFrame; at < stop;) {
            const uint64_t n = std::min<uint64_t>(stop - at, 1 + (at * 7919) % 3001);
            r.Process(pcm.data() + at * s.channels, size_t(n));
            at += n;
        }
        if (span.last)
            r.Done();
        r.TakeRecords(out);
    }
    return out;
}

std::vector<uint8_t> ReduceWhole(const PeakReducerSettings& s, const std::vector<int16_t>& pcm)
{
    PeakReducer r;
    EXPECT_TRUE(r.Init(s));
    r.Process(pcm.data(), pcm.size() / s.channels);
    r.Done();
    std::vector<uint8_t> out;
    r.TakeRecords(out);
    return out;
}

void ExpectContiguous(const std::vector<SegmentSpan>& spans, const PeakReducerSettings& s)
{
    PeakReducer r;
    ASSERT_TRUE(r.Init(s));
    ASSERT_FALSE(spans.empty());
    EXPECT_EQ(spans.front().startFrame, 0u);
    for (size_t i = 0; i < spans.size(); ++i) {
        EXPECT_EQ(spans[i].last, i + 1 == spans.size());
        EXPECT_EQ(spans[i].startFrame, r.RunStart(spans[i].firstRecord));
        // A segment never starts on a record without frames of its own.
        EXPECT_LT(r.RunStart(spans[i].firstRecord), r.RunEnd(spans[i].firstRecord));
        if (i + 1 < spans.size()) {
            EXPECT_EQ(spans[i].stopFrame, spans[i + 1].startFrame);
            EXPECT_LT(spans[i].startFrame, spans[i].stopFrame);
        }
    }
}

} // namespace

TEST(SegmentPlan, segmentsJoinToTheWholeStreamReduction)
{
    struct Case { uint32_t in, out, channels, bits; uint16_t n; uint64_t frames, segmentFrames; int parallel; };
    const Case cases[] = {
        {44100, 44100, 2, 16, 100, 1000000, 0, 2},    // equal halves
        {44100, 44100, 2, 16, 100, 1000000, 0, 3},    // thirds: 333333 is no record boundary
        {44100, 44100, 1, 8, 100, 1000050, 99991, 4}, // uneven count, partial last record
        {44100, 48000, 2, 16, 100, 777777, 123457, 3},
        {22050, 48000, 2, 16, 1, 300001, 77777, 2},   // records without frames of their own
        {48000, 11025, 1, 16, 37, 500000, 65536, 2},
        {44100, 44100, 2, 16, 100, 441000, 147000, 2}, // the last cut falls on the very end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in << "->" << c.out << " n=" << c.n << " frames=" << c.frames
                                        << " seg=" << c.segmentFrames << " parallel=" << c.parallel);
        PeakReducerSettings s;
        s.inputRate = c.in;
        s.outputRate = c.out;
        s.channels = c.channels;
        s.bitsPerSample = c.bits;
        s.samplesPerPeak = c.n;
        SegmentPolicy policy;
        policy.minSeconds = 0;
        policy.segmentFrames = c.segmentFrames;
        const auto spans = PlanSegments(s, c.frames, policy, c.parallel);
        ExpectContiguous(spans, s);
        if (c.segmentFrames == 0)
            EXPECT_EQ(spans.size(), size_t(c.parallel));
        else
            EXPECT_EQ(spans.size(), size_t((c.frames + c.segmentFrames - 1) / c.segmentFrames));
        const auto pcm = TestMedia::Noise16(size_t(c.frames) * c.channels, uint32_t(c.frames));
        EXPECT_EQ(ReduceSpans(s, pcm, spans), ReduceWhole(s, pcm));
    }
}

TEST(SegmentPlan, shortStreamsAndOneCoreStayWhole)
{
    PeakReducerSettings s;
    SegmentPolicy policy;  // two minutes at least
    const auto one = [](const std::vector<SegmentSpan>& spans) { return spans.size() == 1 && spans[0].last; };
    EXPECT_TRUE(one(PlanSegments(s, 119 * 44100, policy, 2)));
    EXPECT_EQ(PlanSegments(s, 121 * 44100, policy, 2).size(), 2u);
    EXPECT_TRUE(one(PlanSegments(s, 3600 * 44100, policy, 1)));
    EXPECT_EQ(SegmentParallelism(policy, 1), 1);
    policy.maxSegments = 1;
    EXPECT_EQ(SegmentParallelism(policy, 8), 1);
    s.samplesPerPeak = 0;
    EXPECT_TRUE(PlanSegments(s, 3600 * 44100, {}, 2).empty());
}

TEST(SegmentPlan, segmentCountFromTheEnvironmentIsCappedAtTheProcessorCount)
{
    const QByteArray saved = qgetenv("KX_PEAK_SEGMENTS");
    const int cores = std::max(QThread::idealThreadCount(), 1);
    qputenv("KX_PEAK_SEGMENTS", "100000");
    EXPECT_EQ(DefaultSegmentPolicy().maxSegments, cores);
    EXPECT_EQ(SegmentParallelism(DefaultSegmentPolicy(), cores), cores);
    // Ten hours at the defaults: one segment per processor, not 100,000.
    EXPECT_EQ(PlanSegments(PeakReducerSettings{}, 36000ull * 44100, DefaultSegmentPolicy(),
                           SegmentParallelism(DefaultSegmentPolicy(), cores))
                  .size(),
              size_t(cores));
    qputenv("KX_PEAK_SEGMENTS", "1");
    EXPECT_EQ(DefaultSegmentPolicy().maxSegments, 1);
    qputenv("KX_PEAK_SEGMENTS", "0");
    EXPECT_EQ(DefaultSegmentPolicy().maxSegments, 1);
    if (saved.isNull())
        qunsetenv("KX_PEAK_SEGMENTS");
    else
        qputenv("KX_PEAK_SEGMENTS", saved);
}

// ---- Whole builds: segmented against one pass ----


TEST_F(SegmentedBuildTest, headerProbeReadsFlacVorbisAndMp3)
{
    const QString flac = Encode("a.flac", "flacenc", 30);
    const QString ogg = Encode("a.ogg", "audioconvert ! vorbisenc ! oggmux", 30);
    const QString mp3 = Encode("a.mp3", "lamemp3enc", 30);
    const auto f = ProbeSegmentable(flac);
    EXPECT_EQ(f.codec, SegmentableCodec::Flac);
    EXPECT_EQ(f.rate, 44100u);
    EXPECT_EQ(f.channels, 2u);
    EXPECT_EQ(f.frames, 30u * 4410);
    const auto v = ProbeSegmentable(ogg);
    EXPECT_EQ(v.codec, SegmentableCodec::Vorbis);
    EXPECT_EQ(v.rate, 44100u);
    EXPECT_EQ(v.frames, 30u * 4410);
    // MP3: the frames counted, 1152 samples each (nothing trimmed without a tag).
    const auto m = ProbeSegmentable(mp3);
    EXPECT_EQ(m.codec, SegmentableCodec::Mp3);
    EXPECT_EQ(m.rate, 44100u);
    EXPECT_EQ(m.channels, 2u);
    ASSERT_TRUE(m.mp3);
    EXPECT_EQ(m.frames, m.mp3->FrameCount() * 1152);
    EXPECT_GE(m.frames, 30u * 4410);
    // Two logical streams in one Ogg file decode differently from a seek.
    const QString two = dir.filePath("two.ogg");
    ASSERT_TRUE(TestMedia::RunPipeline(
        QStringLiteral("oggmux name=m ! filesink location=\"%1\" "
                       "audiotestsrc num-buffers=20 ! audioconvert ! vorbisenc ! m. "
                       "audiotestsrc num-buffers=20 freq=880 ! audioconvert ! vorbisenc ! m.")
            .arg(two)));
    EXPECT_EQ(ProbeSegmentable(two).codec, SegmentableCodec::None);
    // Truncated headers are no stream.
    const auto bytes = ReadFileBytes(flac);
    const QString cut = dir.filePath("cut.flac");
    ASSERT_TRUE(TestMedia::WriteFile(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 20)));
    EXPECT_EQ(ProbeSegmentable(cut).codec, SegmentableCodec::None);
    EXPECT_EQ(ProbeSegmentable(dir.filePath("missing.flac")).codec, SegmentableCodec::None);
    // A FIFO is never opened (that would wait for a writer).
    const QString fifo = dir.filePath("fifo.flac");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ProbeSegmentable(fifo).codec, SegmentableCodec::None);
}

TEST_F(SegmentedBuildTest, flacSegmentsMatchOnePass)
{
    // 441000 frames; segments of 110200 leave a last one of 200 frames.
    const QString flac = Encode("n.flac", "flacenc", 100);
    ExpectSame(flac, Segments(110200), 5);
    // A cut on the very end makes no empty segment.
    ExpectSame(flac, Segments(147000), 3);
    // Segments that divide neither the records nor the stream, at other
    // output formats (rates above and below the input, mono, 8 bits).
    ExpectSame(flac, Segments(99999, 2), 5, RunFormat{2, sps48000, bp16, 100});
    ExpectSame(flac, Segments(77777, 4), 6, RunFormat{1, sps22050, bp8, 37});
    // Other sources: 24-bit six channels mixed down, and mono at a low rate
    // (above which records have no frames of their own).
    const QString six = Encode("six.flac", "audioconvert ! audio/x-raw,format=S24_32LE ! flacenc", 50, 4800,
                               "audio/x-raw,rate=48000,channels=6");
    ExpectSame(six, Segments(70001), 4);
    const QString mono = Encode("mono.flac", "flacenc", 50, 2205, "audio/x-raw,format=S16LE,rate=22050,channels=1");
    ExpectSame(mono, Segments(30011), 4, RunFormat{2, sps48000, bp16, 1});
}

TEST_F(SegmentedBuildTest, vorbisSegmentsMatchOnePass)
{
    const QString ogg = Encode("n.ogg", "audioconvert ! vorbisenc ! oggmux", 100);
    ExpectSame(ogg, Segments(110200), 5);
    ExpectSame(ogg, Segments(99999, 2), 5, RunFormat{2, sps48000, bp16, 100});
}

// Decoders give more than eight channels without positions, which the
// converter cannot mix on its own: they fold as the WAV reader folds them,
// the even-numbered channels to the left and the odd to the right.
TEST_F(SegmentedBuildTest, tenUnpositionedChannelsFoldAsWavFilesDoInOnePassAndSegments)
{
    // Channel c is a sine at 0.05 * (c + 1): left 0.25, right 0.30 of full scale.
    const QString wav = dir.filePath("ten.wav");
    const auto sine = TestMedia::Sine(440, 1.0, 44100);
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 10, 16, 441000},
                                    [&](int64_t frame, int c) { return 0.05 * (c + 1) * sine(frame, 0); }));
    const QString ogg = dir.filePath("ten.ogg");
    ASSERT_TRUE(TestMedia::RunPipeline(QStringLiteral("filesrc location=\"%1\" ! wavparse ! "
                                                      "capssetter caps=audio/x-raw,channel-mask=(bitmask)0x0 ! audioconvert ! "
                                                      "vorbisenc quality=0.9 ! oggmux ! filesink location=\"%2\"")
                                           .arg(wav, ogg)));
    const SegmentedRun direct = Run(wav, OnePass());
    ASSERT_TRUE(direct.completed) << direct.failures.join("; ").toStdString();
    ExpectSame(ogg, Segments(110200), 5);
    const SegmentedRun decoded = Run(ogg, OnePass());
    ASSERT_TRUE(decoded.completed) << decoded.failures.join("; ").toStdString();

    // The loudest value of each output channel, as a fraction of full scale.
    const auto loudest = [](const std::vector<uint8_t>& file) {
        std::array<double, 2> peak{};
        for (size_t i = PeakHeaderSize; i + 1 < file.size(); i += 2) {
            const int v = int(file[i] | file[i + 1] << 8) - 32768;  // stored mid-scale
            const size_t channel = ((i - PeakHeaderSize) / 4) % 2;
            peak[channel] = std::max(peak[channel], std::abs(v) / 32768.0);
        }
        return peak;
    };
    const auto wavPeak = loudest(direct.peakFile);
    const auto oggPeak = loudest(decoded.peakFile);
    EXPECT_NEAR(wavPeak[0], 0.25, 0.01);
    EXPECT_NEAR(wavPeak[1], 0.30, 0.01);
    EXPECT_NEAR(oggPeak[0], wavPeak[0], 0.02);
    EXPECT_NEAR(oggPeak[1], wavPeak[1], 0.02);
}

TEST_F(SegmentedBuildTest, damagedFilesEndAsInOnePass)
{
    const QString flac = Encode("n.flac", "flacenc", 100);
    ASSERT_FALSE(flac.isEmpty());
    auto bytes = ReadFileBytes(flac);
    // Cut short: the header promises frames that are not there.
    const QString shortFile = dir.filePath("short.flac");
    ASSERT_TRUE(TestMedia::WriteFile(shortFile, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() * 3 / 5)));
    // Garbage in the middle.
    const QString damaged = dir.filePath("damaged.flac");
    std::mt19937 rng(7);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 20000; ++i)
        bytes[i] = uint8_t(rng());
    ASSERT_TRUE(TestMedia::WriteFile(damaged, bytes));
    for (const QString& media : {shortFile, damaged}) {
        SCOPED_TRACE(media.toStdString());
        const SegmentedRun one = Run(media, OnePass());
        const SegmentedRun cut = Run(media, Segments(110200));
        EXPECT_EQ(cut.completed, one.completed);
        EXPECT_EQ(cut.failures.size(), one.failures.size());
        EXPECT_EQ(cut.peakFile, one.peakFile);
        EXPECT_EQ(cut.stream, one.stream);
    }
}

TEST_F(SegmentedBuildTest, aFallbackToOnePassEndsWhenAnotherProcessFinishedThePeakFile)
{
    const QString flac = Encode("n.flac", "flacenc", 100);
    ASSERT_FALSE(flac.isEmpty());
    auto bytes = ReadFileBytes(flac);
    // Garbage late in the file, so that the segments before it deliver
    // records and then the build falls back to one pass.
    std::mt19937 rng(7);
    for (size_t i = bytes.size() * 85 / 100; i < bytes.size() * 85 / 100 + 20000; ++i)
        bytes[i] = uint8_t(rng());
    const QString damaged = dir.filePath("damaged.flac");
    ASSERT_TRUE(TestMedia::WriteFile(damaged, bytes));
    const SegmentedRun elsewhere = Run(damaged, OnePass());
    ASSERT_TRUE(elsewhere.completed);

    TKXPeakBuilder builder;
    BuildEvents events;
    events.Attach(builder);
    int loaded = 0;
    builder.OnPeakNew = [&loaded](QObject*, int, const QString&, const QString&) { ++loaded; };
    builder.SetSaveToPeakFiles(true);
    builder.SetSegmentation(Segments(110200));
    builder.SetFilename(damaged);
    ASSERT_TRUE(builder.StartBuild());
    // Another process puts the peak file in place while the segments run.
    ASSERT_TRUE(TestMedia::WriteFile(ChangeFileExt(damaged, ".pek"), elsewhere.peakFile));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return loaded + events.completed.size() + events.failed.size() > 0 && builder.BuildState() != bsBuilding; },
        30000));
    EXPECT_EQ(loaded, 1);
    EXPECT_TRUE(events.completed.empty());
    EXPECT_TRUE(events.failed.empty()) << events.reasons.join('\n').toStdString();
    EXPECT_EQ(builder.BuildState(), bsStopped);
    ASSERT_FALSE(events.progress.empty());
    EXPECT_EQ(events.progress.back().item, -1);  // the run ended
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(builder.GetStreamByIndex(0, s));
    EXPECT_EQ(std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()), elsewhere.peakFile);
}

TEST_F(SegmentedBuildTest, stopAndAbortEndEverySegment)
{
    // FLAC segments seek in the file, MP3 segments are fed their bytes.
    for (const QString& media : {Encode("n.flac", "flacenc", 100), Encode("n.mp3", "lamemp3enc", 100)}) {
        SCOPED_TRACE(media.toStdString());
        ASSERT_FALSE(media.isEmpty());
        const SegmentedRun whole = Run(media, OnePass());
        // A run that ends before it completes leaves no peak file, or (when the
        // last record came first) the whole one; never a part, and no temporary files.
        const SegmentedRun stopped = Run(media, Segments(110200), {}, [](TKXPeakBuilder& b) { EXPECT_TRUE(b.StopBuild()); });
        EXPECT_FALSE(stopped.completed);
        if (!stopped.peakFile.empty()) {
            EXPECT_EQ(stopped.peakFile, whole.peakFile);
        }
        int aborts = 0;
        const SegmentedRun aborted = Run(media, Segments(110200), {}, [&aborts](TKXPeakBuilder& b) {
            b.OnPeakAbort = [&aborts](QObject*) { ++aborts; };
            b.OnProgress = [](QObject*, int p, int, int, bool& abort) { abort = p > 0; };
        });
        EXPECT_FALSE(aborted.completed);
        EXPECT_EQ(aborts, 1);
        if (!aborted.peakFile.empty()) {
            EXPECT_EQ(aborted.peakFile, whole.peakFile);
        }
        // A later build of the same file is whole.
        ExpectSame(media, Segments(110200), Planned(media, Segments(110200)));
    }
}

} // namespace kx
