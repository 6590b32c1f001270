// Waveform pixels of MP3 files decoded in segments against one pass: every
// segment decodes its own frames, and the pixels must be those one pass gives.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <unistd.h>
#include <sys/stat.h>

#include "Mp3Tags.h"
#include "peaks/NativeSegments.h"
#include "peaks/WaveformGenerator.h"

namespace kx {

namespace {

struct OnePass {
    NativeFormat format;
    std::vector<int16_t> samples;
};

// The media decoded as peaktool waveform decodes it in one pass.
OnePass DecodeOnePass(const QString& media)
{
    OnePass d;
    NativeSampleSink sink;
    sink.begin = [&](const NativeFormat& f) {
        d.format = f;
        return true;
    };
    sink.take = [&](const int16_t* s, size_t frames) {
        d.samples.insert(d.samples.end(), s, s + frames * d.format.channels);
        return true;
    };
    QString error;
    EXPECT_TRUE(DecodeNativeSamples(media, std::nullopt, sink, error)) << error.toStdString();
    return d;
}

std::vector<int16_t> Pixels(const OnePass& d, int32_t zoom, bool split)
{
    std::vector<int16_t> values;
    WaveformGenerator g(zoom, split, [&](const int16_t* v, size_t n) {
        values.insert(values.end(), v, v + n * 2 * size_t(split ? d.format.channels : 1));
        return true;
    });
    EXPECT_TRUE(g.Init(d.format.channels));
    EXPECT_TRUE(g.Process(d.samples.data(), d.samples.size() / d.format.channels));
    EXPECT_TRUE(g.Done());
    return values;
}

SegmentPolicy Segments(uint64_t frames, int parallel = 3)
{
    SegmentPolicy p;
    p.minSeconds = 0;
    p.maxSegments = parallel;
    p.segmentFrames = frames;
    return p;
}

std::function<int32_t(uint32_t, uint64_t)> Zoom(int32_t zoom)
{
    return [zoom](uint32_t, uint64_t) { return zoom; };
}

class WaveformSegments : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        if (QThread::idealThreadCount() < 2)
            GTEST_SKIP() << "segments need two processors";
    }

    // White noise, so that a sample out of place changes the extremes.
    QString Encode(const QString& name, const QString& encoder, double seconds, uint32_t rate = 44100,
                   int channels = 2)
    {
        const QString path = dir.filePath(name);
        const bool ok = TestMedia::RunPipeline(
            QStringLiteral("audiotestsrc wave=white-noise volume=0.6 num-buffers=%1 samplesperbuffer=%2 ! "
                           "audio/x-raw,format=S16LE,rate=%3,channels=%4 ! %5 ! filesink location=\"%6\"")
                .arg(int(seconds * 10))
                .arg(rate / 10)
                .arg(rate)
                .arg(channels)
                .arg(encoder, path));
        return ok ? path : QString();
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(WaveformSegments, mp3SegmentsGiveThePixelsOfOnePass)
{
    // Without a tag (the first segment reads the file), with a LAME tag the
    // parser trims by, and with one under another encoder string that only
    // the count trims (the first segment fed too); a tag promising frames the
    // file lacks (nothing trimmed at the end); mono and stereo; zooms that
    // divide neither the segments' lengths nor the frames.
    struct Case {
        const char* name;
        int channels;
        const char* tag;  // encoder string of a gapless tag, or none
        uint32_t missing;  // frames the tag counts that the file lacks
        int32_t zoom;
        bool split;
    };
    const Case cases[] = {
        {"plain.mp3", 2, nullptr, 0, 333, true},
        {"lame.mp3", 2, "LAME3.100", 0, 256, false},
        {"lamemono.mp3", 1, "LAME3.100", 0, 1000, false},
        {"lavc.mp3", 1, "Lavc59.37", 0, 77, true},
        {"short.mp3", 2, "LAME3.100", 5, 500, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString mp3 = Encode(c.name, "lamemp3enc target=bitrate bitrate=128 cbr=true", 4, 44100, c.channels);
        ASSERT_FALSE(mp3.isEmpty());
        if (c.tag) {
            ASSERT_TRUE(AddLameTag(mp3, 4 * 44100 + c.missing * 1152, c.missing, c.tag));
        }
        const OnePass one = DecodeOnePass(mp3);
        if (c.tag && c.missing == 0) {
            ASSERT_EQ(one.samples.size(), size_t(4 * 44100 * c.channels));
        }
        // Cuts every 40009 frames, three decoding at once.
        const auto cut = SegmentedWaveformPixels(mp3, Zoom(c.zoom), c.split, 1 << 20, Segments(40009));
        ASSERT_TRUE(cut.has_value());
        EXPECT_GE(cut->segments, 4);
        EXPECT_EQ(cut->format.rate, 44100u);
        EXPECT_EQ(cut->format.frames, one.samples.size() / uint32_t(c.channels));
        EXPECT_EQ(cut->zoom, c.zoom);
        EXPECT_EQ(cut->channels, c.split ? c.channels : 1);
        EXPECT_EQ(cut->values, Pixels(one, c.zoom, c.split));
    }
}

TEST_F(WaveformSegments, variableBitRateAndTwoSegmentsAtTheDefaultCut)
{
    // A VBR file whose frames differ in size, a Xing frame in front; two
    // equal segments as the default policy cuts them.
    const QString mp3 = Encode("vbr.mp3", "lamemp3enc target=quality quality=2 ! xingmux", 3, 48000, 2);
    ASSERT_FALSE(mp3.isEmpty());
    const OnePass one = DecodeOnePass(mp3);
    SegmentPolicy two;
    two.minSeconds = 0;
    two.maxSegments = 2;
    const auto cut = SegmentedWaveformPixels(mp3, Zoom(512), true, 1 << 20, two);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->segments, 2);
    EXPECT_EQ(cut->values, Pixels(one, 512, true));
}

TEST_F(WaveformSegments, mp3StaysInOnePassWhereSegmentsCannotBeTrusted)
{
    const QString mp3 = Encode("short.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", 2);
    ASSERT_FALSE(mp3.isEmpty());
    // Shorter than the default policy's minimum.
    EXPECT_FALSE(SegmentedWaveformPixels(mp3, Zoom(256), false, 1 << 20, SegmentPolicy{}));
    // A zoom that depends on the length, which one pass only estimates.
    const auto byLength = [](uint32_t, uint64_t frames) { return int32_t(frames / 100); };
    EXPECT_FALSE(SegmentedWaveformPixels(mp3, byLength, false, 1 << 20, Segments(30011)));
    // More pixels than may be held.
    EXPECT_FALSE(SegmentedWaveformPixels(mp3, Zoom(1), false, 1000, Segments(30011)));
    // One processor.
    EXPECT_FALSE(SegmentedWaveformPixels(mp3, Zoom(256), false, 1 << 20, Segments(30011, 1)));
    // MPEG-2 rates decode unlike one pass after a cut.
    const QString low = Encode("low.mp3", "lamemp3enc target=bitrate bitrate=64 cbr=true", 2, 22050);
    ASSERT_FALSE(low.isEmpty());
    EXPECT_FALSE(SegmentedWaveformPixels(low, Zoom(256), false, 1 << 20, Segments(10007)));
    // A FIFO is never opened (it would wait for a writer).
    const QString fifo = dir.filePath("fifo.mp3");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(SegmentedWaveformPixels(fifo, Zoom(256), false, 1 << 20, Segments(30011)));
}

} // namespace kx
