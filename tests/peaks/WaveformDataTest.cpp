#include <gtest/gtest.h>

#include "peaks/PeakFormat.h"
#include "peaks/WaveformData.h"
#include "platform/LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>

using namespace kx;

namespace {

std::vector<uint8_t> Bytes(const std::string& s)
{
    return {s.begin(), s.end()};
}

// Peak data with the given unsigned values, record after record.
std::vector<uint8_t> Peaks(uint8_t bytesPerPeak, uint8_t channels, uint32_t rate, uint16_t samplesPerPeak,
                           const std::vector<int>& values, uint32_t pcmByteCount = 0)
{
    TPeakHeader h;
    h.BytesPerPeak = bytesPerPeak;
    h.Channels = channels;
    h.SamplesPerSecond = rate;
    h.SamplesPerPeak = samplesPerPeak;
    h.PcmByteCount = pcmByteCount;
    std::vector<uint8_t> out(PeakHeaderSize);
    EncodePeakHeader(h, out.data());
    for (int v : values) {
        if (bytesPerPeak == 2) {
            out.push_back(uint8_t(v));
        } else {
            out.push_back(uint8_t(v & 0xff));
            out.push_back(uint8_t(v >> 8));
        }
    }
    return out;
}

TWaveformData Data(int bits, int channels, int32_t rate, int32_t spp, std::vector<int16_t> values)
{
    TWaveformData d;
    d.Bits = bits;
    d.Channels = channels;
    d.SampleRate = rate;
    d.SamplesPerPixel = spp;
    d.Values = std::move(values);
    return d;
}

TWaveformData Decoded(const std::vector<uint8_t>& bytes)
{
    QString error;
    auto d = DecodeWaveform(bytes, error);
    EXPECT_TRUE(d) << error.toStdString();
    return d.value_or(TWaveformData{});
}

QString Refusal(const std::vector<uint8_t>& bytes)
{
    QString error;
    EXPECT_FALSE(DecodeWaveform(bytes, error));
    EXPECT_FALSE(error.isEmpty());
    return error;
}

} // namespace

TEST(WaveformFromPeaks, givesSignedMinimumThenMaximumWhateverTheStoredOrder)
{
    // 16-bit stereo: first record stores (max, min), the second (min, max).
    const auto pek = Peaks(4, 2, 44100, 100, {40000, 30000, 32768, 0, 100, 65535, 32767, 32769});
    QString error;
    const auto d = WaveformFromPeaks(pek, error);
    ASSERT_TRUE(d) << error.toStdString();
    EXPECT_EQ(d->Bits, 16);
    EXPECT_EQ(d->Channels, 2);
    EXPECT_EQ(d->SampleRate, 44100);
    EXPECT_EQ(d->SamplesPerPixel, 100);
    EXPECT_EQ(d->Length(), 2u);
    EXPECT_EQ(d->Values, (std::vector<int16_t>{-2768, 7232, -32768, 0, -32668, 32767, -1, 1}));

    const auto mono8 = WaveformFromPeaks(Peaks(2, 1, 8000, 7, {200, 10, 128, 128, 0, 255}), error);
    ASSERT_TRUE(mono8);
    EXPECT_EQ(mono8->Bits, 8);
    EXPECT_EQ(mono8->Values, (std::vector<int16_t>{-118, 72, 0, 0, -128, 127}));
}

TEST(WaveformFromPeaks, refusesDataWithoutValues)
{
    QString error;
    EXPECT_FALSE(WaveformFromPeaks(Bytes("PEAK"), error));
    EXPECT_FALSE(WaveformFromPeaks(Peaks(1, 1, 44100, 100, {1, 2}), error));  // no room for a pair
    EXPECT_FALSE(WaveformFromPeaks(Peaks(4, 1, 44100, 0, {1, 2}), error));
    EXPECT_FALSE(WaveformFromPeaks(Peaks(4, 3, 44100, 100, {1, 2}), error));
    EXPECT_FALSE(WaveformFromPeaks(Peaks(4, 1, 7999, 100, {1, 2}), error));
    // A header alone is a track without samples: no pixels.
    const auto empty = WaveformFromPeaks(Peaks(4, 2, 44100, 100, {}), error);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Length(), 0u);
}

