// Arbitrary bytes as waveform data to the decoders and the size check that
// import runs first, and as peak data to the streamed export, which must give
// exactly what the whole-data steps give. The first byte chooses the export.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "peaks/WaveformData.h"

using namespace kx;

namespace {

// The export through each whole-data step in turn.
std::optional<std::vector<uint8_t>> StepByStep(std::span<const uint8_t> peaks, const TWaveformExport& how)
{
    QString error;
    auto data = WaveformFromPeaks(peaks, error);
    if (data && (how.StartSeconds != 0 || how.EndSeconds >= 0))
        data = CutWaveform(*data, how.StartSeconds, how.EndSeconds, error);
    if (data && how.SamplesPerPixel != 0)
        data = ReduceWaveform(*data, how.SamplesPerPixel, error);
    if (!data)
        return std::nullopt;
    if (how.Version == 1)
        *data = MixWaveformToMono(*data);
    data->Version = how.Version;
    if (how.Bits != 0)
        *data = ConvertWaveformBits(*data, how.Bits);
    if (how.Format == WaveformFormat::Dat)
        return EncodeWaveformDat(*data);
    const std::string json = EncodeWaveformJson(*data);
    return std::vector<uint8_t>(json.begin(), json.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t choice = data[0];
    const std::span<const uint8_t> bytes(data + 1, size - 1);

    QString error;
    const auto decoded = DecodeWaveform(bytes, error);
    // What decodes is never turned away by the check made before reading.
    if (decoded && !CheckWaveformSize(bytes.first(std::min<size_t>(bytes.size(), 4096)), bytes.size(), error))
        __builtin_trap();
    const auto whole = decoded ? PeaksFromWaveform(*decoded, error) : std::nullopt;
    // The streamed JSON import gives the whole import's peaks wherever the
    // data is a JSON object with one "data" key (with more, which one counts
    // is the parser's choice); it never crashes on anything.
    if (WaveformDataIsJson(bytes)) {
        std::vector<uint8_t> streamed;
        const bool ok = PeaksFromWaveformJsonStreamed(
            bytes.size(),
            [&bytes](uint64_t offset, uint8_t* buffer, size_t n) {
                if (offset > bytes.size() || n > bytes.size() - offset)
                    return false;
                std::copy_n(bytes.data() + offset, n, buffer);
                return true;
            },
            [&streamed](std::span<const uint8_t> block) {
                streamed.insert(streamed.end(), block.begin(), block.end());
                return true;
            },
            error);
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const size_t first = text.find("\"data\"");
        const bool oneKey = first != std::string_view::npos && text.find("\"data\"", first + 1) == std::string_view::npos;
        if (oneKey && whole && (!ok || streamed != *whole))
            __builtin_trap();
    }

    TWaveformExport how;
    how.Format = (choice & 1) ? WaveformFormat::Json : WaveformFormat::Dat;
    how.Version = (choice & 2) ? 1 : 2;
    how.Bits = (choice & 4) ? ((choice & 8) ? 8 : 16) : 0;
    if (choice & 16)
        how.SamplesPerPixel = 100 * (1 + (choice >> 6));
    if (choice & 32) {
        how.StartSeconds = 0.004 * (choice >> 6);
        how.EndSeconds = (choice & 64) ? -1 : 0.05;
    }
    const auto streamed = ExportWaveform(bytes, how, error);
    const auto reference = StepByStep(bytes, how);
    if (streamed.has_value() != reference.has_value() || (streamed && *streamed != *reference))
        __builtin_trap();
    return 0;
}
