// peaktool waveform's data against the published rules, computed here from
// the samples written or decoded by the test.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstring>

#include "WaveformRules.h"
#include "peaks/WaveformData.h"
#include "platform/LittleEndian.h"
#include "tests/peaks/Mp3Tags.h"
#include "tests/support/TestMedia.h"
#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Waveform(const QStringList& args)
{
    return RunTool(QStringLiteral(PEAKTOOL), QStringList{"waveform"} + args);
}

TWaveformData Read(const QString& path)
{
    QString error;
    const auto d = DecodeWaveform(ReadFileBytes(path), error);
    EXPECT_TRUE(d) << path.toStdString() << ": " << error.toStdString();
    return d.value_or(TWaveformData{});
}

// A different tone on each channel, with a full-scale click at frame 777 of the first.
TestMedia::Signal Tones(uint32_t rate)
{
    return [rate](int64_t frame, int channel) {
        if (channel == 0 && frame == 777)
            return -1.0;
        const double t = double(frame) / rate;
        return (0.9 - 0.1 * channel) * std::sin(2 * M_PI * (220 + 110 * channel) * t) * (1 - 0.5 * t);
    };
}

// The media decoded by GStreamer on its own to interleaved 16-bit samples
// (MP3 by the decoder the builder prefers).
std::vector<int16_t> Decode(const QString& media)
{
    const QString raw = media + ".raw";
    const QString decoder = media.endsWith(".mp3") ? QStringLiteral("mpegaudioparse ! mpg123audiodec")
                                                   : QStringLiteral("decodebin");
    if (!TestMedia::RunPipeline(QStringLiteral("filesrc location=\"%1\" ! %3 ! audioconvert dithering=0 ! "
                                               "audio/x-raw,format=S16LE ! filesink location=\"%2\"")
                                    .arg(media, raw, decoder)))
        return {};
    const auto bytes = ReadFileBytes(raw);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(ReadU16LE(&bytes[2 * i]));
    return pcm;
}

