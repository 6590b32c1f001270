// Peak data to waveform data, streamed: records are read a block at a time
// and each finished pixel is encoded at once, so that memory stays the same
// whatever the size of the data.
#include <algorithm>
#include <charconv>
#include <cstring>

#include "PeakFormat.h"
#include "WaveformData.h"
#include "WaveformValues.h"
#include "platform/LittleEndian.h"

namespace kx {

using namespace waveform;

namespace {

// Records read at a time, and encoded bytes handed on at a time.
constexpr size_t BlockRecords = 64 * 1024;
constexpr size_t FlushBytes = 1 << 20;

// A block of records as (minimum, maximum) per channel, centred on zero; a
// record's pair may be stored in either order. Width: bytes of one value.
template <int Width>
void RecordValues(const uint8_t* p, size_t pairs, int16_t* out)
{
    constexpr int mid = Width == 1 ? 128 : 32768;
    for (size_t i = 0; i < pairs; ++i, p += 2 * Width, out += 2) {
        const int a = (Width == 1 ? p[0] : ReadU16LE(p)) - mid;
        const int b = (Width == 1 ? p[1] : ReadU16LE(p + 2)) - mid;
        out[0] = static_cast<int16_t>(std::min(a, b));
        out[1] = static_cast<int16_t>(std::max(a, b));
    }
}

class PixelEncoder
{
public:
    PixelEncoder(const TWaveformExport& how, int dataBits, int channels, const ExportWaveformWriter& write)
        : format_(how.Format), mix_(how.Version == 1 && channels > 1), dataBits_(dataBits),
          bits_(how.Bits != 0 ? how.Bits : dataBits), channels_(channels), write_(write), out_(FlushBytes + 256)
    {
    }

    void Header(const Fields& f)
    {
        if (format_ == WaveformFormat::Dat) {
            const std::vector<uint8_t> head = DatHeader(f);
            Put(head.data(), head.size());
        } else {
            const std::string head = JsonHeader(f);
            Put(reinterpret_cast<const uint8_t*>(head.data()), head.size());
        }
    }

    // Pixels of minimum and maximum per channel, one after the other.
    bool Pixels(const int16_t* values, size_t count)
    {
        const size_t perPixel = size_t(2 * channels_);
        for (size_t i = 0; i < count; ++i, values += perPixel) {
            if (mix_) {
                int16_t pair[2];
                MixPixel(values, channels_, pair[0], pair[1]);
                Value(pair[0]);
                Value(pair[1]);
            } else if (format_ == WaveformFormat::Dat && bits_ == 16 && dataBits_ == 16) {
                for (size_t v = 0; v < perPixel; ++v)
                    WriteU16LE(out_.data() + used_ + 2 * v, uint16_t(values[v]));
                used_ += 2 * perPixel;
            } else {
                for (size_t v = 0; v < perPixel; ++v)
                    Value(values[v]);
            }
            if (used_ >= FlushBytes && !Flush())
                return false;
        }
        return true;
    }

    bool Finish()
    {
        if (format_ == WaveformFormat::Json)
            Put(reinterpret_cast<const uint8_t*>(JsonTail), std::strlen(JsonTail));
        return Flush();
    }

private:
    void Put(const uint8_t* bytes, size_t n)
    {
        if (used_ + n > out_.size())
            out_.resize(used_ + n);
        std::memcpy(out_.data() + used_, bytes, n);
        used_ += n;
    }

    void Value(int16_t v)
    {
        v = ConvertBits(v, dataBits_, bits_);
        uint8_t* p = out_.data() + used_;
        if (format_ == WaveformFormat::Dat) {
            p[0] = static_cast<uint8_t>(uint16_t(v) & 0xFF);
            if (bits_ == 16)
                p[1] = static_cast<uint8_t>(uint16_t(v) >> 8);
            used_ += size_t(bits_ / 8);
            return;
        }
        if (!first_)
            *p++ = ',';
        first_ = false;
        p = reinterpret_cast<uint8_t*>(std::to_chars(reinterpret_cast<char*>(p), reinterpret_cast<char*>(p) + 8, v).ptr);
        used_ = size_t(p - out_.data());
    }

    bool Flush()
    {
        const bool ok = used_ == 0 || write_(std::span<const uint8_t>(out_.data(), used_));
        used_ = 0;
        return ok;
    }

