// peaktool export, import and build --format on media made by the test,
// checked against a reduction of the audio decoded here.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>

#include "peaks/PeakFormat.h"
#include "peaks/WaveformData.h"
#include "tests/support/TestMedia.h"

#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Peaktool(const QStringList& args)
{
    return RunTool(QStringLiteral(PEAKTOOL), args);
}

TWaveformData ReadWaveform(const QString& path)
{
    QString error;
    const auto d = DecodeWaveform(ReadFileBytes(path), error);
    EXPECT_TRUE(d) << path.toStdString() << ": " << error.toStdString();
    return d.value_or(TWaveformData{});
}

// The media decoded by GStreamer on its own to interleaved 16-bit samples.
std::vector<int16_t> Decode(const QString& media, int channels)
{
    const QString raw = media + ".raw";
    if (!TestMedia::RunPipeline(QStringLiteral("filesrc location=\"%1\" ! decodebin ! audioconvert ! "
                                               "audio/x-raw,format=S16LE,channels=%2 ! filesink location=\"%3\"")
                                    .arg(media)
                                    .arg(channels)
                                    .arg(raw)))
        return {};
    const auto bytes = ReadFileBytes(raw);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return pcm;
}

// Minimum and maximum of every run of frames per channel, a short last run included.
std::vector<int16_t> Reduce(const std::vector<int16_t>& pcm, int channels, int frames, int shift = 0)
{
    std::vector<int16_t> out;
    const size_t total = pcm.size() / size_t(channels);
    for (size_t first = 0; first < total; first += size_t(frames)) {
        for (int c = 0; c < channels; ++c) {
            int lo = INT16_MAX, hi = INT16_MIN;
            for (size_t f = first; f < std::min(total, first + size_t(frames)); ++f) {
                lo = std::min<int>(lo, pcm[f * size_t(channels) + size_t(c)]);
                hi = std::max<int>(hi, pcm[f * size_t(channels) + size_t(c)]);
            }
            out.push_back(int16_t(lo >> shift));
            out.push_back(int16_t(hi >> shift));
        }
    }
    return out;
}

// Left: a swelling 330 Hz sine; right: a quieter 1 kHz one with a click.
double Signal(int64_t frame, int channel)
{
    const double t = double(frame) / 44100;
    if (channel == 0)
        return 0.9 * t * std::sin(2 * M_PI * 330 * t);
    return frame == 20000 ? -1.0 : 0.3 * std::sin(2 * M_PI * 1000 * t);
}