TEST(WaveformDat, writesTheHeaderAndValuesByteForByte)
{
    const auto d16 = Data(16, 2, 44100, 256, {-1, 2, -300, 400});
    EXPECT_EQ(EncodeWaveformDat(d16), (std::vector<uint8_t>{2, 0, 0, 0,  0, 0, 0, 0,  0x44, 0xac, 0, 0,  0, 1, 0, 0,
                                                             1, 0, 0, 0,  2, 0, 0, 0,
                                                             0xff, 0xff, 2, 0, 0xd4, 0xfe, 0x90, 0x01}));
    auto d8 = Data(8, 1, 8000, 64, {-128, 127, -1, 0});
    d8.Version = 1;
    EXPECT_EQ(EncodeWaveformDat(d8), (std::vector<uint8_t>{1, 0, 0, 0,  1, 0, 0, 0,  0x40, 0x1f, 0, 0,  64, 0, 0, 0,
                                                            2, 0, 0, 0,  0x80, 0x7f, 0xff, 0}));
}

TEST(WaveformJson, writesOneObjectWithTheValuesInFileOrder)
{
    auto d = Data(8, 2, 48000, 512, {-3, 4, -128, 127});
    EXPECT_EQ(EncodeWaveformJson(d), "{\"version\":2,\"channels\":2,\"sample_rate\":48000,\"samples_per_pixel\":512,"
                                     "\"bits\":8,\"length\":1,\"data\":[-3,4,-128,127]}\n");
    d.Version = 1;  // one channel: the mix
    EXPECT_EQ(EncodeWaveformJson(d), "{\"version\":1,\"sample_rate\":48000,\"samples_per_pixel\":512,"
                                     "\"bits\":8,\"length\":1,\"data\":[-66,66]}\n");
}

TEST(WaveformDecode, readsBothFormsBack)
{
    for (int bits : {8, 16}) {
        auto d = Data(bits, 2, 22050, 100, {-5, 5, -100, 90, 0, 1, -128, 127});
        EXPECT_EQ(Decoded(EncodeWaveformDat(d)), d);
        EXPECT_EQ(Decoded(Bytes(EncodeWaveformJson(d))), d);
        auto mono = MixWaveformToMono(d);
        mono.Version = 1;
        EXPECT_EQ(Decoded(EncodeWaveformDat(mono)), mono);
        EXPECT_EQ(Decoded(Bytes(EncodeWaveformJson(mono))), mono);
    }
    // Files of other writers may leave out "version" and "channels".
    const auto plain = Decoded(Bytes(" {\"sample_rate\":8000,\"samples_per_pixel\":1,\"bits\":16,\"length\":1,"
                                     "\"data\":[-32768,32767]}"));
    EXPECT_EQ(plain.Channels, 1);
    EXPECT_EQ(plain.Values, (std::vector<int16_t>{-32768, 32767}));
}

TEST(WaveformDecode, refusesDamagedDataAndSaysWhy)
{
    const auto good = EncodeWaveformDat(Data(16, 2, 44100, 256, {-1, 2, -300, 400}));
    auto bytes = good;
    bytes.pop_back();
    EXPECT_TRUE(Refusal(bytes).contains("ends before"));
    bytes = good;
    bytes.push_back(0);
    EXPECT_TRUE(Refusal(bytes).contains("follow"));
    bytes = good;
    bytes[0] = 3;
    EXPECT_TRUE(Refusal(bytes).contains("version"));
    bytes = good;
    bytes[4] = 2;
    EXPECT_TRUE(Refusal(bytes).contains("flags"));
    bytes = good;
    bytes[20] = 0;
    EXPECT_TRUE(Refusal(bytes).contains("channel"));
    bytes = good;
    WriteU32LE(bytes.data() + 12, 0);
    EXPECT_TRUE(Refusal(bytes).contains("samples per pixel"));
    bytes = good;
    WriteU32LE(bytes.data() + 16, 0xffffffffu);  // a length no file can hold
    EXPECT_FALSE(Refusal(bytes).isEmpty());
    EXPECT_TRUE(Refusal(std::vector<uint8_t>(good.begin(), good.begin() + 10)).contains("shorter"));
    EXPECT_TRUE(Refusal({}).contains("empty"));

    const std::string head = "{\"version\":2,\"channels\":1,\"sample_rate\":8000,\"samples_per_pixel\":4,";
    EXPECT_TRUE(Refusal(Bytes(head + "\"bits\":12,\"length\":1,\"data\":[0,0]}")).contains("bits"));
    EXPECT_TRUE(Refusal(Bytes(head + "\"bits\":8,\"length\":2,\"data\":[0,0]}")).contains("holds 2 values"));
    EXPECT_TRUE(Refusal(Bytes(head + "\"bits\":8,\"length\":1,\"data\":[0,128]}")).contains("-128..127"));
    EXPECT_TRUE(Refusal(Bytes(head + "\"bits\":8,\"length\":1,\"data\":[0,1.5]}")).contains("whole number"));
    EXPECT_TRUE(Refusal(Bytes(head + "\"bits\":8,\"length\":1,\"data\":[0,\"1\"]}")).contains("whole number"));
    EXPECT_TRUE(Refusal(Bytes(head + "\"length\":1,\"data\":[0,0]}")).contains("\"bits\""));
    EXPECT_TRUE(Refusal(Bytes(head + "\"bits\":8,\"length\":-1,\"data\":[]}")).contains("negative"));
    EXPECT_TRUE(Refusal(Bytes("{\"version\":1,\"channels\":2,\"sample_rate\":8000,\"samples_per_pixel\":4,"
                              "\"bits\":8,\"length\":0,\"data\":[]}"))
                    .contains("one channel"));
    EXPECT_TRUE(Refusal(Bytes("{\"data\":")).contains("not JSON"));
    EXPECT_TRUE(Refusal(Bytes("{}")).contains("sample_rate"));
}