    WaveformFormat format_;
    bool mix_;
    int dataBits_, bits_, channels_;
    const ExportWaveformWriter& write_;
    // Room for a whole pixel past FlushBytes (peak data has two channels at most).
    std::vector<uint8_t> out_;
    size_t used_ = 0;
    bool first_ = true;
};

} // namespace

bool ExportWaveformStreamed(uint64_t totalSize, const ExportPeakReader& read, const TWaveformExport& how,
                            const ExportWaveformWriter& write, QString& error)
{
    if (how.Version != 1 && how.Version != 2) {
        error = QStringLiteral("version %1 is not 1 or 2").arg(how.Version);
        return false;
    }
    if (how.Bits != 0 && how.Bits != 8 && how.Bits != 16) {
        error = QStringLiteral("bits %1 is not 8 or 16").arg(how.Bits);
        return false;
    }
    uint8_t head[PeakHeaderSize] = {};
    const size_t headBytes = size_t(std::min<uint64_t>(totalSize, PeakHeaderSize));
    if (headBytes > 0 && !read(0, head, headBytes)) {
        error = PeakCheckText(PeakCheck::ReadFailed);
        return false;
    }
    const auto h = ExportablePeakHeader(std::span<const uint8_t>(head, headBytes), totalSize, error);
    if (!h)
        return false;
    const int dataBits = h->BytesPerPeak == 2 ? 8 : 16;
    const int channels = h->Channels;
    const auto rate = static_cast<int32_t>(h->SamplesPerSecond);
    const uint64_t records = uint64_t(PeakRecordCount(*h, totalSize));
    uint64_t first = 0, last = records;
    if ((how.StartSeconds != 0 || how.EndSeconds >= 0) &&
        !CutRange(rate, h->SamplesPerPeak, records, how.StartSeconds, how.EndSeconds, first, last, error))
        return false;
    size_t run = 1;
    if (how.SamplesPerPixel != 0 && (run = ReduceRun(how.SamplesPerPixel, h->SamplesPerPeak, error)) == 0)
        return false;

    Fields f;
    f.version = how.Version;
    f.bits = how.Bits != 0 ? how.Bits : dataBits;
    f.sampleRate = rate;
    f.samplesPerPixel = how.SamplesPerPixel != 0 ? how.SamplesPerPixel : h->SamplesPerPeak;
    f.length = uint32_t((last - first + run - 1) / run);
    f.channels = how.Version == 1 ? 1 : channels;
    const uint64_t outValues = uint64_t(f.length) * uint64_t(f.channels) * 2;
    if (how.MaxValues != 0 && outValues > how.MaxValues) {
        error = QStringLiteral("the waveform data would hold %1 values, more than the %2 allowed; coarser "
                                "pixels make it smaller")
                    .arg(outValues)
                    .arg(how.MaxValues);
        return false;
    }
    PixelEncoder encoder(how, dataBits, channels, write);
    encoder.Header(f);

    const size_t recordSize = size_t(PeakRecordSize(*h));
    const size_t perRecord = size_t(2 * channels);
    std::vector<uint8_t> block(BlockRecords * recordSize);
    std::vector<int16_t> values(BlockRecords * perRecord);
    std::vector<int16_t> pixel(perRecord);
    size_t inPixel = 0;
    for (uint64_t at = first; at < last;) {
        const size_t count = size_t(std::min<uint64_t>(last - at, BlockRecords));
        if (!read(PeakHeaderSize + at * recordSize, block.data(), count * recordSize)) {
            error = PeakCheckText(PeakCheck::ReadFailed);
            return false;
        }
        if (h->BytesPerPeak == 2)
            RecordValues<1>(block.data(), count * size_t(channels), values.data());
        else
            RecordValues<2>(block.data(), count * size_t(channels), values.data());
        at += count;
        if (run == 1) {
            if (!encoder.Pixels(values.data(), count))
                return false;
            continue;
        }
        // Pixels of several records: a run may span blocks.
        for (size_t r = 0; r < count; ++r) {
            const int16_t* v = values.data() + r * perRecord;
            if (inPixel == 0) {
                std::copy(v, v + perRecord, pixel.begin());
            } else {
                for (size_t c = 0; c < perRecord; c += 2) {
                    pixel[c] = std::min(pixel[c], v[c]);
                    pixel[c + 1] = std::max(pixel[c + 1], v[c + 1]);
                }
            }
            if (++inPixel == run) {
                if (!encoder.Pixels(pixel.data(), 1))
                    return false;
                inPixel = 0;
            }
        }
    }
    if (inPixel > 0 && !encoder.Pixels(pixel.data(), 1))
        return false;
    return encoder.Finish();
}

std::optional<std::vector<uint8_t>> ExportWaveform(std::span<const uint8_t> peakData, const TWaveformExport& how,
                                                   QString& error)
{
    std::vector<uint8_t> out;
    const ExportPeakReader read = [&peakData](uint64_t offset, uint8_t* buffer, size_t size) {
        if (offset > peakData.size() || size > peakData.size() - offset)
            return false;
        std::memcpy(buffer, peakData.data() + offset, size);
        return true;
    };
    const ExportWaveformWriter write = [&out](std::span<const uint8_t> bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return true;
    };
    if (!ExportWaveformStreamed(peakData.size(), read, how, write, error))
        return std::nullopt;
    return out;
}

} // namespace kx
