#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gst/gst.h>

#include "BuildTestSupport.h"
#include "mediagraph/GstPtr.h"
#include "peaks/BuildGraph.h"
#include "peaks/PeakFormat.h"
#include "platform/LittleEndian.h"

namespace kx {

namespace {

class BuildGraphMedia : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        builder.SetTempFolder(dir.path());
        builder.SetSaveToPeakFiles(true);
        events.Attach(builder);
    }
    QString Path(const QString& name) const { return dir.filePath(name); }

    // Decodes a file on its own (no peak filter) to signed 16-bit samples.
    std::vector<int16_t> Decode(const QString& file, const QString& decoder = QStringLiteral("decodebin"))
    {
        const QString wav = file + ".decoded.wav";
        EXPECT_TRUE(TestMedia::RunPipeline(QStringLiteral("filesrc location=\"%1\" ! %2 ! audioconvert dithering=0 noise-shaping=0 "
                                                          "! audio/x-raw,format=S16LE ! wavenc ! filesink location=\"%3\"")
                                               .arg(file, decoder, wav)));
        QFile f(wav);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        std::vector<uint8_t> bytes(b.begin(), b.end());
        // wavenc writes the data chunk after a 44-byte header and may add tags after it.
        if (bytes.size() < 44)
            return {};
        const size_t size = std::min<size_t>(ReadU32LE(&bytes[40]), bytes.size() - 44);
        return AsS16(std::vector<uint8_t>(bytes.begin() + 44, bytes.begin() + 44 + std::ptrdiff_t(size)), 16);
    }
    std::vector<uint8_t> Stream(int index)
    {
        TMemoryStream* s = nullptr;
        EXPECT_TRUE(builder.GetStreamByIndex(index, s));
        return s ? std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()) : std::vector<uint8_t>{};
    }

    QTemporaryDir dir;
    TKXPeakBuilder builder;
    BuildEvents events;
};

} // namespace

TEST_F(BuildGraphMedia, compressedAudioMatchesAnIndependentDecode)
{
    builder.SetOutputSamplesPerSecond(sps44100);
    builder.SetSamplesPerPeak(441);
    struct Case { const char* name; const char* decoder; };
    const Case cases[] = {{"flac.flac", "decodebin"}, {"mp3.mp3", "mpegaudioparse ! mpg123audiodec"}, {"ogg.ogg", "decodebin"}};
    QStringList files;
    for (const Case& c : cases) {
        files << Path(c.name);
        ASSERT_TRUE(TestMedia::EncodeTone(files.back(), 2.0)) << c.name;
    }
    ASSERT_TRUE(builder.AppendFilenames(files));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder, 60000));
    ASSERT_EQ(events.completed.size(), 3u) << events.reasons.join("; ").toStdString();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(cases[i].name);
        const auto stream = Stream(i);
        ASSERT_GT(stream.size(), size_t(PeakHeaderSize));
        const auto header = DecodePeakHeader(stream);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->SamplesPerSecond, 44100u);
        EXPECT_EQ(CheckPeakData(stream, stream.size(), PeakReader::ViewerStream), PeakCheck::Accepted);
        const auto expected = ReferenceRecords(Decode(files[i], cases[i].decoder), 2, 441);
        const std::vector<uint8_t> records(stream.begin() + PeakHeaderSize, stream.end());
        ASSERT_EQ(records.size(), expected.size());
        size_t differ = 0;
        while (differ < records.size() && records[differ] == expected[differ])
            ++differ;
        EXPECT_EQ(differ, records.size()) << "first difference in record " << differ / 8;
        QFile f(ChangeFileExt(files[i], ".pek"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray onDisk = f.readAll();
        EXPECT_EQ(std::vector<uint8_t>(onDisk.begin(), onDisk.end()), stream);
    }
}

TEST_F(BuildGraphMedia, containersWithVideoGiveTheirAudio)
{
    const QStringList files = {Path("mpg.mpg"), Path("avi.avi")};
    ASSERT_TRUE(TestMedia::EncodeTone(files[0], 2.0));
    ASSERT_TRUE(TestMedia::EncodeTone(files[1], 2.0));
    ASSERT_TRUE(builder.AppendFilenames(files));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder, 60000));
    EXPECT_TRUE(events.failed.empty()) << events.reasons.join("; ").toStdString();
    ASSERT_EQ(events.completed.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const auto stream = Stream(i);
        const auto header = DecodePeakHeader(stream);
        ASSERT_TRUE(header);
        // Records at 48000 Hz for what an independent decode of the 44100 Hz audio holds.
        const int64_t frames = int64_t(Decode(files[i]).size() / 2);
        ASSERT_GT(frames, 44100);
        const int64_t records = PeakRecordCount(*header, stream.size());
        EXPECT_EQ(records, (frames * 48000 + 44100 * 100 - 1) / (44100 * 100));
        // A tone at half volume: the middle records swing well away from mid-scale.
        const uint8_t* mid = stream.data() + PeakHeaderSize + (records / 2) * 8;
        EXPECT_GT(ReadU16LE(mid), 32768 + 8000);
        EXPECT_LT(ReadU16LE(mid + 2), 32768 - 8000);
    }
}