TEST(WaveformDecode, survivesEveryTruncationAndDamagedByte)
{
    const auto d = Data(16, 2, 44100, 256, {-1, 2, -300, 400, -5, 5, 0, 0});
    std::string json = EncodeWaveformJson(d);
    json.pop_back();  // the closing newline: without it any cut damages the text
    for (const auto& good : {EncodeWaveformDat(d), Bytes(json)}) {
        QString error;
        for (size_t n = 0; n < good.size(); ++n)
            EXPECT_FALSE(DecodeWaveform(std::span(good.data(), n), error)) << n;
        for (size_t at = 0; at < good.size(); ++at) {
            for (uint8_t v : {uint8_t(0), uint8_t(0x7f), uint8_t(0x80), uint8_t(0xff), uint8_t('9'), uint8_t(']')}) {
                auto bad = good;
                bad[at] = v;
                // Either refused with a reason or read as consistent data.
                error.clear();
                const auto r = DecodeWaveform(bad, error);
                if (r)
                    EXPECT_EQ(r->Values.size(), size_t(r->Length()) * size_t(r->Channels) * 2);
                else
                    EXPECT_FALSE(error.isEmpty());
            }
        }
    }
}

TEST(WaveformReduce, takesTheExtremesOfEachRunIncludingAShortLastOne)
{
    // Stereo, 5 pixels at 10 samples per pixel.
    const auto d = Data(16, 2, 8000, 10,
                        {-1, 1, -9, 9,  -5, 3, 0, 0,  -2, 8, -1, 1,  -7, -6, 2, 3,  -4, 4, -8, 8});
    QString error;
    const auto r = ReduceWaveform(d, 20, error);
    ASSERT_TRUE(r) << error.toStdString();
    EXPECT_EQ(r->SamplesPerPixel, 20);
    EXPECT_EQ(r->Values, (std::vector<int16_t>{-5, 3, -9, 9,  -7, 8, -1, 3,  -4, 4, -8, 8}));
    const auto whole = ReduceWaveform(d, 1000, error);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->Values, (std::vector<int16_t>{-7, 8, -9, 9}));
    EXPECT_EQ(ReduceWaveform(d, 10, error)->Values, d.Values);
    EXPECT_FALSE(ReduceWaveform(d, 15, error));
    EXPECT_TRUE(error.contains("multiple"));
    EXPECT_FALSE(ReduceWaveform(d, 0, error));
    EXPECT_FALSE(ReduceWaveform(d, -20, error));
}

