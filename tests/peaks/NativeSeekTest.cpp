// Decoding from a frame: WAV read from there, other media sought there. The
// frames handed over must be the ones a decode from the start gives from that
// frame on, in place.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "peaks/NativeSamples.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint64_t Frames = 5 * Rate;

struct Decoded {
    NativeFormat format;
    std::vector<int16_t> samples;
    int begins = 0;
};

Decoded Decode(const QString& media, uint64_t from, bool& ok, QString& error)
{
    Decoded d;
    NativeSampleSink sink;
    sink.begin = [&](const NativeFormat& f) {
        d.format = f;
        ++d.begins;
        return true;
    };
    sink.take = [&](const int16_t* s, size_t frames) {
        d.samples.insert(d.samples.end(), s, s + frames * d.format.channels);
        return true;
    };
    ok = from == 0 ? DecodeNativeSamples(media, std::nullopt, sink, error)
                   : DecodeNativeSamplesFrom(media, from, sink, error);
    return d;
}

Decoded Decode(const QString& media, uint64_t from = 0)
{
    bool ok = false;
    QString error;
    Decoded d = Decode(media, from, ok, error);
    EXPECT_TRUE(ok) << error.toStdString();
    return d;
}

class NativeSeek : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Noise, so that frames out of place cannot pass for the right ones;
        // under full scale, so that lossy decoders do not clip it.
        const std::vector<int16_t> noise = TestMedia::Noise16(size_t(Frames) * 2, 7);
        wav = dir.filePath(QStringLiteral("noise.wav"));
        ASSERT_TRUE(TestMedia::WriteWav(wav, {Rate, 2, 16, int64_t(Frames)}, [&](int64_t f, int c) {
            return 0.5 * noise[size_t(f) * 2 + size_t(c)] / 32768.0;
        }));
    }

    QString Encoded(const QString& name, const char* encoder)
    {
        const QString out = dir.filePath(name);
        return TestMedia::EncodeWav(wav, QLatin1String(encoder), out) ? out : QString();
    }

    // The frames from `from` on of a decode from the start against a decode
    // sought to `from`: equal from `settle` frames after it, and within
    // `tolerance` (a lossy decoder's first frames after a seek lack what
    // earlier frames carried over).
    void ExpectInPlace(const QString& media, uint64_t from, size_t settle, int tolerance)
    {
        SCOPED_TRACE(media.toStdString() + " from " + std::to_string(from));
        const Decoded whole = Decode(media);
        const Decoded part = Decode(media, from);
        ASSERT_EQ(part.begins, 1);
        EXPECT_EQ(part.format.frames, whole.format.frames);
        const size_t channels = whole.format.channels;
        ASSERT_GT(whole.samples.size(), from * channels);
        ASSERT_EQ(part.samples.size(), whole.samples.size() - from * channels);
        int worst = 0;
        for (size_t i = settle * channels; i < part.samples.size(); ++i)
            worst = std::max(worst, std::abs(part.samples[i] - whole.samples[from * channels + i]));
        EXPECT_LE(worst, tolerance);
    }

    QTemporaryDir dir;
    QString wav;
};

TEST_F(NativeSeek, losslessMediaGiveExactlyTheFramesFromTheStartFrameOn)
{
    ExpectInPlace(wav, 1, 0, 0);
    ExpectInPlace(wav, 3 * Rate + 17, 0, 0);
    const QString flac = Encoded(QStringLiteral("noise.flac"), "flacenc");
    ASSERT_FALSE(flac.isEmpty()) << "flacenc is missing";
    // Inside a FLAC frame, on one and either side of one (4,608 frames each
    // at these settings): a frame's time in nanoseconds is rarely whole.
    for (uint64_t from : {2 * uint64_t(Rate) + 1001, uint64_t(4608 * 10), uint64_t(4608 * 10 + 1),
                          uint64_t(4608 * 10 - 1), uint64_t(Rate - 1)})
        ExpectInPlace(flac, from, 0, 0);
}

