#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstring>
#include <random>

#include "BuildTestSupport.h"
#include "peaks/PeakFormat.h"
#include "peaks/WavDirect.h"
#include "platform/LittleEndian.h"

#include "tests/support/TestMedia.h"

namespace kx {

namespace {

// A WAV file written byte by byte, so that every header variant the direct
// reader meets can be made.
struct WavSpec {
    uint16_t tag = 1;  // 1 PCM, 3 float
    uint16_t channels = 2;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    bool extensible = false;
    uint32_t channelMask = 0;
    // Chunks before "fmt " and between "fmt " and "data" (id, body).
    std::vector<std::pair<std::string, std::string>> before, between;
    std::string after;  // bytes after the data chunk
};

void Put16(std::string& s, uint16_t v)
{
    uint8_t b[2];
    WriteU16LE(b, v);
    s.append(reinterpret_cast<char*>(b), 2);
}
void Put32(std::string& s, uint32_t v)
{
    uint8_t b[4];
    WriteU32LE(b, v);
    s.append(reinterpret_cast<char*>(b), 4);
}
void PutChunk(std::string& s, const std::string& id, const std::string& body)
{
    s += id;
    Put32(s, uint32_t(body.size()));
    s += body;
    if (body.size() % 2)
        s += '\0';
}

std::string WavFile(const WavSpec& w, const std::string& data)
{
    std::string fmt;
    const uint16_t align = uint16_t(w.channels * (w.bits / 8));
    Put16(fmt, w.extensible ? 0xFFFE : w.tag);
    Put16(fmt, w.channels);
    Put32(fmt, w.rate);
    Put32(fmt, w.rate * align);
    Put16(fmt, align);
    Put16(fmt, w.bits);
    if (w.extensible) {
        Put16(fmt, 22);
        Put16(fmt, w.bits);
        Put32(fmt, w.channelMask);
        Put16(fmt, w.tag);
        fmt.append("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string body = "WAVE";
    for (const auto& [id, b] : w.before)
        PutChunk(body, id, b);
    PutChunk(body, "fmt ", fmt);
    for (const auto& [id, b] : w.between)
        PutChunk(body, id, b);
    PutChunk(body, "data", data);
    body += w.after;
    std::string file = "RIFF";
    Put32(file, uint32_t(body.size()));
    return file + body;
}

// Samples that probe the conversion: both ends, the rounding points around
// every 16-bit step, and noise.
std::string Samples(const WavSpec& w, int64_t frames, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string out;
    const int bytes = w.bits / 8;
    const int64_t count = frames * w.channels;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t kind = i % 7;
        if (w.tag == 3) {
            float f;
            const std::vector<float> edges = {1.0f, -1.0f, 1.5f, -2.0f, 0.0f, -0.0f, 32767.5f / 32768, -32768.5f / 32768,
                                              0.5f / 32768, -0.5f / 32768, std::nanf(""), INFINITY, -INFINITY};
            if (kind == 0)
                f = edges[size_t(i / 7) % edges.size()];
            else if (kind == 1)
                f = float(int(rng() % 65536) - 32768) / 32768.0f + (float(rng() % 4) - 1.5f) / 65536.0f;
            else
                f = std::uniform_real_distribution<float>(-1.1f, 1.1f)(rng);
            uint32_t u;
            std::memcpy(&u, &f, 4);
            Put32(out, u);
            continue;
        }
        const int64_t top = (int64_t(1) << (w.bits - 1)) - 1;
        int64_t v;
        if (kind == 0) {
            const int64_t edges[] = {top, -top - 1, 0, -1, 1};
            v = edges[(i / 7) % 5];
        } else if (kind == 1 && w.bits > 16) {
            // Just below, at and above a rounding point of the 16-bit step.
            const int64_t step = int64_t(1) << (w.bits - 16);
            v = std::clamp<int64_t>((int64_t(rng() % 65536) - 32768) * step + step / 2 + int64_t(rng() % 3) - 1,
                                    -top - 1, top);
        } else {
            v = int64_t(rng() % uint64_t(2 * (top + 1))) - top - 1;
        }
        if (w.bits == 8)
            v += 128;
        for (int b = 0; b < bytes; ++b)
            out += char(uint8_t(uint64_t(v) >> (8 * b)));
    }
    return out;
}

bool Write(const QString& path, const std::string& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

struct BuildSettings {
    TChannels channels = chStereo;
    TBPS bits = bp16;
    TSPS rate = sps44100;
    uint16_t samplesPerPeak = 100;
    uint32_t gains = 4096 | 4096u << 16;
};

struct BuildResult {
    std::vector<uint8_t> stream, file;
    int64_t duration = 0;
    bool direct = false;
    std::vector<int> completed;
    int progressCalls = 0;
    int lastProgress = -1;
};

BuildResult Build(const QString& media, const BuildSettings& s, bool direct)
{
    BuildResult r;
    const QString peak = ChangeFileExt(media, ".pek");
    QFile::remove(peak);
    TKXPeakBuilder b;
    BuildEvents ev;
    ev.Attach(b);
    b.SetDirectReduction(direct);
    b.SetSaveToPeakFiles(true);
    b.SetOutputChannels(s.channels);
    b.SetOutputBPS(s.bits);
    b.SetOutputSamplesPerSecond(s.rate);
    b.SetSamplesPerPeak(s.samplesPerPeak);
    b.SetGains(s.gains);
    if (!b.AppendFilename(media) || !b.StartBuild() || !WaitUntilIdle(b))
        return r;
    r.direct = b.LastBuildPath() == TKXPeakBuilder::BuildPath::Direct;
    r.completed = ev.completed;
    r.duration = b.Duration();
    TMemoryStream* stream = nullptr;
    if (b.GetStreamByIndex(0, stream))
        r.stream.assign(stream->Bytes().begin(), stream->Bytes().end());
    r.file = ReadFileBytes(peak);
    for (const auto& p : ev.progress)
        if (p.item == 0 && p.progress > 0) {
            ++r.progressCalls;
            r.lastProgress = p.progress;
        }
    return r;
}

class DirectWav : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Make(const QString& name, const WavSpec& w, int64_t frames, uint32_t seed = 1)
    {
        const QString p = dir.filePath(name);
        EXPECT_TRUE(Write(p, WavFile(w, Samples(w, frames, seed))));
        return p;
    }
    // Builds through the graph and directly; everything must be equal.
    void ExpectSame(const QString& media, const BuildSettings& s)
    {
        const BuildResult graph = Build(media, s, false);
        const BuildResult direct = Build(media, s, true);
        ASSERT_EQ(graph.completed, std::vector<int>{0});
        ASSERT_EQ(direct.completed, std::vector<int>{0});
        EXPECT_FALSE(graph.direct);
        EXPECT_TRUE(direct.direct);
        ASSERT_GT(graph.stream.size(), size_t(PeakHeaderSize));
        EXPECT_TRUE(graph.stream == direct.stream) << "stream sizes " << graph.stream.size() << " "
                                                   << direct.stream.size();
        EXPECT_TRUE(graph.file == direct.file);
        EXPECT_EQ(graph.stream, graph.file);
        EXPECT_EQ(graph.duration, direct.duration);
        EXPECT_EQ(graph.lastProgress, direct.lastProgress);
        EXPECT_GT(direct.progressCalls, 0);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(DirectWav, recordsEqualTheGraphsForEverySampleFormatAndChannelCount)
{
    const std::vector<std::pair<uint16_t, uint16_t>> formats = {{1, 8}, {1, 16}, {1, 24}, {1, 32}, {3, 32}};
    for (const auto& [tag, bits] : formats)
        for (uint16_t channels : {uint16_t(1), uint16_t(2)})
            for (TChannels out : {chMono, chStereo}) {
                SCOPED_TRACE(testing::Message() << "tag " << tag << " bits " << bits << " channels " << channels
                                                << " out " << out);
                WavSpec w;
                w.tag = tag;
                w.bits = bits;
                w.channels = channels;
                w.rate = 22050;
                const QString media = Make(QStringLiteral("f%1_%2_%3_%4.wav").arg(tag).arg(bits).arg(channels).arg(out),
                                           w, 6000, bits + channels);
                // One frame per record shows every converted sample.
                BuildSettings s;
                s.channels = out;
                s.rate = sps22050;
                s.samplesPerPeak = 1;
                ExpectSame(media, s);
            }
}

// Plain WAV files of 3, 7 or more than 8 channels carry no positions, and
// the graph cannot mix them: the mean of all for mono, and for stereo the
// even-numbered channels to the left and the odd to the right.
TEST_F(DirectWav, unpositionedChannelsFoldEvenNumberedToTheLeftAndOddToTheRight)
{
    for (uint16_t channels : {uint16_t(3), uint16_t(7), uint16_t(10)})
        for (TChannels out : {chMono, chStereo}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, out " << out);
            // Channel c is a square wave at 0.02 * (c + 1) of full scale.
            const QString media = dir.filePath(QStringLiteral("u%1_%2.wav").arg(channels).arg(out));
            ASSERT_TRUE(TestMedia::WriteWav(media, {22050, channels, 16, 2205}, [](int64_t frame, int c) {
                return (frame / 50 % 2 ? -0.02 : 0.02) * (c + 1);
            }));
            BuildSettings s;
            s.channels = out;
            s.rate = sps22050;
            const BuildResult r = Build(media, s, true);
            ASSERT_EQ(r.completed, std::vector<int>{0});
            EXPECT_TRUE(r.direct);
            const int outCount = out == chMono ? 1 : 2;
            ASSERT_GT(r.file.size(), size_t(PeakHeaderSize + 4 * outCount));
            for (int o = 0; o < outCount; ++o) {
                double sum = 0;
                int count = 0;
                for (int c = o; c < channels; c += outCount, ++count)
                    sum += 0.02 * (c + 1);
                const auto expected = int16_t(std::lround(sum / count * 32767));
                // The first record: (maximum, minimum) of each output channel, mid-scale.
                const uint8_t* v = r.file.data() + PeakHeaderSize + 4 * o;
                EXPECT_NEAR(int(v[0] | v[1] << 8) - 32768, expected, 1) << "channel " << o;
                EXPECT_NEAR(int(v[2] | v[3] << 8) - 32768, -expected, 1) << "channel " << o;
            }
        }
}

TEST_F(DirectWav, recordsEqualTheGraphsForGainsBitsRatesAndPartialRuns)
{
    WavSpec w;
    w.rate = 44100;
    const QString media = Make("settings.wav", w, 44100 * 2 + 37);
    struct Case {
        TBPS bits;
        TSPS rate;
        uint16_t spp;
        uint32_t gains;
    };
    for (const Case& c : {Case{bp8, sps44100, 100, 4096 | 4096u << 16}, Case{bp16, sps48000, 64, 1024 | 65535u << 16},
                          Case{bp16, sps8000, 1000, 4096 | 4096u << 16}, Case{bp8, sps22050, 7, 3000 | 9000u << 16},
                          Case{bp16, sps44100, 65535, 0 | 4096u << 16}}) {
        SCOPED_TRACE(testing::Message() << "spp " << c.spp);
        BuildSettings s;
        s.bits = c.bits;
        s.rate = c.rate;
        s.samplesPerPeak = c.spp;
        s.gains = c.gains;
        ExpectSame(media, s);
    }
}

TEST_F(DirectWav, headerVariantsReadAsTheParserReadsThem)
{
    // Extensible headers, and padded odd chunks before and after the format.
    WavSpec ext;
    ext.extensible = true;
    ext.channelMask = 3;
    ext.bits = 24;
    WavSpec padded;
    padded.before = {{"JUNK", std::string(5, 'j')}};
    padded.between = {{"LIST", std::string(7, 'x')}, {"fact", std::string(4, '\0')}};
    WavSpec floatExt;
    floatExt.extensible = true;
    floatExt.tag = 3;
    floatExt.bits = 32;
    floatExt.channels = 1;
    floatExt.channelMask = 4;
    int n = 0;
    for (const WavSpec& w : {ext, padded, floatExt}) {
        SCOPED_TRACE(n);
        const QString media = Make(QStringLiteral("variant%1.wav").arg(n++), w, 10007);
        WavLayout layout;
        ASSERT_TRUE(ReadWavLayout(media, layout));
        EXPECT_EQ(layout.Frames(), 10007u);
        BuildSettings s;
        s.samplesPerPeak = 10;
        s.channels = w.channels == 1 ? chMono : chStereo;
        ExpectSame(media, s);
    }
}

TEST_F(DirectWav, readingStopsAtTheEndOfTheData)
{
    // A chunk after the audio (tags, cue points) is not audio. The graph's
    // parser stalls on such a file, so the reference is the file without it.
    WavSpec w;
    const std::string data = Samples(w, 10007, 9);
    const QString plain = dir.filePath("plain.wav");
    ASSERT_TRUE(Write(plain, WavFile(w, data)));
    w.after = std::string("LIST\x03\0\0\0abc\0", 12);
    const QString tagged = dir.filePath("tagged.wav");
    ASSERT_TRUE(Write(tagged, WavFile(w, data)));
    BuildSettings s;
    s.samplesPerPeak = 10;
    const BuildResult graph = Build(plain, s, false);
    const BuildResult direct = Build(tagged, s, true);
    ASSERT_EQ(direct.completed, std::vector<int>{0});
    EXPECT_TRUE(direct.direct);
    EXPECT_GT(graph.stream.size(), size_t(PeakHeaderSize));
    EXPECT_TRUE(graph.stream == direct.stream);
    EXPECT_TRUE(graph.file == direct.file);
    EXPECT_EQ(graph.duration, direct.duration);
}

TEST_F(DirectWav, filesTheDirectPathDoesNotTakeStillBuildThroughTheGraph)
{
    WavSpec w;
    const std::string good = WavFile(w, Samples(w, 1000, 3));
    WavLayout layout;
    const auto parses = [&](const std::string& bytes) {
        const QString p = dir.filePath("probe.wav");
        EXPECT_TRUE(Write(p, bytes));
        return ReadWavLayout(p, layout);
    };
    ASSERT_TRUE(parses(good));
    EXPECT_EQ(layout.dataOffset, 44u);
    EXPECT_EQ(layout.dataBytes, 4000u);

    std::string rifx = good;
    rifx[3] = 'X';
    EXPECT_FALSE(parses(rifx));
    EXPECT_FALSE(parses(good.substr(0, good.size() - 2)));  // data runs past the end
    // Six plain channels parse, but the graph mixes them by their positions.
    WavSpec six = w;
    six.channels = 6;
    ASSERT_TRUE(parses(WavFile(six, std::string(1200, '\0'))));
    EXPECT_FALSE(DirectWavSupports(layout, 2));
    WavSpec adpcm = w;
    adpcm.tag = 2;
    EXPECT_FALSE(parses(WavFile(adpcm, std::string(400, '\0'))));
    EXPECT_FALSE(parses(WavFile(w, std::string(401, '\0'))));  // not whole frames
    EXPECT_FALSE(parses(WavFile(w, std::string())));           // nothing to reduce
    WavSpec odd = w;
    odd.extensible = true;
    odd.channelMask = 0x30;  // rear speakers: the converter mixes them differently
    EXPECT_FALSE(parses(WavFile(odd, std::string(400, '\0'))));
    std::string rate = good;
    WriteU32LE(reinterpret_cast<uint8_t*>(rate.data()) + 28, 12345);  // byte rate disagrees
    EXPECT_FALSE(parses(rate));

    // A WAV the direct path refuses (8-bit extensible mono mixed to stereo)
    // still builds, through the graph.
    WavSpec mono = w;
    mono.channels = 1;
    mono.extensible = true;
    mono.bits = 8;
    const QString media = Make("mono-ext.wav", mono, 5000);
    const BuildResult r = Build(media, BuildSettings{}, true);
    EXPECT_EQ(r.completed, std::vector<int>{0});
    EXPECT_FALSE(r.direct);
    EXPECT_GT(r.stream.size(), size_t(PeakHeaderSize));
}

TEST_F(DirectWav, stopLeavesEitherNoPeakFileOrAFinishedOneAndTheFileBuildsAgain)
{
    // Long enough that the stop almost always comes first; when it does
    // not, the finished file and stream must agree.
    WavSpec w;
    const QString media = Make("long.wav", w, 44100 * 20);
    const QString peak = ChangeFileExt(media, ".pek");
    const int64_t fullSize = PeakHeaderSize + int64_t(44100) * 20 * 8;
    TKXPeakBuilder b;
    BuildEvents ev;
    ev.Attach(b);
    b.SetSaveToPeakFiles(true);
    b.SetSamplesPerPeak(1);
    b.SetOutputSamplesPerSecond(sps44100);
    ASSERT_TRUE(b.AppendFilename(media));
    ASSERT_TRUE(b.StartBuild());
    ASSERT_TRUE(b.PauseBuild());
    EXPECT_EQ(b.BuildState(), bsPaused);
    EXPECT_TRUE(b.StopBuild());
    EXPECT_EQ(b.BuildState(), bsStopped);
    EXPECT_TRUE(ev.completed.empty());
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.partial"}, QDir::Files).isEmpty());
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(b.GetStreamByIndex(0, s));
    if (QFileInfo::exists(peak)) {
        EXPECT_EQ(s->Size(), fullSize);
        return;
    }

    ASSERT_TRUE(b.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(b));
    EXPECT_EQ(ev.completed, std::vector<int>{0});
    EXPECT_EQ(b.LastBuildPath(), TKXPeakBuilder::BuildPath::Direct);
    ASSERT_TRUE(b.GetStreamByIndex(0, s));
    EXPECT_EQ(std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()), ReadFileBytes(peak));
    EXPECT_EQ(s->Size(), fullSize);
}

TEST_F(DirectWav, aChunkWithoutItsPadByteIsReadWhereItsWriterLeftTheData)
{
    WavSpec w;
    const std::string data = Samples(w, 3001, 4);
    const QString padded = dir.filePath("padded.wav");
    w.between = {{"LIST", "abc"}};
    std::string file = WavFile(w, data);
    ASSERT_TRUE(Write(padded, file));
    // The same chunk without its pad byte, sizes adjusted.
    const size_t list = file.find("LIST");
    file.erase(list + 11, 1);
    WriteU32LE(reinterpret_cast<uint8_t*>(file.data()) + 4, uint32_t(file.size() - 8));
    const QString unpadded = dir.filePath("unpadded.wav");
    ASSERT_TRUE(Write(unpadded, file));
    WavLayout layout;
    ASSERT_TRUE(ReadWavLayout(unpadded, layout));
    EXPECT_EQ(layout.dataOffset, list + 19);
    const BuildResult a = Build(padded, BuildSettings{}, true), b = Build(unpadded, BuildSettings{}, true);
    ASSERT_EQ(b.completed, std::vector<int>{0});
    EXPECT_TRUE(b.direct);
    EXPECT_TRUE(a.stream == b.stream);
}

TEST_F(DirectWav, filesTheGraphsParserWouldNeverFinishAreRefusedWithTheirCause)
{
    // Six channels: only the graph builds these (it mixes them by their
    // positions), and its WAV parser spins forever on the first two.
    WavSpec w;
    w.channels = 6;
    const std::string data(6 * 2 * 500, '\x10');
    const auto cause = [&](const std::string& name, const std::string& bytes) {
        const QString media = dir.filePath(QString::fromStdString(name));
        EXPECT_TRUE(Write(media, bytes));
        TKXPeakBuilder b;
        BuildEvents ev;
        ev.Attach(b);
        b.SetSaveToPeakFiles(true);
        EXPECT_TRUE(b.AppendFilename(media));
        b.StartBuild();
        EXPECT_TRUE(WaitUntilIdle(b, 5000));
        EXPECT_EQ(ev.failed, std::vector<int>{0}) << name;
        EXPECT_FALSE(QFileInfo::exists(ChangeFileExt(media, ".pek"))) << name;
        EXPECT_EQ(WavParserHazard(media), b.LastBuildFailure()) << name;
        return b.LastBuildFailure().toStdString();
    };
    WavSpec tagged = w;
    tagged.between = {{"LIST", "abc"}};
    EXPECT_NE(cause("shortlist.wav", WavFile(tagged, data)).find("LIST chunk is 3 bytes"), std::string::npos);
    w.after = std::string("LIST\x02\0\0\0ab", 10);
    EXPECT_NE(cause("shortlistafter.wav", WavFile(w, data)).find("LIST chunk is 2 bytes"), std::string::npos);
    w.after.clear();
    WavSpec junk = w;
    junk.between = {{"junk", "0123456789"}};
    const std::string whole = WavFile(junk, data);
    EXPECT_NE(cause("cutinjunk.wav", whole.substr(0, whole.find("junk") + 12)).find("ends inside its junk chunk"),
              std::string::npos);
    EXPECT_NE(cause("cutheader.wav", whole.substr(0, whole.find("data") + 5)).find("ends inside a chunk header"),
              std::string::npos);
    std::string noData = WavFile(w, data).substr(0, 36);
    WriteU32LE(reinterpret_cast<uint8_t*>(noData.data()) + 4, 28);
    EXPECT_NE(cause("nodata.wav", noData).find("no data chunk"), std::string::npos);

    // What the parser reads well goes on to it: a long LIST, a data chunk
    // that runs past the end, anything that is not RIFF.
    WavSpec fine = w;
    fine.between = {{"LIST", "INFOabcd"}};
    const QString ok = dir.filePath("fine.wav");
    ASSERT_TRUE(Write(ok, WavFile(fine, data).substr(0, 300)));
    EXPECT_EQ(WavParserHazard(ok), QString());
    const QString text = dir.filePath("text.wav");
    ASSERT_TRUE(Write(text, "not a RIFF file at all"));
    EXPECT_EQ(WavParserHazard(text), QString());
}

} // namespace kx