TEST(WaveformCut, keepsThePixelsThatCoverTheSpan)
{
    // 10 mono pixels of 0.1 s each (800 samples per pixel at 8000 Hz).
    std::vector<int16_t> values;
    for (int16_t i = 0; i < 10; ++i) {
        values.push_back(int16_t(-i));
        values.push_back(i);
    }
    const auto d = Data(16, 1, 8000, 800, values);
    QString error;
    auto c = CutWaveform(d, 0.25, 0.5, error);  // pixels 2, 3, 4
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_EQ(c->Values, (std::vector<int16_t>{-2, 2, -3, 3, -4, 4}));
    c = CutWaveform(d, 0.3, 0.55, error);  // pixels 3, 4, 5
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Values, (std::vector<int16_t>{-3, 3, -4, 4, -5, 5}));
    c = CutWaveform(d, 0.95, -1, error);  // to the end
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Values, (std::vector<int16_t>{-9, 9}));
    c = CutWaveform(d, 0, 100, error);  // an end past the data keeps it all
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Values, d.Values);
    EXPECT_FALSE(CutWaveform(d, 1.0, -1, error));
    EXPECT_TRUE(error.contains("past the end"));
    EXPECT_FALSE(CutWaveform(d, 0.5, 0.5, error));
    EXPECT_FALSE(CutWaveform(d, -0.1, 0.5, error));
}

TEST(WaveformConvert, mixesToMonoAndChangesWidthLikeThePeakFilter)
{
    const auto stereo = Data(16, 2, 8000, 1, {-100, 101, -300, 300,  -3, 3, -4, 4});
    const auto mono = MixWaveformToMono(stereo);
    EXPECT_EQ(mono.Channels, 1);
    EXPECT_EQ(mono.Values, (std::vector<int16_t>{-200, 201, -4, 4}));  // floor of the mean minima, ceiling of the maxima

    const auto wide = Data(16, 1, 8000, 1, {-32768, 32767, -1, 0, -256, 255, -257, 256});
    const auto narrow = ConvertWaveformBits(wide, 8);
    EXPECT_EQ(narrow.Bits, 8);
    // The peak filter's 8-bit value is (v >> 8) + 128, so the signed value is v >> 8.
    EXPECT_EQ(narrow.Values, (std::vector<int16_t>{-128, 127, -1, 0, -1, 0, -2, 1}));
    EXPECT_EQ(ConvertWaveformBits(narrow, 16).Values,
              (std::vector<int16_t>{-32768, 32512, -256, 0, -256, 0, -512, 256}));
}

TEST(PeaksFromWaveform, roundTripsBuiltPeakDataByteForByte)
{
    // As the peak filter writes: maximum first, decoded length of whole records.
    for (const auto& [bpp, channels] : {std::pair{4, 2}, std::pair{4, 1}, std::pair{2, 2}, std::pair{2, 1}}) {
        const int count = 3 * channels * 2;
        std::vector<int> values;
        for (int i = 0; i < count; i += 2) {
            values.push_back(bpp == 4 ? 33000 + i * 97 : 130 + i);
            values.push_back(bpp == 4 ? 30000 - i * 1000 : 120 - i);
        }
        const uint32_t pcm = 3 * 100 * uint32_t(channels) * uint32_t(bpp / 2);
        const auto pek = Peaks(uint8_t(bpp), uint8_t(channels), 44100, 100, values, pcm);
        QString error;
        const auto d = WaveformFromPeaks(pek, error);
        ASSERT_TRUE(d) << error.toStdString();
        const auto back = PeaksFromWaveform(Decoded(EncodeWaveformDat(*d)), error);
        ASSERT_TRUE(back) << error.toStdString();
        EXPECT_EQ(*back, pek) << bpp << " bytes per peak, " << channels << " channels";
        EXPECT_EQ(CheckPeakData(*back, back->size(), PeakReader::ViewerFile), PeakCheck::Accepted);
    }
}

TEST(PeaksFromWaveform, refusesDataThePeakFormatCannotHold)
{
    QString error;
    // The shortest data a viewer takes at 8 kHz, one sample a pixel: half a second.
    EXPECT_TRUE(PeaksFromWaveform(Data(8, 1, 8000, 1, std::vector<int16_t>(8000, 0)), error)) << error.toStdString();
    // Shorter, or none at all, would make a peak file no viewer reads.
    EXPECT_FALSE(PeaksFromWaveform(Data(8, 1, 8000, 1, {0, 0}), error));
    EXPECT_TRUE(error.contains("would be refused")) << error.toStdString();
    EXPECT_FALSE(PeaksFromWaveform(Data(8, 1, 8000, 1, {}), error));
    EXPECT_TRUE(error.contains("no pixels")) << error.toStdString();
    EXPECT_TRUE(PeaksFromWaveform(Data(8, 2, 48000, 65535, {0, 0, 0, 0}), error));
    EXPECT_FALSE(PeaksFromWaveform(Data(8, 1, 7999, 1, {0, 0}), error));
    EXPECT_TRUE(error.contains("8000..48000"));
    EXPECT_FALSE(PeaksFromWaveform(Data(8, 1, 48001, 1, {0, 0}), error));
    EXPECT_FALSE(PeaksFromWaveform(Data(8, 3, 44100, 1, {0, 0, 0, 0, 0, 0}), error));
    EXPECT_FALSE(PeaksFromWaveform(Data(8, 1, 44100, 65536, {0, 0}), error));
    EXPECT_TRUE(error.contains("65535"));
}

