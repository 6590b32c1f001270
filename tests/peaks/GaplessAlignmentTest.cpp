// Files that carry gapless information (MP3: the encoder's delay and
// padding in a LAME tag; AAC in MP4: an edit list that starts after the
// encoder's priming) are trimmed alike by the builder and the player, so
// peaks line up with what is heard.
#include <gtest/gtest.h>

#include "LameTagCrc.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gst/gst.h>

#include "BuildTestSupport.h"
#include "peaks/PeakFormat.h"
#include "playback/KXAudioPlayer.h"
#include "platform/LittleEndian.h"

#include "tests/support/TestMedia.h"

namespace kx {

namespace {

constexpr int Rate = 44100;
constexpr int64_t Frames = 44100;
constexpr int64_t Onset = 10000;  // first loud frame
constexpr int EncoderDelay = 576; // what the LAME library puts in front
constexpr int AacPriming = 1024;  // what the libav AAC encoder puts in front

double Signal(int64_t frame, int)
{
    return frame < Onset ? 0.0 : 0.8 * std::sin(2 * M_PI * 1000 * double(frame) / Rate);
}

// An "Info" frame as the LAME encoder writes it in front of a constant
// bitrate stream of 128 kbit/s at 44.1 kHz: frame count, byte count, a
// table of contents, and the LAME extension with the encoder delay and the
// padding at the end.
std::vector<uint8_t> InfoFrame(uint32_t frames, uint32_t bytes, int64_t samples)
{
    std::vector<uint8_t> f(417, 0);
    f[0] = 0xff, f[1] = 0xfb, f[2] = 0x90, f[3] = 0x64;
    uint8_t* tag = f.data() + 36;  // after the header and stereo side information
    std::memcpy(tag, "Info", 4);
    const auto be32 = [](uint8_t* p, uint32_t v) {
        p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
    };
    be32(tag + 4, 0x0f);  // frames, bytes, table of contents, quality
    be32(tag + 8, frames);
    be32(tag + 12, bytes);
    for (int i = 0; i < 100; ++i)
        tag[16 + i] = uint8_t(i * 255 / 100);
    uint8_t* lame = tag + 120;
    std::memcpy(lame, "LAME3.100", 9);
    const auto padding = uint32_t(int64_t(frames) * 1152 - EncoderDelay - samples);
    lame[21] = uint8_t(EncoderDelay >> 4);
    lame[22] = uint8_t((EncoderDelay & 15) << 4 | padding >> 8);
    lame[23] = uint8_t(padding);
    const uint16_t crc = test::LameTagCrc(f.data(), 190);
    lame[34] = uint8_t(crc >> 8);
    lame[35] = uint8_t(crc);
    return f;
}

// Number of frames of a constant bitrate MPEG-1 layer III stream.
uint32_t CountFrames(const std::vector<uint8_t>& mp3)
{
    static const int kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    uint32_t n = 0;
    for (size_t at = 0; at + 4 <= mp3.size() && mp3[at] == 0xff; ++n)
        at += size_t(144000 * kbps[mp3[at + 2] >> 4] / Rate + ((mp3[at + 2] >> 1) & 1));
    return n;
}

uint32_t ReadBE32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void WriteBE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

// Makes the single edit of an MP4 file start after the priming and last as
// long as the audio, as gapless-aware muxers write it. False when the file
// has no edit list of version 0 with one entry.
bool SkipPriming(std::vector<uint8_t>& mp4)
{
    const auto find = [&mp4](const char* box) {
        const auto it = std::search(mp4.begin(), mp4.end(), box, box + 4);
        return it == mp4.end() ? size_t(0) : size_t(it - mp4.begin());
    };
    const size_t mvhd = find("mvhd"), elst = find("elst");
    if (!mvhd || !elst || elst + 20 > mp4.size() || mp4[mvhd + 4] != 0 || mp4[elst + 4] != 0 ||
        ReadBE32(&mp4[elst + 8]) != 1)
        return false;
    const uint32_t movieScale = ReadBE32(&mp4[mvhd + 16]);
    WriteBE32(&mp4[elst + 12], uint32_t(Frames * movieScale / Rate));
    WriteBE32(&mp4[elst + 16], AacPriming);  // in the track's time scale, the sample rate
    return true;
}

int64_t RecordCount(const std::vector<uint8_t>& peaks)
{
    const auto h = DecodePeakHeader(peaks);
    return h ? PeakRecordCount(*h, peaks.size()) : -1;
}

// Record index of the first record whose first channel goes above half scale.
int64_t OnsetRecord(const std::vector<uint8_t>& peaks)
{
    const auto h = DecodePeakHeader(peaks);
    if (!h)
        return -1;
    const int size = PeakRecordSize(*h);
    for (size_t at = PeakHeaderSize; at + size_t(size) <= peaks.size(); at += size_t(size))
        if (std::max(ReadU16LE(&peaks[at]), ReadU16LE(&peaks[at + 2])) > 32768 + 16384)
            return int64_t(at - PeakHeaderSize) / size;
    return -1;
}

// Parameter: the file name extension, mp3 or m4a.
class GaplessAlignment : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        wav = dir.filePath("tone.wav");
        ASSERT_TRUE(TestMedia::WriteWav(wav, {Rate, 2, 16, Frames}, Signal));
        const bool mp3 = QString(GetParam()) == "mp3";
        plain = dir.filePath(QStringLiteral("plain.") + GetParam());
        const QString encoder = mp3 ? QStringLiteral("lamemp3enc target=bitrate bitrate=128 cbr=true")
                                    : QStringLiteral("avenc_aac ! mp4mux");
        if (!TestMedia::EncodeWav(wav, encoder, plain))
            GTEST_SKIP() << "no encoder for " << GetParam();
        auto bytes = ReadFileBytes(plain);
        if (mp3) {
            const uint32_t frames = CountFrames(bytes);
            ASSERT_GT(frames, Frames / 1152);
            const auto info = InfoFrame(frames, uint32_t(bytes.size() + 417), Frames);
            bytes.insert(bytes.begin(), info.begin(), info.end());
        } else {
            ASSERT_TRUE(SkipPriming(bytes));
        }
        gapless = dir.filePath(QStringLiteral("gapless.") + GetParam());
        ASSERT_TRUE(TestMedia::WriteFile(gapless, bytes));
    }