class PeakToolWaveformData : public ::testing::Test
{
protected:
    QString Path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(PeakToolWaveformData, wavDataFollowsTheRulesAtEveryRateChannelCountAndWidth)
{
    for (const uint32_t rate : {8000u, 22050u, 44100u, 96000u}) {
        for (const uint16_t channels : {uint16_t(1), uint16_t(2), uint16_t(6)}) {
            SCOPED_TRACE(QStringLiteral("%1 Hz, %2 channels").arg(rate).arg(channels).toStdString());
            const TestMedia::WavFormat format{rate, channels, 16, int64_t(rate / 4 + 123)};
            const QString wav = Path(QStringLiteral("t%1_%2.wav").arg(rate).arg(channels));
            ASSERT_TRUE(TestMedia::WriteWav(wav, format, Tones(rate)));
            const auto pcm = rules::Samples(format, Tones(rate));
            for (const bool split : {false, true}) {
                const QString dat = Path("out.dat");
                QStringList args{"-i", wav, "-o", dat, "-z", "100", "-b", split ? "16" : "8"};
                if (split)
                    args << "--split-channels";
                const ToolRun r = Waveform(args);
                ASSERT_EQ(r.code, 0) << r.err.toStdString();
                const TWaveformData d = Read(dat);
                const int outs = split ? channels : 1;
                EXPECT_EQ(d.Version, outs == 1 ? 1 : 2);
                EXPECT_EQ(d.Channels, outs);
                EXPECT_EQ(d.SampleRate, int32_t(rate));
                EXPECT_EQ(d.SamplesPerPixel, 100);
                EXPECT_EQ(d.Bits, split ? 16 : 8);
                EXPECT_EQ(d.Values, rules::Waveform(pcm, channels, 100, split, split ? 16 : 8));
            }
        }
    }
}

TEST_F(PeakToolWaveformData, datIsByteExactAndJsonHoldsTheSameValues)
{
    const TestMedia::WavFormat format{44100, 2, 16, 10000};
    ASSERT_TRUE(TestMedia::WriteWav(Path("a.wav"), format, Tones(44100)));
    const auto pcm = rules::Samples(format, Tones(44100));
    ASSERT_EQ(Waveform({"-i", Path("a.wav"), "-o", Path("a.dat"), "--split-channels", "-z", "256"}).code, 0);
    ASSERT_EQ(Waveform({"-i", Path("a.wav"), "-o", Path("a.json"), "--split-channels", "-z", "256"}).code, 0);
    // Written by hand: version 2, 16 bits, the rate, zoom, length, channels, then the values.
    std::vector<uint8_t> expected(24);
    const auto values = rules::Waveform(pcm, 2, 256, true);
    WriteU32LE(&expected[0], 2);
    WriteU32LE(&expected[4], 0);
    WriteU32LE(&expected[8], 44100);
    WriteU32LE(&expected[12], 256);
    WriteU32LE(&expected[16], (10000 + 255) / 256);
    WriteU32LE(&expected[20], 2);
    for (int16_t v : values) {
        expected.push_back(uint8_t(uint16_t(v) & 0xff));
        expected.push_back(uint8_t(uint16_t(v) >> 8));
    }
    EXPECT_EQ(ReadFileBytes(Path("a.dat")), expected);
    const TWaveformData json = Read(Path("a.json"));
    EXPECT_EQ(json.Values, values);
    EXPECT_EQ(json.Length(), uint32_t((10000 + 255) / 256));

    // To stdout the data is the same, held until its length is known.
    const ToolRun r = Waveform({"-i", Path("a.wav"), "-o", "-", "--output-format", "dat", "--split-channels"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(std::vector<uint8_t>(r.bytes.begin(), r.bytes.end()), expected);
}

TEST_F(PeakToolWaveformData, zoomComesFromPixelsPerSecondOrTheEndAndWidth)
{
    const TestMedia::WavFormat format{48000, 1, 16, 48000};
    ASSERT_TRUE(TestMedia::WriteWav(Path("z.wav"), format, Tones(48000)));
    const auto pcm = rules::Samples(format, Tones(48000));
    ASSERT_EQ(Waveform({"-i", Path("z.wav"), "-o", Path("pps.dat"), "--pixels-per-second", "70"}).code, 0);
    TWaveformData d = Read(Path("pps.dat"));
    EXPECT_EQ(d.SamplesPerPixel, 48000 / 70);
    EXPECT_EQ(d.Values, rules::Waveform(pcm, 1, 48000 / 70, false));
    // 0.5 s in 300 pixels: 80 frames a pixel, and the data covers the whole file.
    ASSERT_EQ(Waveform({"-i", Path("z.wav"), "-o", Path("end.dat"), "-e", "0.5", "-w", "300"}).code, 0);
    d = Read(Path("end.dat"));
    EXPECT_EQ(d.SamplesPerPixel, 80);
    EXPECT_EQ(d.Length(), 600u);
    EXPECT_EQ(Waveform({"-i", Path("z.wav"), "-o", Path("x.dat"), "-z", "10", "--pixels-per-second", "5"}).code, 2);
}

TEST_F(PeakToolWaveformData, amplitudeScaleMultipliesClampsAndTruncates)
{
    const TestMedia::WavFormat format{16000, 2, 16, 5000};
    ASSERT_TRUE(TestMedia::WriteWav(Path("s.wav"), format, Tones(16000)));
    const auto pcm = rules::Samples(format, Tones(16000));
    for (const double scale : {0.3, 1.7}) {
        ASSERT_EQ(Waveform({"-i", Path("s.wav"), "-o", Path("s.json"), "-z", "64", "--split-channels",
                            "--amplitude-scale", QString::number(scale)})
                      .code,
                  0);
        EXPECT_EQ(Read(Path("s.json")).Values, rules::Waveform(pcm, 2, 64, true, 16, scale)) << scale;
    }
    // auto: the loudest value reaches full scale (the click is -32767 here).
    ASSERT_EQ(Waveform({"-i", Path("s.wav"), "-o", Path("auto.dat"), "-z", "64", "--amplitude-scale", "auto"}).code, 0);
    const TWaveformData d = Read(Path("auto.dat"));
    int peak = 0;
    for (int16_t v : d.Values)
        peak = std::max(peak, std::abs(int(v)));
    EXPECT_EQ(peak, 32767);
}

TEST_F(PeakToolWaveformData, compressedInputFollowsTheRulesOnTheDecodedSamples)
{
    const TestMedia::WavFormat format{22050, 6, 16, 30000};
    ASSERT_TRUE(TestMedia::WriteWav(Path("six.wav"), format, Tones(22050)));
    ASSERT_TRUE(TestMedia::EncodeWav(Path("six.wav"), QStringLiteral("flacenc"), Path("six.flac")));
    const auto pcm = Decode(Path("six.flac"));
    ASSERT_EQ(pcm.size(), size_t(30000) * 6);
    // Lossless: the very samples written.
    EXPECT_EQ(pcm, rules::Samples(format, Tones(22050)));
    ASSERT_EQ(Waveform({"-i", Path("six.flac"), "-o", Path("six.dat"), "-z", "300", "--split-channels"}).code, 0);
    EXPECT_EQ(Read(Path("six.dat")).Values, rules::Waveform(pcm, 6, 300, true));

    ASSERT_TRUE(TestMedia::EncodeTone(Path("tone.mp3"), 1.0, 44100, 2));
    const ToolRun r = Waveform({"-i", Path("tone.mp3"), "-o", Path("tone.json"), "-z", "512"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const TWaveformData mp3 = Read(Path("tone.json"));
    EXPECT_EQ(mp3.SampleRate, 44100);
    EXPECT_EQ(mp3.Channels, 1);
    EXPECT_EQ(mp3.Values, rules::Waveform(Decode(Path("tone.mp3")), 2, 512, false));
}

TEST_F(PeakToolWaveformData, widerSamplesKeepTheirTop16BitsInWavAndFlacAlike)
{
    // 24-bit stereo whose low bytes would round the other way: values
    // v * 256 + 200, negative ones included.
    const int frames = 3000;
    std::vector<uint8_t> pcm;
    std::vector<int16_t> top;
    for (int i = 0; i < 2 * frames; ++i) {
        const int16_t v = int16_t((i * 7919) % 60000 - 30000);
        const int32_t s24 = v * 256 + 200;
        pcm.push_back(uint8_t(s24 & 0xff));
        pcm.push_back(uint8_t(s24 >> 8 & 0xff));
        pcm.push_back(uint8_t(s24 >> 16 & 0xff));
        top.push_back(v);
    }
    std::vector<uint8_t> wav(44 + pcm.size());
    std::memcpy(wav.data(), "RIFF", 4);
    WriteU32LE(&wav[4], uint32_t(36 + pcm.size()));
    std::memcpy(&wav[8], "WAVEfmt ", 8);
    WriteU32LE(&wav[16], 16);
    WriteU16LE(&wav[20], 1);
    WriteU16LE(&wav[22], 2);
    WriteU32LE(&wav[24], 48000);
    WriteU32LE(&wav[28], 48000 * 6);
    WriteU16LE(&wav[32], 6);
    WriteU16LE(&wav[34], 24);
    std::memcpy(&wav[36], "data", 4);
    WriteU32LE(&wav[40], uint32_t(pcm.size()));
    std::copy(pcm.begin(), pcm.end(), wav.begin() + 44);
    ASSERT_TRUE(TestMedia::WriteFile(Path("w24.wav"), wav));
    ASSERT_TRUE(TestMedia::EncodeWav(Path("w24.wav"), QStringLiteral("flacenc"), Path("w24.flac")));
    const auto expected = rules::Waveform(top, 2, 100, true);
    for (const QString name : {"w24.wav", "w24.flac"}) {
        ASSERT_EQ(Waveform({"-i", Path(name), "-o", Path("w24.dat"), "-z", "100", "--split-channels"}).code, 0);
        EXPECT_EQ(Read(Path("w24.dat")).Values, expected) << name.toStdString();
    }
}

TEST_F(PeakToolWaveformData, readsTheAudioOfAnyMediaGStreamerDecodes)
{
    ASSERT_TRUE(TestMedia::EncodeTone(Path("v.ogg"), 0.5, 32000, 2));
    ASSERT_TRUE(TestMedia::EncodeTone(Path("clip.avi"), 0.5, 22050, 1));
    ASSERT_TRUE(TestMedia::RunPipeline(QStringLiteral("audiotestsrc num-buffers=20 ! audio/x-raw,rate=48000,channels=2 "
                                                      "! avenc_aac ! mp4mux ! filesink location=\"%1\"")
                                           .arg(Path("a.m4a"))));
    for (const auto& [name, rate] : {std::pair{"v.ogg", 32000}, {"clip.avi", 22050}, {"a.m4a", 48000}}) {
        SCOPED_TRACE(name);
        const QString media = Path(name);
        const ToolRun r = Waveform({"-i", media, "-o", Path("any.json"), "-z", "128", "--split-channels"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const TWaveformData d = Read(Path("any.json"));
        EXPECT_EQ(d.SampleRate, rate);
        const auto pcm = Decode(media);
        ASSERT_FALSE(pcm.empty());
        EXPECT_EQ(d.Values, rules::Waveform(pcm, d.Channels, 128, true));
    }
    ASSERT_TRUE(TestMedia::EncodeVideoOnly(Path("silent.avi"), 0.5));
    const ToolRun r = Waveform({"-i", Path("silent.avi"), "-o", Path("silent.dat")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no audio")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("silent.dat")));
}

TEST_F(PeakToolWaveformData, longFlacCutIntoSegmentsGivesTheDataOfOnePass)
{
    // Long enough for the segment policy, small enough to encode at once.
    const TestMedia::WavFormat format{8000, 2, 16, 8000 * 125 + 77};
    ASSERT_TRUE(TestMedia::WriteWav(Path("long.wav"), format, Tones(8000)));
    ASSERT_TRUE(TestMedia::EncodeWav(Path("long.wav"), QStringLiteral("flacenc"), Path("long.flac")));
    const auto pcm = rules::Samples(format, Tones(8000));
    ToolRunOptions onePass;
    onePass.environment.insert(QStringLiteral("KX_PEAK_SEGMENTS"), QStringLiteral("1"));
    for (const QString& ext : {QStringLiteral("dat"), QStringLiteral("json")}) {
        const QStringList args{"waveform", "-i", Path("long.flac"), "-z", "333", "--split-channels", "-o"};
        ToolRun r = RunTool(QStringLiteral(PEAKTOOL), args + QStringList{Path("seg." + ext)});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        r = RunTool(QStringLiteral(PEAKTOOL), args + QStringList{Path("one." + ext)}, onePass);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(ReadFileContents(Path("seg." + ext)), ReadFileContents(Path("one." + ext)));
        EXPECT_EQ(Read(Path("seg." + ext)).Values, rules::Waveform(pcm, 2, 333, true));
    }
}

TEST_F(PeakToolWaveformData, longMp3CutIntoSegmentsGivesTheOutputsOfOnePass)
{
    // Long enough for the segment policy at the lowest MPEG-1 rate, with a
    // gapless tag one pass trims by; data at a zoom fitted to a span, 8-bit
    // data, and a picture of a span in the middle.
    const QString mp3 = Path("long.mp3");
    const uint64_t frames = 32000 * 122 + 321;
    ASSERT_TRUE(TestMedia::RunPipeline(
        QStringLiteral("audiotestsrc wave=white-noise volume=0.5 num-buffers=1 samplesperbuffer=%1 ! "
                       "audio/x-raw,format=S16LE,rate=32000,channels=1 ! lamemp3enc target=bitrate bitrate=48 "
                       "cbr=true ! filesink location=\"%2\"")
            .arg(frames)
            .arg(mp3)));
    ASSERT_TRUE(AddLameTag(mp3, frames));
    ToolRunOptions onePass, segmented;
    onePass.environment.insert(QStringLiteral("KX_PEAK_SEGMENTS"), QStringLiteral("1"));
    segmented.environment.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    segmented.environment.remove(QStringLiteral("KX_PEAK_SEGMENTS"));
    segmented.environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kx.peaks.debug=true"));
    const QStringList outputs[] = {
        {"-b", "8", "-z", "300", "-o"},
        {"-e", "100", "-w", "777", "-o"},
        {"-s", "30", "-e", "90", "-w", "600", "-o"},
    };
    const QString names[] = {"x.dat", "x.json", "x.png"};
    for (size_t i = 0; i < std::size(outputs); ++i) {
        SCOPED_TRACE(names[i].toStdString());
        const QStringList args = QStringList{"waveform", "-i", mp3} + outputs[i];
        ToolRun r = RunTool(QStringLiteral(PEAKTOOL), args + QStringList{Path("seg" + names[i])}, segmented);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        if (QThread::idealThreadCount() >= 2) {
            EXPECT_TRUE(r.err.contains("in 2 segments")) << r.err.toStdString();
        }
        r = RunTool(QStringLiteral(PEAKTOOL), args + QStringList{Path("one" + names[i])}, onePass);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(ReadFileContents(Path("seg" + names[i])), ReadFileContents(Path("one" + names[i])));
    }
    EXPECT_EQ(Read(Path("segx.dat")).Length(), uint32_t(frames / 300 + 1));
}

TEST_F(PeakToolWaveformData, rawInputAndAudioOutput)
{
    // Big-endian 16-bit stereo, 1000 frames.
    QByteArray raw;
    std::vector<int16_t> pcm;
    for (int i = 0; i < 2000; ++i) {
        const int16_t v = int16_t((i * 37) % 20000 - 10000);
        pcm.push_back(v);
        raw.append(char(uint16_t(v) >> 8)).append(char(v & 0xff));
    }
    QFile f(Path("in.pcm"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(raw);
    f.close();
    ToolRun r = Waveform({"-i", Path("in.pcm"), "--input-format", "raw", "--raw-samplerate", "8000",
                          "--raw-channels", "2", "--raw-format", "s16be", "-o", Path("raw.dat"), "-z", "50",
                          "--split-channels"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const TWaveformData d = Read(Path("raw.dat"));
    EXPECT_EQ(d.SampleRate, 8000);
    EXPECT_EQ(d.Values, rules::Waveform(pcm, 2, 50, true));

    // The decoded audio as WAV: the same samples behind a canonical header.
    r = Waveform({"-i", Path("in.pcm"), "--input-format", "raw", "--raw-samplerate", "8000", "--raw-channels", "2",
                  "--raw-format", "s16be", "-o", Path("back.wav")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto wav = ReadFileBytes(Path("back.wav"));
    ASSERT_EQ(wav.size(), 44u + 4000u);
    EXPECT_EQ(ReadU32LE(&wav[4]), 36u + 4000u);
    EXPECT_EQ(ReadU32LE(&wav[24]), 8000u);
    EXPECT_EQ(ReadU32LE(&wav[40]), 4000u);
    EXPECT_EQ(int16_t(ReadU16LE(&wav[44 + 2 * 1999])), pcm[1999]);

    // The same from stdin.
    ToolRunOptions piped;
    piped.input = raw;
    r = RunTool(QStringLiteral(PEAKTOOL),
                {"waveform", "-i", "-", "--input-format", "raw", "--raw-samplerate", "8000", "--raw-channels", "2",
                 "--raw-format", "s16be", "-o", Path("stdin.dat"), "-z", "50", "--split-channels"},
                piped);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(ReadFileContents(Path("stdin.dat")), ReadFileContents(Path("raw.dat")));

    EXPECT_EQ(Waveform({"-i", Path("in.pcm"), "--input-format", "raw", "--raw-samplerate", "8000", "-o",
                        Path("x.dat")}).code,
              2);  // no channel count
    EXPECT_EQ(Waveform({"-i", Path("in.pcm"), "--input-format", "raw", "--raw-samplerate", "8000",
                        "--raw-channels", "2", "--raw-format", "s17le", "-o", Path("x.dat")}).code,
              2);
}

TEST_F(PeakToolWaveformData, dataAndPeakFilesAreReadBack)
{
    const TestMedia::WavFormat format{44100, 2, 16, 20000};
    ASSERT_TRUE(TestMedia::WriteWav(Path("r.wav"), format, Tones(44100)));
    const auto pcm = rules::Samples(format, Tones(44100));
    ASSERT_EQ(Waveform({"-i", Path("r.wav"), "-o", Path("r.dat"), "-z", "64", "--split-channels"}).code, 0);
    // .dat to .json keeps the values; a coarser zoom takes the extremes of whole runs.
    ASSERT_EQ(Waveform({"-i", Path("r.dat"), "-o", Path("r.json"), "--split-channels"}).code, 0);
    EXPECT_EQ(Read(Path("r.json")).Values, rules::Waveform(pcm, 2, 64, true));
    ASSERT_EQ(Waveform({"-i", Path("r.dat"), "-o", Path("c.json"), "-z", "256", "--split-channels", "-b", "8"}).code, 0);
    EXPECT_EQ(Read(Path("c.json")).Values, rules::Waveform(pcm, 2, 256, true, 8));
    // A peak file built at the file's own rate gives the same pixels.
    ASSERT_EQ(RunTool(QStringLiteral(PEAKTOOL), {"build", "--no-progress", "--rate", "44100", "--samples-per-peak", "64",
                                                 Path("r.wav")})
                  .code,
              0);
    ASSERT_EQ(Waveform({"-i", Path("r.pek"), "-o", Path("p.dat"), "--split-channels"}).code, 0);
    EXPECT_EQ(Read(Path("p.dat")).Values, rules::Waveform(pcm, 2, 64, true));
    const ToolRun r = Waveform({"-i", Path("r.dat"), "-o", Path("bad.json"), "-z", "100"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("multiple")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("bad.json")));
}

TEST_F(PeakToolWaveformData, refusesBadUsageAndUndecodableInput)
{
    ASSERT_TRUE(TestMedia::WriteWav(Path("u.wav"), {8000, 1, 16, 800}, Tones(8000)));
    const QString wav = Path("u.wav");
    EXPECT_EQ(Waveform({"-i", wav}).code, 2);
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("u.jpg")}).code, 2);
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("u.dat"), "-b", "12"}).code, 2);
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("u.dat"), "-z", "0"}).code, 2);
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("u.png"), "--waveform-color", "red"}).code, 2);
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("u.png"), "-c", "rainbow"}).code, 2);
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("u.png"), "-s", "2", "-e", "1"}).code, 2);
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("u.dat"), "--output-format", "json"}).code, 2);
    EXPECT_EQ(Waveform({"-i", wav, "-o", "-"}).code, 2);
    QFile junk(Path("junk.mp3"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(5000, 'x'));
    junk.close();
    const ToolRun r = Waveform({"-i", Path("junk.mp3"), "-o", Path("junk.dat")});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFile::exists(Path("junk.dat")));
    // --help still works; -h is the height.
    const ToolRun help = Waveform({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--input-filename", "--zoom", "--pixels-per-second", "--bar-style", "--amplitude-scale",
                               "--raw-format", "--axis-label-color", "--compression", "--split-channels"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    EXPECT_TRUE(help.out.contains("-h, --height")) << help.out.toStdString();
}

} // namespace kx