namespace {

// Streams bytes in to an importer and collects what it writes.
using StreamedImport = bool (*)(uint64_t, const ExportPeakReader&, const ExportWaveformWriter&, QString&);
std::optional<std::vector<uint8_t>> Streamed(StreamedImport import, std::span<const uint8_t> in, QString& error)
{
    std::vector<uint8_t> out;
    const bool ok = import(
        in.size(),
        [&in](uint64_t offset, uint8_t* buffer, size_t size) {
            if (offset > in.size() || size > in.size() - offset)
                return false;
            std::memcpy(buffer, in.data() + offset, size);
            return true;
        },
        [&out](std::span<const uint8_t> block) {
            out.insert(out.end(), block.begin(), block.end());
            return true;
        },
        error);
    return ok ? std::optional(out) : std::nullopt;
}

std::optional<std::vector<uint8_t>> ImportStreamed(const std::vector<uint8_t>& dat, QString& error)
{
    return Streamed(PeaksFromWaveformDatStreamed, dat, error);
}

} // namespace

TEST(PeaksFromWaveform, streamedImportOfBinaryDataGivesTheSameBytes)
{
    std::mt19937 rng(5);
    // Stereo 16-bit across several blocks of pairs, mono 8-bit in one, version 1 and 2.
    for (const auto& [bits, channels, pixels, version] :
         std::vector<std::tuple<int, int, int, int>>{{16, 2, 300001, 2}, {8, 1, 1000, 1}, {8, 2, 140000, 2}}) {
        SCOPED_TRACE(pixels);
        std::vector<int16_t> values(size_t(pixels) * size_t(channels) * 2);
        for (size_t i = 0; i < values.size(); i += 2) {
            const int a = int(rng() % 256) - 128, b = int(rng() % 256) - 128;
            const int scale = bits == 8 ? 1 : 200;
            values[i] = int16_t(std::min(a, b) * scale);
            values[i + 1] = int16_t(std::max(a, b) * scale);
        }
        TWaveformData d = Data(bits, channels, 44100, 256, values);
        d.Version = version;
        const auto dat = EncodeWaveformDat(d);
        QString error;
        const auto whole = PeaksFromWaveform(Decoded(dat), error);
        ASSERT_TRUE(whole) << error.toStdString();
        const auto streamed = ImportStreamed(dat, error);
        ASSERT_TRUE(streamed) << error.toStdString();
        EXPECT_EQ(*streamed, *whole);
    }
    // Damaged data is refused with the decoder's reason, and JSON is told apart.
    auto cut = EncodeWaveformDat(Data(16, 2, 44100, 256, {-1, 2, -300, 400}));
    cut.pop_back();
    QString error;
    EXPECT_FALSE(ImportStreamed(cut, error));
    EXPECT_TRUE(error.contains("ends before")) << error.toStdString();
    EXPECT_FALSE(ImportStreamed(EncodeWaveformDat(Data(16, 1, 7000, 256, {0, 0})), error));
    EXPECT_TRUE(error.contains("8000..48000")) << error.toStdString();
    EXPECT_TRUE(WaveformDataIsJson(Bytes(" {\"version\": 2}")));
    EXPECT_FALSE(WaveformDataIsJson(EncodeWaveformDat(Data(8, 1, 8000, 1, {0, 0}))));
}

std::optional<std::vector<uint8_t>> ImportJsonStreamed(const std::string& json, QString& error)
{
    return Streamed(PeaksFromWaveformJsonStreamed,
                    std::span(reinterpret_cast<const uint8_t*>(json.data()), json.size()), error);
}