class PeakToolWaveform : public ::testing::Test
{
protected:
    // A FLAC file of `frames` frames of the signal above.
    QString MakeFlac(const QString& name, int64_t frames)
    {
        const QString wav = dir.filePath(name + ".wav");
        const QString flac = dir.filePath(name + ".flac");
        EXPECT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, frames}, Signal));
        EXPECT_TRUE(TestMedia::EncodeWav(wav, QStringLiteral("flacenc"), flac));
        QFile::remove(wav);
        return flac;
    }
    // Builds the peak file of media at 44100 Hz; gives its name.
    QString Build(const QString& media, const QStringList& extra = {})
    {
        const ToolRun r = Peaktool(QStringList{"build", "--no-progress", "--rate", "44100", "--samples-per-peak", "100"} +
                               extra + QStringList{media});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        const QFileInfo info(media);
        return info.dir().filePath(info.completeBaseName() + ".pek");
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(PeakToolWaveform, exportMatchesAnIndependentReductionOfTheDecodedAudio)
{
    const QString flac = MakeFlac("song", 44100 + 1234);
    const auto pcm = Decode(flac, 2);
    ASSERT_EQ(pcm.size(), size_t(44100 + 1234) * 2);
    const QString pek = Build(flac);

    ToolRun r = Peaktool({"export", pek, "--format", "dat"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    TWaveformData d = ReadWaveform(dir.filePath("song.dat"));
    EXPECT_EQ(d.Version, 2);
    EXPECT_EQ(d.Bits, 16);
    EXPECT_EQ(d.Channels, 2);
    EXPECT_EQ(d.SampleRate, 44100);
    EXPECT_EQ(d.SamplesPerPixel, 100);
    EXPECT_EQ(d.Values, Reduce(pcm, 2, 100));

    // Coarser pixels hold the extremes of all the audio they cover: the
    // one-sample click stays.
    const QString coarse = dir.filePath("coarse.json");
    r = Peaktool({"export", pek, "--format", "json", "--samples-per-pixel", "2000", "-o", coarse});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    d = ReadWaveform(coarse);
    EXPECT_EQ(d.SamplesPerPixel, 2000);
    EXPECT_EQ(d.Values, Reduce(pcm, 2, 2000));
    EXPECT_EQ(d.Values[2 * 2 * 10 + 2], -32767);  // pixel 10 holds frame 20000

    // A span at 8 bits: pixels 110 to 220 of the full resolution.
    r = Peaktool({"export", pek, "--format", "dat", "--bits", "8", "--start", "0.25", "--end", "0.5", "-o",
                  dir.filePath("span.dat")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    d = ReadWaveform(dir.filePath("span.dat"));
    EXPECT_EQ(d.Bits, 8);
    const auto all8 = Reduce(pcm, 2, 100, 8);
    EXPECT_EQ(d.Values, std::vector<int16_t>(all8.begin() + 110 * 4, all8.begin() + 221 * 4));
}

TEST_F(PeakToolWaveform, buildWritesWaveformDataStraightFromMedia)
{
    const QString flac = MakeFlac("take", 30000);
    const auto pcm = Decode(flac, 2);
    ToolRun r = Peaktool({"build", "--no-progress", "--rate", "44100", "--samples-per-peak", "100", "--bits", "8",
                      "--format", "dat", flac});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.bytes), QStringLiteral("built\t%1\t%2\n").arg(flac, dir.filePath("take.dat")));
    EXPECT_FALSE(QFile::exists(dir.filePath("take.pek")));
    TWaveformData d = ReadWaveform(dir.filePath("take.dat"));
    EXPECT_EQ(d.Bits, 8);
    EXPECT_EQ(d.Values, Reduce(pcm, 2, 100, 8));

    // Version 1 is built as mono by the builder itself.
    r = Peaktool({"build", "--no-progress", "--rate", "44100", "--samples-per-peak", "300", "--format", "json",
                  "--version", "1", flac});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    d = ReadWaveform(dir.filePath("take.json"));
    EXPECT_EQ(d.Version, 1);
    EXPECT_EQ(d.Channels, 1);
    EXPECT_EQ(d.SamplesPerPixel, 300);
    EXPECT_EQ(d.Length(), (30000u + 299) / 300);
}

TEST_F(PeakToolWaveform, importGivesBackTheBuiltPeakFile)
{
    // Whole records, so the decoded length survives the trip too.
    const QString flac = MakeFlac("whole", 44100);
    for (const QString bits : {"16", "8"}) {
        SCOPED_TRACE(bits.toStdString());
        const QString pek = Build(flac, {"--bits", bits});
        const auto original = ReadFileBytes(pek);
        ASSERT_GT(original.size(), size_t(PeakHeaderSize));
        for (const QString format : {"dat", "json"}) {
            const QString data = dir.filePath("whole." + format);
            const QString back = dir.filePath("back.pek");
            ASSERT_EQ(Peaktool({"export", pek, "--format", format, "-o", data}).code, 0);
            const ToolRun r = Peaktool({"import", data, "-o", back});
            ASSERT_EQ(r.code, 0) << r.err.toStdString();
            EXPECT_EQ(ReadFileBytes(back), original) << format.toStdString();
        }
        QFile::remove(pek);
    }
}

TEST_F(PeakToolWaveform, refusesDataAndOptionsThatDoNotFit)
{
    TWaveformData wide;
    wide.Channels = 3;
    wide.SampleRate = 44100;
    wide.SamplesPerPixel = 256;
    wide.Values.assign(6, 0);
    QFile f(dir.filePath("wide.dat"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const auto bytes = EncodeWaveformDat(wide);
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    f.close();
    ToolRun r = Peaktool({"import", dir.filePath("wide.dat"), "-o", dir.filePath("wide.pek")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("3 channels")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("wide.pek")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), 30));
    f.close();
    r = Peaktool({"import", dir.filePath("wide.dat"), "-o", dir.filePath("wide.pek")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("ends before")) << r.err.toStdString();
    EXPECT_EQ(Peaktool({"import", dir.filePath("wide.dat")}).code, 2);

    const QString pek = Build(MakeFlac("short", 4410));  // 0.1 s
    r = Peaktool({"export", pek, "--format", "dat", "-o", "-"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(std::vector<uint8_t>(r.bytes.begin(), r.bytes.end()),
              ExportWaveform(ReadFileBytes(pek), TWaveformExport{}, r.err).value_or(std::vector<uint8_t>{}));
    r = Peaktool({"export", pek, "--format", "dat", "--samples-per-pixel", "150", "-o", "-"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("multiple")) << r.err.toStdString();
    r = Peaktool({"export", pek, "--format", "dat", "--start", "5", "-o", "-"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("past the end")) << r.err.toStdString();
    EXPECT_EQ(Peaktool({"export", pek}).code, 2);  // no format
    EXPECT_EQ(Peaktool({"export", pek, "--format", "xml"}).code, 2);
    EXPECT_EQ(Peaktool({"export", pek, "--format", "dat", "--start", "1", "--end", "0.5"}).code, 2);
    EXPECT_EQ(Peaktool({"export", pek, "--format", "dat", "--version", "3"}).code, 2);
    EXPECT_EQ(Peaktool({"export", dir.filePath("missing.pek"), "--format", "dat"}).code, 1);
}

} // namespace kx
