#include "WaveformData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "PeakFormat.h"
#include "WaveformValues.h"
#include "platform/LittleEndian.h"

namespace kx {

using namespace waveform;

namespace {

int32_t ReadS32LE(const uint8_t* p)
{
    return static_cast<int32_t>(ReadU32LE(p));
}

void WriteS32LE(uint8_t* p, int32_t v)
{
    WriteU32LE(p, static_cast<uint32_t>(v));
}

// The fields every form shares, checked against the format's limits.
bool CheckFields(const TWaveformData& d, uint64_t length, QString& error)
{
    if (d.Version != 1 && d.Version != 2)
        error = QStringLiteral("version %1 is not 1 or 2").arg(d.Version);
    else if (d.Bits != 8 && d.Bits != 16)
        error = QStringLiteral("bits %1 is not 8 or 16").arg(d.Bits);
    else if (d.SampleRate <= 0)
        error = QStringLiteral("sample rate %1 is not positive").arg(d.SampleRate);
    else if (d.SamplesPerPixel <= 0)
        error = QStringLiteral("samples per pixel %1 is not positive").arg(d.SamplesPerPixel);
    else if (d.Channels < 1 || d.Channels > MaxWaveformChannels)
        error = QStringLiteral("channel count %1 is not 1 to %2").arg(d.Channels).arg(MaxWaveformChannels);
    else if (d.Version == 1 && d.Channels != 1)
        error = QStringLiteral("version 1 holds one channel");
    else if (length * uint64_t(d.Channels) * 2 * uint64_t(d.Bits / 8) > uint64_t(MaxPeakDataBytes))
        error = QStringLiteral("larger than 1 GiB");
    else
        return true;
    return false;
}

} // namespace

uint32_t TWaveformData::Length() const
{
    return Channels > 0 ? static_cast<uint32_t>(Values.size() / (2 * size_t(Channels))) : 0;
}

std::optional<TPeakHeader> waveform::ExportablePeakHeader(std::span<const uint8_t> header, uint64_t totalSize,
                                                         QString& error)
{
    const PeakCheck check = CheckPeakData(header, totalSize, PeakReader::Builder);
    if (check != PeakCheck::Accepted) {
        error = PeakCheckText(check);
        return std::nullopt;
    }
    const TPeakHeader h = *DecodePeakHeader(header);
    if (h.BytesPerPeak != 2 && h.BytesPerPeak != 4) {
        error = QStringLiteral("BytesPerPeak %1 holds no values").arg(h.BytesPerPeak);
        return std::nullopt;
    }
    if (h.SamplesPerPeak == 0) {
        error = PeakCheckText(PeakCheck::ZeroSamplesPerPeak);
        return std::nullopt;
    }
    return h;
}

std::optional<TWaveformData> WaveformFromPeaks(std::span<const uint8_t> peakData, QString& error)
{
    const auto header = ExportablePeakHeader(peakData, peakData.size(), error);
    if (!header)
        return std::nullopt;
    const TPeakHeader h = *header;
    TWaveformData d;
    d.Bits = h.BytesPerPeak == 2 ? 8 : 16;
    d.SampleRate = static_cast<int32_t>(h.SamplesPerSecond);
    d.SamplesPerPixel = h.SamplesPerPeak;
    d.Channels = h.Channels;
    const int64_t records = PeakRecordCount(h, peakData.size());
    d.Values.reserve(static_cast<size_t>(records) * h.Channels * 2);
    const uint8_t* p = peakData.data() + PeakHeaderSize;
    const int half = h.BytesPerPeak / 2;
    const int mid = d.Bits == 8 ? 128 : 32768;
    for (int64_t r = 0; r < records; ++r) {
        for (int c = 0; c < h.Channels; ++c, p += h.BytesPerPeak) {
            const int a = (half == 1 ? p[0] : ReadU16LE(p)) - mid;
            const int b = (half == 1 ? p[1] : ReadU16LE(p + 2)) - mid;
            d.Values.push_back(static_cast<int16_t>(std::min(a, b)));
            d.Values.push_back(static_cast<int16_t>(std::max(a, b)));
        }
    }
    return d;
}


// The peak header of waveform data of `length` pixels, or nothing with the
// reason where the data does not fit the peak format.
std::optional<TPeakHeader> waveform::PeakHeaderFor(const TWaveformData& d, uint64_t length, QString& error)
{
    // A reason already in `error` from an earlier call says nothing here.
    QString why;
    if (d.SampleRate < 8000 || d.SampleRate > 48000)
        why = QStringLiteral("sample rate %1 is outside 8000..48000").arg(d.SampleRate);
    else if (d.Channels != 1 && d.Channels != 2)
        why = QStringLiteral("%1 channels: peak data holds 1 or 2").arg(d.Channels);
    else if (d.SamplesPerPixel < 1 || d.SamplesPerPixel > 65535)
        why = QStringLiteral("samples per pixel %1 is outside 1..65535").arg(d.SamplesPerPixel);
    else if (d.Bits != 8 && d.Bits != 16)
        why = QStringLiteral("bits %1 is not 8 or 16").arg(d.Bits);
    if (!why.isEmpty()) {
        error = why;
        return std::nullopt;
    }
    const int64_t frames = int64_t(length) * d.SamplesPerPixel;
    TPeakHeader h = MakePeakHeader(uint32_t(d.SampleRate), uint32_t(d.Channels), uint32_t(d.Bits),
                                   uint16_t(d.SamplesPerPixel), 0);
    // The decoded length from the frame count directly: a duration in 100 ns
    // units would round it.
    h.PcmByteCount = static_cast<uint32_t>(frames * d.Channels * (d.Bits / 8));
    // A peak file that no viewer would read is no result.
    uint8_t head[PeakHeaderSize];
    EncodePeakHeader(h, head);
    const uint64_t total = PeakHeaderSize + length * uint64_t(PeakRecordSize(h));
    if (const PeakCheck check = CheckPeakData(head, total, PeakReader::ViewerFile); check != PeakCheck::Accepted) {
        error = length == 0 ? QStringLiteral("it holds no pixels")
                            : QStringLiteral("its peak file would be refused: %1").arg(PeakCheckText(check));
        return std::nullopt;
    }
    return h;
}

// (min, max) value pairs to peak values (max, min), unsigned mid-scale.
std::optional<TPeakHeader> waveform::WritePeakHeaderFor(const TWaveformData& d, uint64_t length,
                                                        const std::function<bool(std::span<const uint8_t>)>& write,
                                                        QString& error)
{
    const auto h = PeakHeaderFor(d, length, error);
    if (!h)
        return std::nullopt;
    uint8_t header[PeakHeaderSize];
    EncodePeakHeader(*h, header);
    return write(header) ? h : std::nullopt;
}

uint8_t* waveform::PairsToPeaks(const int16_t* values, size_t pairs, int bits, uint8_t* p)
{
    const int mid = bits == 8 ? 128 : 32768;
    const int lo = ValueMin(bits);
    const int hi = ValueMax(bits);
    for (size_t i = 0; i < pairs; ++i, values += 2) {
        const int mn = std::clamp<int>(values[0], lo, hi) + mid;
        const int mx = std::clamp<int>(values[1], lo, hi) + mid;
        if (bits == 8) {
            *p++ = static_cast<uint8_t>(mx);
            *p++ = static_cast<uint8_t>(mn);
        } else {
            WriteU16LE(p, static_cast<uint16_t>(mx));
            WriteU16LE(p + 2, static_cast<uint16_t>(mn));
            p += 4;
        }
    }
    return p;
}


std::optional<std::vector<uint8_t>> PeaksFromWaveform(const TWaveformData& d, QString& error)
{
    const auto h = PeakHeaderFor(d, d.Length(), error);
    if (!h)
        return std::nullopt;
    std::vector<uint8_t> out(PeakHeaderSize + d.Values.size() / 2 * size_t(h->BytesPerPeak));
    EncodePeakHeader(*h, out.data());
    PairsToPeaks(d.Values.data(), d.Values.size() / 2, d.Bits, out.data() + PeakHeaderSize);
    return out;
}

size_t waveform::ReduceRun(int32_t samplesPerPixel, int32_t dataSamplesPerPixel, QString& error)
{
    if (samplesPerPixel <= 0 || dataSamplesPerPixel <= 0 || samplesPerPixel % dataSamplesPerPixel != 0) {
        error = QStringLiteral("samples per pixel %1 is not a multiple of the data's %2")
                    .arg(samplesPerPixel)
                    .arg(dataSamplesPerPixel);
        return 0;
    }
    return size_t(samplesPerPixel / dataSamplesPerPixel);
}

std::optional<TWaveformData> ReduceWaveform(const TWaveformData& d, int32_t samplesPerPixel, QString& error)
{
    const size_t run = ReduceRun(samplesPerPixel, d.SamplesPerPixel, error);
    if (run == 0)
        return std::nullopt;
    const size_t channels = size_t(d.Channels);
    const size_t length = d.Length();
    TWaveformData out = d;
    out.SamplesPerPixel = samplesPerPixel;
    out.Values.clear();
    out.Values.reserve((length + run - 1) / run * channels * 2);
    for (size_t first = 0; first < length; first += run) {
        const size_t last = std::min(length, first + run);
        for (size_t c = 0; c < channels; ++c) {
            int16_t mn = INT16_MAX;
            int16_t mx = INT16_MIN;
            for (size_t i = first; i < last; ++i) {
                const size_t at = (i * channels + c) * 2;
                mn = std::min(mn, d.Values[at]);
                mx = std::max(mx, d.Values[at + 1]);
            }
            out.Values.push_back(mn);
            out.Values.push_back(mx);
        }
    }
    return out;
}

bool waveform::CutRange(int32_t sampleRate, int32_t samplesPerPixel, uint64_t length, double startSeconds,
                        double endSeconds, uint64_t& first, uint64_t& last, QString& error)
{
    const double pixelsPerSecond = double(sampleRate) / samplesPerPixel;
    const double pixels = double(length);
    QString why;
    if (!(startSeconds >= 0) || !std::isfinite(startSeconds))
        why = QStringLiteral("the start must be a time of 0 seconds or more");
    else if (endSeconds >= 0 && !(endSeconds > startSeconds))
        why = QStringLiteral("the end must lie after the start");
    else if (std::floor(startSeconds * pixelsPerSecond) >= pixels)
        why = QStringLiteral("the start lies past the end of the data (%1 s)").arg(pixels / pixelsPerSecond);
    if (!why.isEmpty()) {
        error = why;
        return false;
    }
    first = static_cast<uint64_t>(std::floor(startSeconds * pixelsPerSecond));
    last = length;
    if (endSeconds >= 0 && std::isfinite(endSeconds))
        last = static_cast<uint64_t>(std::min(pixels, std::ceil(endSeconds * pixelsPerSecond)));
    return true;
}

std::optional<TWaveformData> CutWaveform(const TWaveformData& d, double startSeconds, double endSeconds,
                                         QString& error)
{
    uint64_t first = 0, last = 0;
    if (!CutRange(d.SampleRate, d.SamplesPerPixel, d.Length(), startSeconds, endSeconds, first, last, error))
        return std::nullopt;
    TWaveformData out = d;
    const size_t stride = size_t(d.Channels) * 2;
    out.Values.assign(d.Values.begin() + std::ptrdiff_t(first * stride), d.Values.begin() + std::ptrdiff_t(last * stride));
    return out;
}

TWaveformData MixWaveformToMono(const TWaveformData& d)
{
    TWaveformData out = d;
    out.Channels = 1;
    if (d.Channels == 1)
        return out;
    out.Values.clear();
    const size_t length = d.Length();
    out.Values.resize(length * 2);
    for (size_t i = 0; i < length; ++i)
        MixPixel(d.Values.data() + i * size_t(d.Channels) * 2, d.Channels, out.Values[2 * i], out.Values[2 * i + 1]);
    return out;
}

TWaveformData ConvertWaveformBits(const TWaveformData& d, int bits)
{
    TWaveformData out = d;
    out.Bits = bits;
    for (int16_t& v : out.Values)
        v = ConvertBits(v, d.Bits, bits);
    return out;
}

namespace {

Fields FieldsOf(const TWaveformData& d)
{
    return {d.Version, d.Bits, d.SampleRate, d.SamplesPerPixel, d.Length(), d.Channels};
}

} // namespace

std::vector<uint8_t> waveform::DatHeader(const Fields& f)
{
    std::vector<uint8_t> out(size_t(f.version == 1 ? WaveformDatHeaderSizeV1 : WaveformDatHeaderSizeV2));
    uint8_t* p = out.data();
    WriteS32LE(p, f.version);
    WriteU32LE(p + 4, f.bits == 8 ? 1u : 0u);
    WriteS32LE(p + 8, f.sampleRate);
    WriteS32LE(p + 12, f.samplesPerPixel);
    WriteU32LE(p + 16, f.length);
    if (f.version != 1)
        WriteS32LE(p + 20, f.channels);
    return out;
}

std::string waveform::JsonHeader(const Fields& f)
{
    std::string s = "{\"version\":" + std::to_string(f.version);
    if (f.version != 1)
        s += ",\"channels\":" + std::to_string(f.channels);
    s += ",\"sample_rate\":" + std::to_string(f.sampleRate) +
         ",\"samples_per_pixel\":" + std::to_string(f.samplesPerPixel) + ",\"bits\":" + std::to_string(f.bits) +
         ",\"length\":" + std::to_string(f.length) + ",\"data\":[";
    return s;
}

std::vector<uint8_t> EncodeWaveformDat(const TWaveformData& d)
{
    if (d.Version == 1 && d.Channels != 1)
        return EncodeWaveformDat(MixWaveformToMono(d));
    std::vector<uint8_t> out = DatHeader(FieldsOf(d));
    out.reserve(out.size() + d.Values.size() * size_t(d.Bits / 8));
    for (int16_t v : d.Values)
        AppendDatValue(out, v, d.Bits);
    return out;
}

std::string EncodeWaveformJson(const TWaveformData& d)
{
    if (d.Version == 1 && d.Channels != 1)
        return EncodeWaveformJson(MixWaveformToMono(d));
    std::string s = JsonHeader(FieldsOf(d));
    s.reserve(s.size() + d.Values.size() * 5 + 3);
    for (size_t i = 0; i < d.Values.size(); ++i) {
        if (i)
            s += ',';
        s += std::to_string(d.Values[i]);
    }
    s += JsonTail;
    return s;
}

namespace {

// The header of binary waveform data whose whole size is totalSize: the
// fields into d, the pixel count into length. False with the reason when the
// header is damaged or the size does not match it.
bool DecodeDatHeader(std::span<const uint8_t> b, uint64_t totalSize, TWaveformData& d, uint32_t& length,
                     QString& error)
{
    if (b.size() < WaveformDatHeaderSizeV1) {
        error = QStringLiteral("shorter than the header");
        return false;
    }
    d.Version = ReadS32LE(b.data());
    const uint32_t flags = ReadU32LE(b.data() + 4);
    d.SampleRate = ReadS32LE(b.data() + 8);
    d.SamplesPerPixel = ReadS32LE(b.data() + 12);
    length = ReadU32LE(b.data() + 16);
    d.Bits = (flags & 1u) ? 8 : 16;
    if (d.Version == 2) {
        if (b.size() < WaveformDatHeaderSizeV2) {
            error = QStringLiteral("shorter than the header");
            return false;
        }
        d.Channels = ReadS32LE(b.data() + 20);
    }
    if (flags & ~1u) {
        error = QStringLiteral("unknown flags 0x%1").arg(flags, 0, 16);
        return false;
    }
    if (!CheckFields(d, length, error))
        return false;
    const uint64_t header = d.Version == 1 ? WaveformDatHeaderSizeV1 : WaveformDatHeaderSizeV2;
    const uint64_t want = uint64_t(length) * uint64_t(d.Channels) * 2 * uint64_t(d.Bits / 8);
    const uint64_t have = totalSize - header;
    if (have != want) {
        error = have < want ? QStringLiteral("the data ends before %1 pixels").arg(length)
                            : QStringLiteral("%1 bytes follow the last pixel").arg(have - want);
        return false;
    }
    return true;
}

// JSON by its content: after a byte-order mark and white space, an object
// or an array (which is then refused for what it is).
std::span<const uint8_t> WithoutByteOrderMark(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? bytes.subspan(3) : bytes;
}

bool LooksLikeJson(std::span<const uint8_t> bytes)
{
    for (uint8_t c : WithoutByteOrderMark(bytes))
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return c == '{' || c == '[';
    return true;
}

} // namespace

std::optional<TWaveformData> DecodeWaveformDat(std::span<const uint8_t> b, QString& error)
{
    TWaveformData d;
    uint32_t length = 0;
    if (!DecodeDatHeader(b, b.size(), d, length, error))
        return std::nullopt;
    const size_t header = d.Version == 1 ? WaveformDatHeaderSizeV1 : WaveformDatHeaderSizeV2;
    const size_t width = d.Bits == 8 ? 1 : 2;
    const size_t count = size_t(length) * size_t(d.Channels) * 2;
    d.Values.resize(count);
    const uint8_t* p = b.data() + header;
    for (size_t i = 0; i < count; ++i, p += width)
        d.Values[i] = width == 1 ? static_cast<int16_t>(static_cast<int8_t>(p[0])) : ReadS16LE(p);
    return d;
}

bool CheckWaveformSize(std::span<const uint8_t> head, uint64_t totalSize, QString& error)
{
    if (LooksLikeJson(head)) {
        if (totalSize <= uint64_t(MaxWaveformJsonBytes))
            return true;
        error = QStringLiteral("JSON waveform data over %1 MiB is refused; use the binary form (.dat)")
                    .arg(MaxWaveformJsonBytes >> 20);
        return false;
    }
    TWaveformData d;
    uint32_t length = 0;
    return DecodeDatHeader(head, totalSize, d, length, error);
}

std::optional<TWaveformData> waveform::DecodeJsonFields(std::span<const uint8_t> b, uint64_t& lengthOut, QJsonObject* object,
                                                      QString& error)
{
    if (b.size() > size_t(MaxWaveformJsonBytes)) {
        error = QStringLiteral("JSON waveform data over %1 MiB is refused").arg(MaxWaveformJsonBytes >> 20);
        return std::nullopt;
    }
    QJsonParseError parse;
    const std::span<const uint8_t> text = WithoutByteOrderMark(b);
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(text.data()), qsizetype(text.size())), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        error = parse.error != QJsonParseError::NoError
                    ? QStringLiteral("not JSON: %1 at offset %2").arg(parse.errorString()).arg(parse.offset)
                    : QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    // Whole numbers only; anything else is a damaged file.
    const auto integer = [&o, &error](const char* key, bool required, int64_t fallback, int64_t& out) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() && !required) {
            out = fallback;
            return true;
        }
        const double x = v.toDouble(std::nan(""));
        if (!v.isDouble() || x != std::floor(x) || x < -2147483648.0 || x > 4294967295.0) {
            error = QStringLiteral("\"%1\" is missing or not a whole number").arg(QLatin1String(key));
            return false;
        }
        out = static_cast<int64_t>(x);
        return true;
    };
    int64_t version = 0, channels = 0, rate = 0, spp = 0, bits = 0, length = 0;
    if (!integer("version", false, 2, version) || !integer("channels", false, 1, channels) ||
        !integer("sample_rate", true, 0, rate) || !integer("samples_per_pixel", true, 0, spp) ||
        !integer("bits", true, 0, bits) || !integer("length", true, 0, length))
        return std::nullopt;
    TWaveformData d;
    d.Version = int(std::clamp<int64_t>(version, INT32_MIN, INT32_MAX));
    d.Channels = int(std::clamp<int64_t>(channels, INT32_MIN, INT32_MAX));
    d.SampleRate = int32_t(std::clamp<int64_t>(rate, INT32_MIN, INT32_MAX));
    d.SamplesPerPixel = int32_t(std::clamp<int64_t>(spp, INT32_MIN, INT32_MAX));
    d.Bits = int(std::clamp<int64_t>(bits, INT32_MIN, INT32_MAX));
    if (length < 0) {
        error = QStringLiteral("length %1 is negative").arg(length);
        return std::nullopt;
    }
    if (!CheckFields(d, uint64_t(length), error))
        return std::nullopt;
    lengthOut = uint64_t(length);
    if (object)
        *object = o;
    return d;
}