std::optional<std::vector<uint8_t>> ImportJsonWhole(const std::string& json, QString& error)
{
    const auto d = DecodeWaveformJson(std::span(reinterpret_cast<const uint8_t*>(json.data()), json.size()), error);
    return d ? PeaksFromWaveform(*d, error) : std::nullopt;
}

TEST(PeaksFromWaveform, streamedImportOfJsonGivesTheSameBytesAndRefusesWhatTheWholeDecoderRefuses)
{
    std::mt19937 rng(9);
    for (const auto& [bits, channels, pixels] :
         std::vector<std::tuple<int, int, int>>{{16, 2, 40000}, {8, 1, 9000}, {8, 2, 20000}}) {
        SCOPED_TRACE(pixels);
        std::vector<int16_t> values(size_t(pixels) * size_t(channels) * 2);
        for (size_t i = 0; i < values.size(); i += 2) {
            const int a = int(rng() % 256) - 128, b = int(rng() % 256) - 128;
            const int scale = bits == 8 ? 1 : 200;
            values[i] = int16_t(std::min(a, b) * scale);
            values[i + 1] = int16_t(std::max(a, b) * scale);
        }
        const std::string json = EncodeWaveformJson(Data(bits, channels, 44100, 256, values));
        QString error;
        const auto whole = ImportJsonWhole(json, error);
        ASSERT_TRUE(whole) << error.toStdString();
        const auto streamed = ImportJsonStreamed(json, error);
        ASSERT_TRUE(streamed) << error.toStdString();
        EXPECT_EQ(*streamed, *whole);
        // The same with a byte-order mark, and with "data" first among keys
        // and strings that look like keys and brackets around it.
        EXPECT_EQ(ImportJsonStreamed("\xEF\xBB\xBF" + json, error), whole) << error.toStdString();
        const size_t data = json.find("\"data\"");
        ASSERT_NE(data, std::string::npos);
        const size_t close = json.rfind(']');
        const std::string reordered = "{\"note\":\"\\\"data\\\":[1,2]\"," + json.substr(data, close + 1 - data) +
                                      "," + json.substr(1, data - 2) + ",\"extra\":{\"data\":[3]}}";
        EXPECT_EQ(ImportJsonWhole(reordered, error), whole) << error.toStdString();
        EXPECT_EQ(ImportJsonStreamed(reordered, error), whole) << error.toStdString();
    }
    // Damaged data: both refuse it, for the same kind of reason.
    const std::string head = "{\"version\":2,\"channels\":1,\"sample_rate\":8000,\"samples_per_pixel\":1,"
                             "\"bits\":8,\"length\":4000,\"data\":[";
    std::string good;
    for (int i = 0; i < 4000; ++i)
        good += i ? ",-1,1" : "-1,1";
    const struct {
        std::string json;
        const char* reason;
    } bad[] = {
        {head + good + ",5]}", "holds 8001 values"},
        {head + good.substr(0, good.size() - 2) + "]}", "holds 7999 values"},
        {head + "1.5," + good.substr(3) + "]}", "not a whole number"},
        {head + "300," + good.substr(3) + "]}", "not a whole number in -128..127"},
        {head + "\"x\"," + good.substr(3) + "]}", "(not a number)"},
        {head + "1e400," + good.substr(3) + "]}", "not a whole number"},
        {"{\"version\":2,\"channels\":1,\"sample_rate\":8000,\"samples_per_pixel\":1,\"bits\":8,\"length\":4000}",
         "\"data\" is missing"},
        {"[1, 2, 3]", "not a JSON object"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.reason);
        QString whole, streamed;
        EXPECT_FALSE(ImportJsonWhole(b.json, whole));
        EXPECT_FALSE(ImportJsonStreamed(b.json, streamed));
        EXPECT_TRUE(streamed.contains(QLatin1String(b.reason))) << streamed.toStdString();
    }
    QString error;
    ASSERT_TRUE(ImportJsonStreamed(head + good + "]}", error)) << error.toStdString();
}

