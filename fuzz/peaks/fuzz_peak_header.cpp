// Feeds arbitrary bytes to the three peak readers' acceptance rules and the
// header decoder: none may crash or read past the data.
#include <cstddef>
#include <cstdint>
#include <span>

#include "peaks/PeakFormat.h"

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    for (auto reader : {PeakReader::Builder, PeakReader::ViewerFile, PeakReader::ViewerStream}) {
        const PeakCheck check = CheckPeakData(bytes, size, reader);
        if (check == PeakCheck::Accepted) {
            const auto header = DecodePeakHeader(bytes);
            if (!header)
                __builtin_trap();  // accepted data always decodes
            (void)PeakDurationMs(*header);
            (void)PeakRecordCount(*header, size);
        }
    }
    return 0;
}