std::optional<TWaveformData> DecodeWaveformJson(std::span<const uint8_t> b, QString& error)
{
    uint64_t length = 0;
    QJsonObject o;
    auto fields = waveform::DecodeJsonFields(b, length, &o, error);
    if (!fields)
        return std::nullopt;
    TWaveformData d = *fields;
    const QJsonValue data = o.value(QLatin1String("data"));
    if (!data.isArray()) {
        error = QStringLiteral("\"data\" is missing or not an array");
        return std::nullopt;
    }
    const QJsonArray values = data.toArray();
    const int64_t count = int64_t(length) * d.Channels * 2;
    if (values.size() != count) {
        error = QStringLiteral("\"data\" holds %1 values, the length asks for %2").arg(values.size()).arg(count);
        return std::nullopt;
    }
    d.Values.reserve(size_t(count));
    const int lo = ValueMin(d.Bits);
    const int hi = ValueMax(d.Bits);
    for (const QJsonValue& v : values) {
        const double x = v.toDouble(std::nan(""));
        if (!v.isDouble() || x != std::floor(x) || x < lo || x > hi) {
            error = QStringLiteral("value %1 is not a whole number in %2..%3")
                        .arg(v.isDouble() ? QString::number(x) : QStringLiteral("(not a number)"))
                        .arg(lo)
                        .arg(hi);
            return std::nullopt;
        }
        d.Values.push_back(static_cast<int16_t>(x));
    }
    return d;
}

