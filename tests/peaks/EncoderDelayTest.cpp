// Compressed copies of a WAV made by FFmpeg give the WAV's peaks in time:
// the encoder delay and padding its tags state are trimmed, in one pass and
// in segments.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include "BuildTestSupport.h"
#include "peaks/PeakFormat.h"
#include "peaks/SegmentPlan.h"

namespace kx {

namespace {

struct Peaks {
    int64_t records = 0;
    int64_t firstLoud = -1;  // the first record whose maximum is loud
    int segments = 0;
};

class EncoderDelay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        if (ffmpeg.isEmpty())
            GTEST_SKIP() << "ffmpeg is not installed (scripts/setup installs it)";
    }

    // Silence, then a loud tone from `loudFrom` on.
    QString Wav(const QString& name, uint32_t rate, double seconds, int64_t loudFrom)
    {
        const QString path = dir.filePath(name);
        const TestMedia::Signal tone = TestMedia::Sine(441, 0.7, rate);
        EXPECT_TRUE(TestMedia::WriteWav(path, {rate, 2, 16, int64_t(seconds * rate)},
                                        [&](int64_t f, int c) { return f < loudFrom ? 0.0 : tone(f, c); }));
        return path;
    }

    QString Encode(const QString& wav, const QString& name, const QStringList& codec = {})
    {
        const QString out = dir.filePath(name);
        QProcess p;
        p.start(ffmpeg, QStringList{"-loglevel", "error", "-y", "-i", wav} + codec + QStringList{out});
        EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
        return out;
    }

    Peaks Build(const QString& media, const SegmentPolicy& policy)
    {
        // A folder of its own per build, so that none finds another's peak file.
        const QString folder = dir.filePath(QStringLiteral("b%1").arg(++builds));
        QDir().mkpath(folder);
        const QString copy = folder + "/" + QFileInfo(media).fileName();
        EXPECT_TRUE(QFile::copy(media, copy));
        // On the heap: a builder in the same stack slot as the last one, called
        // back by a streaming thread GLib's pool reused from that one's graph,
        // looks unsynchronised to ThreadSanitizer (the pool hands work over
        // through futexes it cannot see); freed memory is forgotten instead.
        auto owner = std::make_unique<TKXPeakBuilder>();
        TKXPeakBuilder& b = *owner;
        BuildEvents ev;
        ev.Attach(b);
        b.SetSaveToPeakFiles(true);
        b.SetSegmentation(policy);
        Peaks p;
        if (!b.AppendFilename(copy) || !b.StartBuild() || !WaitUntilIdle(b, 60000) || ev.completed != std::vector<int>{0}) {
            ADD_FAILURE() << "no build of " << media.toStdString() << ": " << ev.reasons.join('\n').toStdString();
            return p;
        }
        p.segments = b.LastSegmentCount();
        const std::vector<uint8_t> bytes = ReadFileBytes(ChangeFileExt(copy, ".pek"));
        const auto header = DecodePeakHeader(bytes);
        if (!header)
            return p;
        p.records = PeakRecordCount(*header, bytes.size());
        for (int64_t r = 0; r < p.records && p.firstLoud < 0; ++r) {
            const uint8_t* rec = bytes.data() + PeakHeaderSize + r * 8;
            if ((rec[0] | rec[1] << 8) > 32768 + 8000)
                p.firstLoud = r;
        }
        return p;
    }

    static SegmentPolicy OnePass()
    {
        SegmentPolicy p;
        p.maxSegments = 1;
        return p;
    }
    static SegmentPolicy Segments()
    {
        SegmentPolicy p;
        p.minSeconds = 0;
        p.maxSegments = 2;
        p.segmentFrames = 44100;
        return p;
    }

    void ExpectInTime(const Peaks& source, const Peaks& copy, const char* what)
    {
        SCOPED_TRACE(what);
        ASSERT_GE(source.firstLoud, 0);
        EXPECT_EQ(copy.records, source.records);
        EXPECT_LE(std::abs(copy.firstLoud - source.firstLoud), 1)
            << "first loud record " << copy.firstLoud << ", in the source " << source.firstLoud;
    }

    QTemporaryDir dir;
    QString ffmpeg;
    int builds = 0;
};

} // namespace

TEST_F(EncoderDelay, mp3FromFFmpegIsTrimmedInOnePassAndInSegments)
{
    const QString wav = Wav("a.wav", 44100, 3, 44100);
    const QString mp3 = Encode(wav, "a.mp3");
    const Peaks source = Build(wav, OnePass());
    const Peaks one = Build(mp3, OnePass());
    const Peaks cut = Build(mp3, Segments());
    ExpectInTime(source, one, "one pass");
    ExpectInTime(source, cut, "segments");
    EXPECT_EQ(one.segments, 1);
    EXPECT_GT(cut.segments, 1);
}

TEST_F(EncoderDelay, lowRateMp3FromFFmpegIsTrimmed)
{
    // MPEG-2 at 16 kHz: 576 samples a frame; built in one pass.
    const QString wav = Wav("b.wav", 16000, 3, 16000);
    const Peaks source = Build(wav, OnePass());
    ExpectInTime(source, Build(Encode(wav, "b.mp3"), Segments()), "16 kHz");
}

// The LAME encoder's own tag (its writer string is not FFmpeg's): 44.1 kHz
// MPEG-1 and 16 kHz MPEG-2, one pass and segments.
TEST_F(EncoderDelay, mp3FromTheLameEncoderIsTrimmed)
{
    const QString lame = QStandardPaths::findExecutable(QStringLiteral("lame"));
    if (lame.isEmpty())
        GTEST_SKIP() << "lame is not installed (scripts/setup installs it)";
    for (uint32_t rate : {44100u, 16000u}) {
        SCOPED_TRACE(rate);
        const QString wav = Wav(QStringLiteral("l%1.wav").arg(rate), rate, 3, rate);
        const QString mp3 = dir.filePath(QStringLiteral("l%1.mp3").arg(rate));
        QProcess p;
        p.start(lame, {"--quiet", "-b", "64", wav, mp3});
        ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
        const Peaks source = Build(wav, OnePass());
        ExpectInTime(source, Build(mp3, OnePass()), "one pass");
        ExpectInTime(source, Build(mp3, Segments()), "segments");
    }
}

TEST_F(EncoderDelay, aacInM4aFromFFmpegIsInTime)
{
    const QString wav = Wav("c.wav", 44100, 3, 44100);
    const Peaks source = Build(wav, OnePass());
    const Peaks aac = Build(Encode(wav, "c.m4a", {"-c:a", "aac"}), OnePass());
    // The priming the edit list states is trimmed: the sound starts in time.
    // (The end is 2 records short of the source at the defaults; not handled yet.)
    ASSERT_GE(source.firstLoud, 0);
    EXPECT_LE(std::abs(aac.firstLoud - source.firstLoud), 1) << aac.firstLoud << " against " << source.firstLoud;
    EXPECT_LE(std::abs(aac.records - source.records), 2);
}

} // namespace kx