TEST(WaveformExport, cutsReducesMixesAndNarrowsInThatOrder)
{
    // Stereo 16-bit, 4 records of 100 frames at 8000 Hz (12.5 ms each).
    const auto pek = Peaks(4, 2, 8000, 100,
                           {33000, 32000, 40000, 30000,  34000, 31000, 32768, 32768,
                            50000, 20000, 33024, 32512,  36000, 29000, 32768, 32768});
    TWaveformExport how;
    how.Format = WaveformFormat::Json;
    how.Version = 1;
    how.Bits = 8;
    how.SamplesPerPixel = 200;
    how.StartSeconds = 0.0125;  // from record 1
    QString error;
    const auto bytes = ExportWaveform(pek, how, error);
    ASSERT_TRUE(bytes) << error.toStdString();
    // Records 1-2 and 3 per pixel; channel extremes (min, max): pixel 0 left
    // (-12768, 17232), right (-256, 256); pixel 1 left (-3768, 3232), right
    // (0, 0). Mono: floor/ceil of the means, then the high byte.
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()),
              "{\"version\":1,\"sample_rate\":8000,\"samples_per_pixel\":200,\"bits\":8,\"length\":2,"
              "\"data\":[-26,34,-8,6]}\n");
    how.SamplesPerPixel = 150;
    EXPECT_FALSE(ExportWaveform(pek, how, error));
    how.SamplesPerPixel = 0;
    how.Version = 3;
    EXPECT_FALSE(ExportWaveform(pek, how, error));
}

TEST(WaveformExport, streamedExportMatchesTheWholeDataStepsAtAnySizeInBoundedMemory)
{
    // Records spanning several of the exporter's blocks, in both widths and
    // channel counts, with runs that straddle block ends.
    std::mt19937 rng(11);
    for (const auto& [bpp, channels] : {std::pair{4, 2}, std::pair{2, 1}, std::pair{2, 2}, std::pair{4, 1}}) {
        const int records = 150001;
        std::vector<int> values(size_t(records) * channels * 2);
        for (int& v : values)
            v = int(rng() % (bpp == 4 ? 65536u : 256u));
        const auto pek = Peaks(uint8_t(bpp), uint8_t(channels), 22050, 50, values);
        QString error;
        const auto whole = WaveformFromPeaks(pek, error);
        ASSERT_TRUE(whole) << error.toStdString();
        for (const TWaveformExport& how :
             {TWaveformExport{WaveformFormat::Dat, 2, 0, 0, 0, -1}, TWaveformExport{WaveformFormat::Dat, 1, 8, 350, 0, -1},
              TWaveformExport{WaveformFormat::Json, 2, 16, 7 * 50, 1.5, 250.3},
              TWaveformExport{WaveformFormat::Dat, 2, 8, 50 * 70001, 0.01, -1}}) {
            SCOPED_TRACE(testing::Message() << bpp << "/" << channels << " spp " << how.SamplesPerPixel);
            // The reference: each whole-data step in turn.
            auto data = whole;
            if (how.StartSeconds != 0 || how.EndSeconds >= 0)
                data = CutWaveform(*data, how.StartSeconds, how.EndSeconds, error);
            if (data && how.SamplesPerPixel != 0)
                data = ReduceWaveform(*data, how.SamplesPerPixel, error);
            ASSERT_TRUE(data) << error.toStdString();
            if (how.Version == 1)
                *data = MixWaveformToMono(*data);
            data->Version = how.Version;
            if (how.Bits != 0)
                *data = ConvertWaveformBits(*data, how.Bits);
            std::vector<uint8_t> expected;
            if (how.Format == WaveformFormat::Dat) {
                expected = EncodeWaveformDat(*data);
            } else {
                const std::string json = EncodeWaveformJson(*data);
                expected.assign(json.begin(), json.end());
            }

            size_t largestRead = 0, largestWrite = 0;
            std::vector<uint8_t> streamed;
            const ExportPeakReader read = [&](uint64_t offset, uint8_t* buffer, size_t size) {
                largestRead = std::max(largestRead, size);
                if (offset + size > pek.size())
                    return false;
                std::memcpy(buffer, pek.data() + offset, size);
                return true;
            };
            const ExportWaveformWriter write = [&](std::span<const uint8_t> bytes) {
                largestWrite = std::max(largestWrite, bytes.size());
                streamed.insert(streamed.end(), bytes.begin(), bytes.end());
                return true;
            };
            ASSERT_TRUE(ExportWaveformStreamed(pek.size(), read, how, write, error)) << error.toStdString();
            EXPECT_TRUE(streamed == expected) << streamed.size() << " against " << expected.size();
            EXPECT_LT(largestRead, pek.size() / 2);
            EXPECT_LE(largestWrite, size_t(2) << 20);
        }
    }
}

