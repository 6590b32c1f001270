#include "WaveformWriter.h"

#include <charconv>
#include <cstring>
#include <string>

#include "peaks/WaveformGenerator.h"
#include "peaks/WaveformValues.h"
#include "platform/LittleEndian.h"
#include "platform/WavWriter.h"

namespace kx {

using namespace waveform;

namespace {

// Room for any 32-bit length in the JSON header, filled with blanks later.
constexpr uint32_t JsonLengthPlaceholder = 4000000000u;
constexpr size_t FlushBytes = 1 << 20;

} // namespace

WaveformDataWriter::WaveformDataWriter(OutputFile& out, const Settings& settings) : out_(out), settings_(settings)
{
}

bool WaveformDataWriter::WriteHeader(bool placeholder)
{
    Fields f;
    f.version = settings_.channels == 1 ? 1 : 2;
    f.bits = settings_.bits;
    f.sampleRate = settings_.sampleRate;
    f.samplesPerPixel = settings_.samplesPerPixel;
    f.channels = settings_.channels;
    f.length = placeholder ? (settings_.format == WaveformFormat::Json ? JsonLengthPlaceholder : 0) : uint32_t(length_);
    if (settings_.format == WaveformFormat::Dat) {
        const std::vector<uint8_t> head = DatHeader(f);
        return placeholder ? out_.Write(head.data(), head.size()) : out_.WriteAt(0, head.data(), head.size());
    }
    std::string head = JsonHeader(f);
    if (!placeholder) {
        // The real length is never longer than the placeholder: blanks keep the size.
        const std::string spaced = JsonHeader(Fields{f.version, f.bits, f.sampleRate, f.samplesPerPixel,
                                                     JsonLengthPlaceholder, f.channels});
        const size_t at = head.find("\"data\"");
        head.insert(at - 1, spaced.size() - head.size(), ' ');
        return out_.WriteAt(0, head.data(), head.size());
    }
    headerBytes_ = head.size();
    return out_.Write(head.data(), head.size());
}

bool WaveformDataWriter::Encode(const int16_t* values, size_t count, double scale)
{
    for (size_t i = 0; i < count; ++i) {
        int16_t v = scale == 1 ? values[i] : ScaleWaveformValue(values[i], scale);
        if (settings_.bits == 8)
            v = WaveformValueTo8Bits(v);
        if (settings_.format == WaveformFormat::Dat) {
            AppendDatValue(bytes_, v, settings_.bits);
        } else {
            char text[8];
            char* p = text;
            if (!firstValue_)
                *p++ = ',';
            firstValue_ = false;
            p = std::to_chars(p, text + sizeof text, v).ptr;
            bytes_.insert(bytes_.end(), text, p);
        }
        if (bytes_.size() >= FlushBytes) {
            if (!out_.Write(bytes_.data(), bytes_.size()))
                return false;
            bytes_.clear();
        }
    }
    return true;
}

bool WaveformDataWriter::Pixels(const int16_t* values, size_t pixels)
{
    length_ += pixels;
    const size_t count = pixels * 2 * size_t(settings_.channels);
    if (Hold()) {
        held_.insert(held_.end(), values, values + count);
        return true;
    }
    if (!started_) {
        started_ = true;
        if (!WriteHeader(true))
            return false;
    }
    return Encode(values, count, settings_.amplitudeScale);
}

bool WaveformDataWriter::Finish()
{
    if (length_ > UINT32_MAX)
        return false;
    if (Hold()) {
        // Held values go out in one go, behind a header that is right at once.
        const double scale =
            settings_.amplitudeScale == 0 ? AutoAmplitudeScale(held_.data(), held_.size()) : settings_.amplitudeScale;
        Fields f{settings_.channels == 1 ? 1 : 2, settings_.bits, settings_.sampleRate, settings_.samplesPerPixel,
                 uint32_t(length_), settings_.channels};
        if (settings_.format == WaveformFormat::Dat)
            bytes_ = DatHeader(f);
        else {
            const std::string head = JsonHeader(f);
            bytes_.assign(head.begin(), head.end());
        }
        if (!Encode(held_.data(), held_.size(), scale))
            return false;
    } else if (!started_) {
        started_ = true;
        if (!WriteHeader(true))
            return false;
    }
    if (settings_.format == WaveformFormat::Json)
        bytes_.insert(bytes_.end(), JsonTail, JsonTail + std::strlen(JsonTail));
    if (!bytes_.empty() && !out_.Write(bytes_.data(), bytes_.size()))
        return false;
    bytes_.clear();
    return Hold() || WriteHeader(false);
}

bool WavAudioWriter::Begin(uint32_t rate, uint32_t channels)
{
    channels_ = channels;
    std::vector<uint8_t> head = MakeWavBytes(rate, uint16_t(channels), 16, {});
    if (out_.IsDirect()) {
        // The length is not known yet and cannot be written later.
        WriteU32LE(head.data() + 4, UINT32_MAX);
        WriteU32LE(head.data() + 40, UINT32_MAX - 36);
    }
    return out_.Write(head.data(), head.size());
}

bool WavAudioWriter::Frames(const int16_t* samples, size_t frames)
{
    const size_t bytes = frames * channels_ * 2;
    dataBytes_ += bytes;
    if constexpr (std::endian::native == std::endian::little)
        return out_.Write(samples, bytes);
    std::vector<uint8_t> le(bytes);
    for (size_t i = 0; i < frames * channels_; ++i)
        WriteU16LE(le.data() + 2 * i, uint16_t(samples[i]));
    return out_.Write(le.data(), le.size());
}

bool WavAudioWriter::Finish()
{
    if (out_.IsDirect())
        return true;
    // RIFF sizes are 32 bits: longer audio is cut off at the largest size.
    const uint32_t data = uint32_t(std::min<uint64_t>(dataBytes_, UINT32_MAX - 36));
    uint8_t riff[4], size[4];
    WriteU32LE(riff, data + 36);
    WriteU32LE(size, data);
    return out_.WriteAt(4, riff, 4) && out_.WriteAt(40, size, 4);
}

} // namespace kx