TEST_F(BuildGraphMedia, filesThatCannotBeDecodedFailAtOnce)
{
    const QString video = Path("video.avi"), text = Path("text.wav"), empty = Path("empty.wav"), gone = Path("gone.wav");
    ASSERT_TRUE(TestMedia::EncodeVideoOnly(video, 1.0));
    ASSERT_TRUE(TestMedia::WriteFile(text, std::vector<uint8_t>(5000, 'x')));
    ASSERT_TRUE(TestMedia::WriteFile(empty, {}));
    ASSERT_TRUE(builder.AppendFilenames({video, text, empty, gone}));
    EXPECT_FALSE(builder.StartBuild());
    EXPECT_EQ(events.failed, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(events.completed.empty());
    EXPECT_NE(builder.BuildState(), bsBuilding);
    EXPECT_EQ(builder.FilledStreamCount(), 0);
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.pek", "*.partial"}).isEmpty());
    // The manager is left empty for the next build.
    ASSERT_NE(builder.GraphManager(), nullptr);
    EXPECT_EQ(GST_BIN_NUMCHILDREN(GST_BIN(builder.GraphManager())), 0);
}

TEST_F(BuildGraphMedia, truncatedFilesEndWithAnEventAndAValidResult)
{
    const QString mp3 = Path("cut1.mp3"), wav = Path("cut2.wav");
    ASSERT_TRUE(TestMedia::EncodeTone(mp3, 3.0));
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100 * 3}, TestMedia::Sine(440, 0.5, 44100)));
    for (const QString& f : {mp3, wav}) {
        QFile file(f);
        ASSERT_TRUE(file.resize(file.size() / 2 + 3));
    }
    ASSERT_TRUE(builder.AppendFilenames({mp3, wav}));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(WaitUntilIdle(builder, 60000));
    EXPECT_EQ(events.completed.size() + events.failed.size(), 2u);
    for (int i : events.completed) {
        const auto stream = Stream(i);
        EXPECT_EQ(CheckPeakData(stream, stream.size(), PeakReader::Builder), PeakCheck::Accepted);
        std::vector<uint8_t> file;
        EXPECT_EQ(ReadPeakFile(ChangeFileExt(builder.Files()[i], ".pek"), PeakReader::Builder, file), PeakCheck::Accepted);
        EXPECT_EQ(file, stream);
    }
    for (int i : events.failed)
        EXPECT_FALSE(QFileInfo::exists(ChangeFileExt(builder.Files()[i], ".pek")));
}

TEST_F(BuildGraphMedia, graphHoldsNamedFiltersRunsWithoutClockAndIsTornDown)
{
    const QString wav = Path("a.wav");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100 * 5}, TestMedia::Sine(440, 0.5, 44100)));
    builder.SetDirectReduction(false);
    ASSERT_TRUE(builder.AppendFilename(wav));
    auto hold = std::make_unique<ScopedFilterHold>(2);
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(builder.PauseBuild());
    GstBin* manager = GST_BIN(builder.GraphManager());
    for (const char* name : {"Source", "Pre Filter"}) {
        GstElementPtr e(gst_bin_get_by_name(manager, name));
        EXPECT_TRUE(e) << name;
    }
    EXPECT_FALSE(GstElementPtr(gst_bin_get_by_name(manager, "Demux")));
    ASSERT_NE(builder.CurrentGraph(), nullptr);
    EXPECT_EQ(builder.CurrentGraph()->Subtype(), MediaSubtype::Other);
    EXPECT_FALSE(builder.CurrentGraph()->Choice().success);
    EXPECT_EQ(GST_ELEMENT_CLOCK(builder.GraphManager()), nullptr);
    ASSERT_TRUE(builder.StopBuild());
    hold.reset();
    ASSERT_TRUE(builder.StartBuild()) << events.reasons.join("\n").toStdString();
    ASSERT_TRUE(WaitUntilIdle(builder));
    EXPECT_EQ(events.completed, std::vector<int>{0});
    EXPECT_EQ(builder.CurrentGraph(), nullptr);
    EXPECT_EQ(GST_BIN_NUMCHILDREN(manager), 0);
}

TEST(BuildGraphTypes, typeFindingNamesContainers)
{
    QTemporaryDir dir;
    const QString avi = dir.filePath("a.avi"), mpg = dir.filePath("a.mpg"), wav = dir.filePath("a.wav");
    ASSERT_TRUE(TestMedia::EncodeTone(avi, 0.5));
    ASSERT_TRUE(TestMedia::EncodeTone(mpg, 0.5));
    ASSERT_TRUE(TestMedia::WriteWav(wav, {8000, 1, 16, 800}, TestMedia::Sine(440, 0.5, 8000)));
    EXPECT_EQ(FindSubtype(avi), MediaSubtype::Avi);
    EXPECT_EQ(FindSubtype(mpg), MediaSubtype::Mpeg2Program);
    EXPECT_EQ(FindSubtype(wav), MediaSubtype::Other);
    EXPECT_EQ(FindSubtype(dir.filePath("none")), MediaSubtype::Other);
}

} // namespace kx