TEST(WaveformExport, aReasonLeftFromAnEarlierCallRefusesNothing)
{
    const auto pek = Peaks(4, 1, 8000, 100, std::vector<int>(2 * 400, 30000));
    TWaveformExport how;
    how.EndSeconds = 1;
    QString error = QStringLiteral("an earlier failure");
    EXPECT_TRUE(ExportWaveform(pek, how, error)) << error.toStdString();
    const auto data = WaveformFromPeaks(pek, error);
    ASSERT_TRUE(data);
    EXPECT_TRUE(CutWaveform(*data, 0, 1, error));
    EXPECT_TRUE(PeaksFromWaveform(*data, error));
}

TEST(WaveformExport, outputOverItsLimitIsRefusedBeforeAnythingIsWritten)
{
    // 1000 stereo records: 4000 values, 1000 at four records a pixel.
    const auto pek = Peaks(4, 2, 8000, 10, std::vector<int>(4 * 1000, 30000));
    QString error;
    TWaveformExport how;
    how.MaxValues = 4000;
    EXPECT_TRUE(ExportWaveform(pek, how, error)) << error.toStdString();
    how.MaxValues = 3999;
    int writes = 0;
    const ExportPeakReader read = [&](uint64_t offset, uint8_t* buffer, size_t size) {
        std::memcpy(buffer, pek.data() + offset, size);
        return true;
    };
    EXPECT_FALSE(ExportWaveformStreamed(pek.size(), read, how, [&](std::span<const uint8_t>) { return ++writes, true; },
                                        error));
    EXPECT_EQ(writes, 0);
    EXPECT_TRUE(error.contains("4000 values")) << error.toStdString();
    how.SamplesPerPixel = 40;
    how.MaxValues = 1000;
    EXPECT_TRUE(ExportWaveform(pek, how, error)) << error.toStdString();
}

TEST(WaveformExport, aReadOrWriteThatFailsEndsTheExport)
{
    const auto pek = Peaks(4, 1, 8000, 10, std::vector<int>(2 * 200000, 30000));
    QString error;
    int writes = 0;
    const ExportPeakReader read = [&](uint64_t offset, uint8_t* buffer, size_t size) {
        std::memcpy(buffer, pek.data() + offset, size);
        return offset < 100000;
    };
    EXPECT_FALSE(ExportWaveformStreamed(pek.size(), read, TWaveformExport{},
                                        [&](std::span<const uint8_t>) { return ++writes, true; }, error));
    EXPECT_FALSE(error.isEmpty());
    const ExportPeakReader whole = [&](uint64_t offset, uint8_t* buffer, size_t size) {
        std::memcpy(buffer, pek.data() + offset, size);
        return true;
    };
    writes = 0;
    EXPECT_FALSE(ExportWaveformStreamed(pek.size(), whole, TWaveformExport{},
                                        [&](std::span<const uint8_t>) { return ++writes < 1; }, error));
    EXPECT_EQ(writes, 1);
}

TEST(WaveformDecode, theSizeIsJudgedFromTheHeaderBeforeTheDataIsRead)
{
    TWaveformData d = Data(8, 2, 44100, 256, std::vector<int16_t>(4 * 1000, 5));
    const std::vector<uint8_t> dat = EncodeWaveformDat(d);
    const std::span<const uint8_t> head(dat.data(), 24);
    QString error;
    EXPECT_TRUE(CheckWaveformSize(head, dat.size(), error)) << error.toStdString();
    EXPECT_FALSE(CheckWaveformSize(head, uint64_t(300) << 20, error));
    EXPECT_TRUE(error.contains("bytes follow the last pixel")) << error.toStdString();
    EXPECT_FALSE(CheckWaveformSize(head, 100, error));
    const std::vector<uint8_t> riff = Bytes(std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0", 24));
    EXPECT_FALSE(CheckWaveformSize(riff, uint64_t(300) << 20, error));
    EXPECT_TRUE(CheckWaveformSize(Bytes("  {\"version\":2"), 5000, error));
    EXPECT_FALSE(CheckWaveformSize(Bytes("{"), uint64_t(MaxWaveformJsonBytes) + 1, error));
    EXPECT_TRUE(error.contains("binary form")) << error.toStdString();
}
