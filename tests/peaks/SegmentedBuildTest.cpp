#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <random>
#include <sys/stat.h>

#include "BuildTestSupport.h"
#include "peaks/Mp3Frames.h"
#include "peaks/PeakFormat.h"
#include "peaks/SegmentPlan.h"

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

namespace {

struct Build {
    bool completed = false;
    QStringList failures;
    int segments = 0;
    std::vector<uint8_t> peakFile;
    std::vector<uint8_t> stream;
    std::vector<int> progress;
};

struct Format {
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
    static int Planned(const QString& media, const SegmentPolicy& policy, const Format& format = {})
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

    Build Run(const QString& media, const SegmentPolicy& policy, const Format& format = {},
              const std::function<void(TKXPeakBuilder&)>& during = {})
    {
        // Each build in a folder of its own, so that none finds the other's peak file.
        const QString folder = dir.filePath(QStringLiteral("run%1").arg(++runs));
        QDir().mkpath(folder);
        const QString copy = folder + "/" + QFileInfo(media).fileName();
        EXPECT_TRUE(QFile::copy(media, copy));
        Build result;
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
    void ExpectSame(const QString& media, const SegmentPolicy& policy, int segments, const Format& format = {})
    {
        ASSERT_FALSE(media.isEmpty());
        const Build one = Run(media, OnePass(), format);
        const Build cut = Run(media, policy, format);
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

} // namespace

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
    ExpectSame(flac, Segments(99999, 2), 5, Format{2, sps48000, bp16, 100});
    ExpectSame(flac, Segments(77777, 4), 6, Format{1, sps22050, bp8, 37});
    // Other sources: 24-bit six channels mixed down, and mono at a low rate
    // (above which records have no frames of their own).
    const QString six = Encode("six.flac", "audioconvert ! audio/x-raw,format=S24_32LE ! flacenc", 50, 4800,
                               "audio/x-raw,rate=48000,channels=6");
    ExpectSame(six, Segments(70001), 4);
    const QString mono = Encode("mono.flac", "flacenc", 50, 2205, "audio/x-raw,format=S16LE,rate=22050,channels=1");
    ExpectSame(mono, Segments(30011), 4, Format{2, sps48000, bp16, 1});
}

TEST_F(SegmentedBuildTest, vorbisSegmentsMatchOnePass)
{
    const QString ogg = Encode("n.ogg", "audioconvert ! vorbisenc ! oggmux", 100);
    ExpectSame(ogg, Segments(110200), 5);
    ExpectSame(ogg, Segments(99999, 2), 5, Format{2, sps48000, bp16, 100});
}

namespace {

void PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

// Puts an "Info" frame in front of the frames of an MP3 file, as an encoder
// that knows the input length writes it: the frame count (extraFrames more
// than there are, as in a file cut short) and a LAME extension with the
// encoder delay and the padding after the input's `samples`.
// CRC-16/ARC, as LAME sums its tag.
uint16_t TagCrc16(const uint8_t* p, size_t n)
{
    uint16_t crc = 0;
    while (n--) {
        crc ^= *p++;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

bool AddLameTag(const QString& path, uint64_t samples, uint32_t extraFrames = 0, const char* encoder = "LAME3.100")
{
    auto bytes = ReadFileBytes(path);
    uint32_t frames = 0;
    for (size_t at = 0; at + 4 <= bytes.size(); ++frames) {
        const auto f = ParseMp3FrameHeader(&bytes[at]);
        if (!f || f->bytes == 0)
            return false;
        at += f->bytes;
    }
    constexpr uint32_t delay = 576;
    const uint32_t header = (uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3]);
    // 128 kbit/s, no padding, no checksum.
    const uint32_t tagHeader = (header & ~0xF200u) | 0x9000u | 0x10000u;
    uint8_t h[4];
    PutBE32(h, tagHeader);
    const auto f = ParseMp3FrameHeader(h);
    std::vector<uint8_t> tag(f->bytes, 0);
    PutBE32(tag.data(), tagHeader);
    uint8_t* info = tag.data() + (f->channels == 1 ? 21 : 36);
    std::memcpy(info, "Info", 4);
    PutBE32(info + 4, 1);
    PutBE32(info + 8, frames + extraFrames);
    uint8_t* lame = info + 12;
    std::memcpy(lame, encoder, std::strlen(encoder));
    const uint32_t v = delay << 12 | uint32_t(uint64_t(frames + extraFrames) * 1152 - delay - samples);
    lame[21] = uint8_t(v >> 16), lame[22] = uint8_t(v >> 8), lame[23] = uint8_t(v);
    // The extension's checksum over the frame before it.
    const uint16_t crc = TagCrc16(tag.data(), size_t(lame + 34 - tag.data()));
    lame[34] = uint8_t(crc >> 8), lame[35] = uint8_t(crc);
    bytes.insert(bytes.begin(), tag.begin(), tag.end());
    return TestMedia::WriteFile(path, bytes);
}

// A Xing tag frame in front that claims `claimed` frames and has no LAME
// extension, as some writers leave it.
bool AddXingFrameCount(const QString& path, uint32_t claimed)
{
    auto bytes = ReadFileBytes(path);
    if (bytes.size() < 4)
        return false;
    const uint32_t header = (uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3]);
    const uint32_t tagHeader = (header & ~0xF200u) | 0x9000u | 0x10000u;  // 128 kbit/s, no padding, no checksum
    uint8_t h[4];
    PutBE32(h, tagHeader);
    const auto f = ParseMp3FrameHeader(h);
    if (!f)
        return false;
    std::vector<uint8_t> tag(f->bytes, 0);
    PutBE32(tag.data(), tagHeader);
    uint8_t* xing = tag.data() + (f->channels == 1 ? 21 : 36);
    std::memcpy(xing, "Xing", 4);
    PutBE32(xing + 4, 1);
    PutBE32(xing + 8, claimed);
    bytes.insert(bytes.begin(), tag.begin(), tag.end());
    return TestMedia::WriteFile(path, bytes);
}

// An ID3v2 tag in front (with room to spare, as taggers leave) and an ID3v1
// tag at the end.
bool AddId3Tags(const QString& path)
{
    auto bytes = ReadFileBytes(path);
    std::vector<uint8_t> v2 = {'I', 'D', '3', 4, 0, 0, 0, 0, 8, 0};  // 1024 bytes of tag
    v2.resize(10 + 1024, 0);
    std::memcpy(&v2[10], "TIT2\0\0\0\x06\0\0\x03noise", 16);
    bytes.insert(bytes.begin(), v2.begin(), v2.end());
    std::vector<uint8_t> v1(128, 0);
    std::memcpy(v1.data(), "TAGnoise", 8);
    bytes.insert(bytes.end(), v1.begin(), v1.end());
    return TestMedia::WriteFile(path, bytes);
}

} // namespace

TEST_F(SegmentedBuildTest, mp3SegmentsMatchOnePass)
{
    // Constant and variable bit rates (one with a Xing frame in front, which
    // one pass drops), mono and stereo, the MPEG-1 rates; ticks leave silence
    // where many cuts fall. Segments of 30011 frames cut
    // 14 times in 10 s, at every phase of the frames and records.
    struct Case {
        const char* name;
        const char* encoder;
        const char* caps;
        const char* wave;
        int frames;
        Format format;
    };
    const Case cases[] = {
        {"cbr.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", "audio/x-raw,format=S16LE,rate=44100,channels=2",
         "white-noise", 4410, {}},
        {"vbr48.mp3", "lamemp3enc target=quality quality=2 ! xingmux", "audio/x-raw,format=S16LE,rate=48000,channels=2",
         "white-noise", 4800, {}},
        {"mono.mp3", "lamemp3enc target=quality quality=6", "audio/x-raw,format=S16LE,rate=44100,channels=1",
         "white-noise", 4410, {1, sps44100, bp16, 100}},
        {"ticks32.mp3", "lamemp3enc target=bitrate bitrate=96 cbr=true", "audio/x-raw,format=S16LE,rate=32000,channels=2",
         "ticks", 3200, {2, sps44100, bp16, 37}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString media = Encode(c.name, c.encoder, 100, c.frames, c.caps, c.wave);
        ASSERT_EQ(ProbeSegmentable(media).codec, SegmentableCodec::Mp3);
        ExpectSame(media, Segments(30011), Planned(media, Segments(30011), c.format), c.format);
        ExpectSame(media, Segments(99991, 2), Planned(media, Segments(99991, 2), Format{2, sps48000}),
                   Format{2, sps48000});
    }
}

TEST_F(SegmentedBuildTest, mp3GaplessTrimmingIsCountedAsInOnePass)
{
    // One pass drops the encoder delay in front and the padding at the end
    // that a LAME tag states: the first and last segments trim alike.
    const QString stereo = Encode("tagged.mp3", "lamemp3enc target=bitrate bitrate=160 cbr=true", 100);
    ASSERT_TRUE(AddLameTag(stereo, 441000));
    ASSERT_TRUE(AddId3Tags(stereo));
    ASSERT_EQ(ProbeSegmentable(stereo).frames, 441000u);
    ExpectSame(stereo, Segments(30011), Planned(stereo, Segments(30011)));
    const QString mono = Encode("taggedmono.mp3", "lamemp3enc target=quality quality=4", 100, 4410,
                                QStringLiteral("audio/x-raw,format=S16LE,rate=44100,channels=1"));
    ASSERT_TRUE(AddLameTag(mono, 441000));
    ExpectSame(mono, Segments(44101, 4), Planned(mono, Segments(44101, 4), {1, sps44100, bp16, 100}),
               {1, sps44100, bp16, 100});
    // Cut short at a frame: the tag promises frames that are missing, so one
    // pass trims nothing at the end, nor does the count.
    const QString cut = Encode("short.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", 100);
    ASSERT_TRUE(AddLameTag(cut, 441000 + 5 * 1152, 5));
    ASSERT_EQ(ProbeSegmentable(cut).frames, ProbeSegmentable(cut).mp3->FrameCount() * 1152 - 1105);
    ExpectSame(cut, Segments(30011), Planned(cut, Segments(30011)));
}

TEST_F(SegmentedBuildTest, anMp3TagClaimingMoreFramesThanTheFileHoldsBuildsAlikeInOnePassAndSegments)
{
    // 0xFFFFFFFF frames would be peaks of hundreds of GiB; the file's size
    // says otherwise, so neither path refuses it.
    const QString mp3 = Encode("claims.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", 100);
    ASSERT_TRUE(AddXingFrameCount(mp3, 0xFFFFFFFFu));
    ExpectSame(mp3, Segments(30011), Planned(mp3, Segments(30011)));
    ExpectSame(mp3, Segments(30011, 2), Planned(mp3, Segments(30011, 2)));
}

TEST_F(SegmentedBuildTest, aGaplessTagUnderAnotherEncoderStringIsTrimmedAlikeInOnePassAndSegments)
{
    // FFmpeg writes LAME's extension under "Lavc": GStreamer's parser leaves
    // it alone, the builder trims it in one pass and counts it in segments.
    const QString mp3 = Encode("lavc.mp3", "lamemp3enc target=bitrate bitrate=160 cbr=true", 100);
    ASSERT_TRUE(AddLameTag(mp3, 441000, 0, "Lavc59.37"));
    ASSERT_EQ(ProbeSegmentable(mp3).frames, 441000u);
    const Build one = Run(mp3, OnePass());
    ASSERT_TRUE(one.completed);
    EXPECT_EQ(one.peakFile.size(), size_t(PeakHeaderSize + 4410 * 8));  // 10 s at 44.1 kHz, 100 frames a record
    ExpectSame(mp3, Segments(30011), Planned(mp3, Segments(30011)));
}

TEST_F(SegmentedBuildTest, lowRateMp3AndAacStayOnePass)
{
    // MPEG-2 MP3 decodes differently in the last bits after a cut for as long
    // as the stream lasts, AAC's noise substitution never settles: the
    // builder never cuts them, and still builds them.
    const std::pair<const char*, const char*> files[] = {
        {"n22.mp3", "lamemp3enc target=bitrate bitrate=64 cbr=true"}, {"n.m4a", "audioconvert ! avenc_aac ! mp4mux"}};
    for (const auto& [name, encoder] : files) {
        SCOPED_TRACE(name);
        const QString media =
            Encode(name, encoder, 60, 2205, QStringLiteral("audio/x-raw,format=S16LE,rate=22050,channels=2"));
        ASSERT_FALSE(media.isEmpty());
        EXPECT_EQ(ProbeSegmentable(media).codec, SegmentableCodec::None);
        const Build one = Run(media, OnePass());
        const Build cut = Run(media, Segments(44100));
        ASSERT_TRUE(cut.completed) << cut.failures.join("; ").toStdString();
        EXPECT_EQ(cut.segments, 1);
        EXPECT_EQ(cut.peakFile, one.peakFile);
    }
}

TEST_F(SegmentedBuildTest, damagedMp3BuildsInOnePass)
{
    const QString mp3 = Encode("n.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", 100);
    const auto frames = ProbeSegmentable(mp3).mp3;
    ASSERT_TRUE(frames);
    auto bytes = ReadFileBytes(mp3);
    // Cut inside a frame, and garbage in the middle: the sync does not run on.
    const QString shortFile = dir.filePath("short.mp3");
    const auto end = std::ptrdiff_t(frames->offsets[frames->FrameCount() * 3 / 5] + 100);
    ASSERT_TRUE(TestMedia::WriteFile(shortFile, std::vector<uint8_t>(bytes.begin(), bytes.begin() + end)));
    const QString damaged = dir.filePath("damaged.mp3");
    std::mt19937 rng(11);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 5000; ++i)
        bytes[i] = uint8_t(rng());
    ASSERT_TRUE(TestMedia::WriteFile(damaged, bytes));
    for (const QString& media : {shortFile, damaged}) {
        SCOPED_TRACE(media.toStdString());
        EXPECT_EQ(ProbeSegmentable(media).codec, SegmentableCodec::None);
        const Build one = Run(media, OnePass());
        const Build cut = Run(media, Segments(30011));
        EXPECT_EQ(cut.completed, one.completed);
        EXPECT_EQ(cut.segments, 1);
        EXPECT_EQ(cut.peakFile, one.peakFile);
        EXPECT_EQ(cut.stream, one.stream);
    }
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
        const Build one = Run(media, OnePass());
        const Build cut = Run(media, Segments(110200));
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
    const Build elsewhere = Run(damaged, OnePass());
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
        const Build whole = Run(media, OnePass());
        // A run that ends before it completes leaves no peak file, or (when the
        // last record came first) the whole one; never a part, and no temporary files.
        const Build stopped = Run(media, Segments(110200), {}, [](TKXPeakBuilder& b) { EXPECT_TRUE(b.StopBuild()); });
        EXPECT_FALSE(stopped.completed);
        if (!stopped.peakFile.empty()) {
            EXPECT_EQ(stopped.peakFile, whole.peakFile);
        }
        int aborts = 0;
        const Build aborted = Run(media, Segments(110200), {}, [&aborts](TKXPeakBuilder& b) {
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
