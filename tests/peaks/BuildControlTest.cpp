#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "BuildTestSupport.h"
#include "peaks/PeakFormat.h"

namespace {

class BuildControl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        builder.SetTempFolder(dir.path());
        events.Attach(builder);
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Wav(const QString& name, const TestMedia::WavSpec& spec, double freq = 440)
    {
        const QString p = Path(name);
        EXPECT_TRUE(TestMedia::WriteWav(p, spec, TestMedia::Sine(freq, 0.8, spec.rate)));
        return p;
    }
    std::vector<uint8_t> Stream(int index)
    {
        TMemoryStream* s = nullptr;
        EXPECT_TRUE(builder.GetStreamByIndex(index, s));
        return s ? std::vector<uint8_t>(s->Bytes().begin(), s->Bytes().end()) : std::vector<uint8_t>{};
    }
    static std::vector<uint8_t> FileBytes(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray b = f.readAll();
        return std::vector<uint8_t>(b.begin(), b.end());
    }

    QTemporaryDir dir;
    TKXPeakBuilder builder;
    BuildEvents events;
};

} // namespace

TEST_F(BuildControl, singleWavMatchesAnIndependentMinMax)
{
    for (const auto& [rate, channels, bits, sps] :
         std::vector<std::tuple<uint32_t, uint16_t, uint16_t, TSPS>>{{44100, 2, 16, sps44100}, {8000, 1, 8, sps8000},
                                                                     {48000, 1, 16, sps48000}, {22050, 2, 8, sps22050}}) {
        SCOPED_TRACE(rate);
        TKXPeakBuilder b;
        BuildEvents ev;
        ev.Attach(b);
        b.SetSaveToPeakFiles(true);
        b.SetSamplesPerPeak(64);
        b.SetOutputSamplesPerSecond(sps);
        b.SetOutputChannels(channels == 1 ? chMono : chStereo);
        TestMedia::WavSpec spec{rate, channels, bits, int64_t(rate) * 3 / 2 + 17};
        const auto signal = TestMedia::Sine(rate / 97.0, 0.8, rate);
        const QString wav = Path(QStringLiteral("s%1.wav").arg(rate));
        ASSERT_TRUE(TestMedia::WriteWav(wav, spec, signal));
        ASSERT_TRUE(b.AppendFilename(wav));
        ASSERT_TRUE(b.StartBuild());
        ASSERT_TRUE(WaitUntilIdle(b));
        ASSERT_EQ(ev.completed, std::vector<int>{0});
        EXPECT_EQ(b.BuildState(), bsStopped);

        TMemoryStream* s = nullptr;
        ASSERT_TRUE(b.GetStreamByIndex(0, s));
        const std::vector<uint8_t> stream(s->Bytes().begin(), s->Bytes().end());
        const QString peakFile = ChangeFileExt(wav, ".pek");
        EXPECT_EQ(stream, FileBytes(peakFile));
        EXPECT_FALSE(QFileInfo::exists(peakFile + ".partial"));

        const auto header = DecodePeakHeader(stream);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->Channels, channels);
        EXPECT_EQ(header->SamplesPerSecond, rate);
        EXPECT_EQ(header->BytesPerPeak, 4);
        EXPECT_EQ(header->SamplesPerPeak, 64);
        EXPECT_EQ(header->PcmByteCount, ComputePcmByteCount(rate, channels, 16, b.Duration()));
        const auto expected = ReferenceRecords(AsS16(TestMedia::Pcm(spec, signal), bits), channels, 64);
        EXPECT_EQ(std::vector<uint8_t>(stream.begin() + PeakHeaderSize, stream.end()), expected);
    }
}