std::optional<TWaveformData> DecodeWaveform(std::span<const uint8_t> bytes, QString& error)
{
    if (bytes.empty()) {
        error = QStringLiteral("empty");
        return std::nullopt;
    }
    return LooksLikeJson(bytes) ? DecodeWaveformJson(bytes, error) : DecodeWaveformDat(bytes, error);
}

bool PeaksFromWaveformDatStreamed(uint64_t totalSize, const ExportPeakReader& read, const ExportWaveformWriter& write,
                                  QString& error)
{
    std::vector<uint8_t> head(size_t(std::min<uint64_t>(totalSize, WaveformDatHeaderSizeV2)));
    if (!read(0, head.data(), head.size())) {
        error = QStringLiteral("cannot be read");
        return false;
    }
    TWaveformData d;
    uint32_t length = 0;
    if (!DecodeDatHeader(head, totalSize, d, length, error))
        return false;
    const auto h = WritePeakHeaderFor(d, length, write, error);
    if (!h)
        return false;
    // A block of pixels at a time: memory stays the same whatever the size.
    const size_t width = d.Bits == 8 ? 1 : 2;
    const uint64_t pairs = uint64_t(length) * uint64_t(d.Channels);
    constexpr uint64_t PairsPerBlock = 1 << 18;
    std::vector<uint8_t> in(size_t(PairsPerBlock) * 2 * width);
    std::vector<int16_t> values(size_t(PairsPerBlock) * 2);
    std::vector<uint8_t> out(size_t(PairsPerBlock) * size_t(h->BytesPerPeak));
    uint64_t offset = d.Version == 1 ? WaveformDatHeaderSizeV1 : WaveformDatHeaderSizeV2;
    for (uint64_t done = 0; done < pairs;) {
        const size_t n = size_t(std::min(PairsPerBlock, pairs - done));
        if (!read(offset, in.data(), n * 2 * width)) {
            error = QStringLiteral("cannot be read");
            return false;
        }
        for (size_t i = 0; i < n * 2; ++i)
            values[i] = width == 1 ? static_cast<int16_t>(static_cast<int8_t>(in[i])) : ReadS16LE(&in[2 * i]);
        const uint8_t* end = PairsToPeaks(values.data(), n, d.Bits, out.data());
        if (!write(std::span<const uint8_t>(out.data(), size_t(end - out.data()))))
            return false;
        offset += n * 2 * width;
        done += n;
    }
    return true;
}

bool WaveformDataIsJson(std::span<const uint8_t> head)
{
    return LooksLikeJson(head);
}

} // namespace kx