TEST_F(NativeSeek, lossyMediaKeepEveryFrameInPlaceAfterASeek)
{
    const QString mp3 = Encoded(QStringLiteral("noise.mp3"), "lamemp3enc target=bitrate bitrate=192");
    if (mp3.isEmpty())
        GTEST_SKIP() << "lamemp3enc is missing";
    // A few MP3 frames after the seek settle (the bit reservoir); every frame
    // after that is the decode from the start's, in place.
    for (uint64_t from : {3 * uint64_t(Rate) + 333, uint64_t(1152 * 50), 4 * uint64_t(Rate) + 1})
        ExpectInPlace(mp3, from, 4 * 1152, 0);
    const QString ogg = Encoded(QStringLiteral("noise.ogg"), "vorbisenc ! oggmux");
    ASSERT_FALSE(ogg.isEmpty()) << "vorbisenc is missing";
    ExpectInPlace(ogg, 2 * Rate + 5, 4096, 0);
    // Containers whose seeks do not land on the frame are decoded from their
    // start, so even the first frames are exact: Matroska (milliseconds), AAC
    // in MP4, and MPEG-TS, which also stamps its first frame later than 0.
    const QString mka = Encoded(QStringLiteral("noise.mka"), "flacenc ! matroskamux");
    ASSERT_FALSE(mka.isEmpty()) << "matroskamux is missing";
    ExpectInPlace(mka, 2 * Rate + 1001, 0, 0);
    const QString m4a = Encoded(QStringLiteral("noise.m4a"), "avenc_aac ! mp4mux");
    const QString ts = Encoded(QStringLiteral("noise.ts"), "avenc_aac ! aacparse ! mpegtsmux");
    if (m4a.isEmpty() || ts.isEmpty())
        GTEST_SKIP() << "avenc_aac, mp4mux or mpegtsmux is missing";
    ExpectInPlace(m4a, 2 * Rate + 5, 0, 0);
    ExpectInPlace(ts, 2 * Rate + 5, 0, 0);
}

TEST_F(NativeSeek, aStartPastTheEndGivesNoFramesAndRefusalsKeepTheirMeaning)
{
    const QString flac = Encoded(QStringLiteral("noise.flac"), "flacenc");
    ASSERT_FALSE(flac.isEmpty()) << "flacenc is missing";
    for (const QString& media : {wav, flac}) {
        SCOPED_TRACE(media.toStdString());
        const Decoded past = Decode(media, Frames + 1000);
        EXPECT_EQ(past.begins, 1);
        EXPECT_EQ(past.format.rate, Rate);
        EXPECT_TRUE(past.samples.empty());

        // A sink that refuses at the start stops the decode without a reason of its own.
        NativeSampleSink refusing;
        refusing.begin = [](const NativeFormat&) { return false; };
        refusing.take = [](const int16_t*, size_t) { return true; };
        QString error;
        EXPECT_FALSE(DecodeNativeSamplesFrom(media, Rate, refusing, error));
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();

        // One that has enough stops it at once.
        size_t takes = 0;
        NativeSampleSink enough;
        enough.begin = [](const NativeFormat&) { return true; };
        enough.take = [&](const int16_t*, size_t) { return ++takes > 1; };
        EXPECT_FALSE(DecodeNativeSamplesFrom(media, Rate, enough, error));
        EXPECT_EQ(takes, 1u);
    }
    // Media that cannot be decoded say why.
    const QString text = dir.filePath(QStringLiteral("notes.mp3"));
    ASSERT_TRUE(TestMedia::WriteFile(text, {'n', 'o', 't', 'e', 's'}));
    bool ok = true;
    QString error;
    Decode(text, Rate, ok, error);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.isEmpty());
    // So do missing ones, which fail before they preroll.
    ok = true;
    error.clear();
    Decode(dir.filePath(QStringLiteral("missing.flac")), Rate, ok, error);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.isEmpty());
}

} // namespace

} // namespace kx