    std::vector<uint8_t> BuildPeaks(const QString& media)
    {
        TKXPeakBuilder builder;
        builder.SetOutputSamplesPerSecond(sps44100);
        builder.SetSamplesPerPeak(100);
        builder.SetTempFolder(dir.path());
        EXPECT_TRUE(builder.AppendFilename(media));
        EXPECT_TRUE(builder.StartBuild());
        EXPECT_TRUE(WaitUntilIdle(builder));
        TMemoryStream* stream = nullptr;
        if (!builder.GetStreamByIndex(0, stream) || !stream)
            return {};
        return std::vector<uint8_t>(stream->Data(), stream->Data() + stream->Size());
    }

    // Frames the player hands its audio sink before the first loud one.
    int64_t PlayerOnset(const QString& media)
    {
        struct Tap {
            int64_t frames = 0;
            int64_t onset = -1;
            bool ended = false;
        } tap;
        TKXAudioFilePlayer player;
        player.SetAudioSinkFactory([&tap] {
            GstElement* bin = gst_parse_bin_from_description(
                "audioconvert ! audio/x-raw,format=S16LE,channels=2 ! fakesink name=tap sync=false signal-handoffs=true",
                TRUE, nullptr);
            GstElement* sink = gst_bin_get_by_name(GST_BIN(bin), "tap");
            g_signal_connect(sink, "handoff",
                             G_CALLBACK(+[](GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
                                 auto* t = static_cast<Tap*>(data);
                                 GstMapInfo map;
                                 if (t->onset >= 0 || !gst_buffer_map(buffer, &map, GST_MAP_READ))
                                     return;
                                 const auto* s = reinterpret_cast<const int16_t*>(map.data);
                                 const int64_t n = int64_t(map.size / 4);
                                 for (int64_t i = 0; i < n && t->onset < 0; ++i)
                                     if (s[2 * i] > 16384)
                                         t->onset = t->frames + i;
                                 t->frames += n;
                                 gst_buffer_unmap(buffer, &map);
                             }),
                             &tap);
            gst_object_unref(sink);
            return bin;
        });
        player.OnComplete = [&tap](QObject*) { tap.ended = true; };
        if (!player.LoadMedia(media))
            return -2;
        player.Play();
        const bool ended = QTest::qWaitFor([&] { return tap.ended; }, 20000);
        player.ClearMedia();
        return ended ? tap.onset : -3;
    }

    QTemporaryDir dir;
    QString wav, gapless, plain;
};

} // namespace

TEST_P(GaplessAlignment, builderTrimsTheEncoderDelayWhereTheFileSaysSo)
{
    const auto reference = BuildPeaks(wav);
    const auto trimmed = BuildPeaks(gapless);
    const auto untrimmed = BuildPeaks(plain);
    const int64_t onset = OnsetRecord(reference);
    ASSERT_EQ(onset, Onset / 100);
    // Within one record of the WAV, and as many records give or take the
    // last (an MP4 edit is counted in the movie's coarser time scale).
    EXPECT_NEAR(double(OnsetRecord(trimmed)), double(onset), 1.0);
    EXPECT_NEAR(double(RecordCount(trimmed)), double(RecordCount(reference)), 1.0);
    // Without the information the delay stays (about 25 ms), which is what
    // the check above would catch.
    EXPECT_GE(OnsetRecord(untrimmed), onset + 10);
}

TEST_P(GaplessAlignment, playerTrimsAlike)
{
    // The same frame as in the WAV, give or take the codec's smearing of a
    // hard onset (under a millisecond; the priming is over 20).
    EXPECT_NEAR(double(PlayerOnset(gapless)), double(Onset), 32.0);
    EXPECT_GE(PlayerOnset(plain), Onset + 1000);
}

INSTANTIATE_TEST_SUITE_P(Formats, GaplessAlignment, ::testing::Values("mp3", "m4a"));

} // namespace kx
