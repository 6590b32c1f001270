// A peak file on disk through the readers' file path: header and body from
// the input, optionally stretched by a sparse tail (records that run out,
// sizes just below and above the size limit). An accepted file is returned
// byte for byte; a refused one leaves the caller's buffer alone.
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "peaks/PeakFormat.h"

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const uint32_t tail = in.Take(1);
    const QString path = fuzz::WriteScratch(QStringLiteral("f.pek"), in.Rest(), in.RestSize());
    int64_t fileSize = static_cast<int64_t>(in.RestSize());
    // Mostly the bytes as given; a few selectors grow the file with holes.
    if (tail >= 0xF8) {
        // Sizes up to the limit are read whole, so only small ones are tried
        // often; the limit itself is exercised by the hostile corpus.
        const int64_t stretch[] = {1, 4093, int64_t(1) << 20, (int64_t(1) << 22) + 3, MaxPeakDataBytes + 1,
                                   int64_t(1) << 32, (int64_t(1) << 40) + 5, INT64_MAX / 2};
        fileSize = tail == 0xF8 ? fileSize + stretch[0] : stretch[tail - 0xF8];
        if (tail < 0xFC)
            fileSize += static_cast<int64_t>(in.RestSize());
        // Sizes past what the file system takes stay as they were.
        if (!QFile::resize(path, fileSize))
            fileSize = QFile(path).size();
    }
    const std::vector<uint8_t> sentinel = {0xA5};
    for (auto reader : {PeakReader::Builder, PeakReader::ViewerFile, PeakReader::ViewerStream}) {
        std::vector<uint8_t> out = sentinel;
        const PeakCheck check = ReadPeakFile(path, reader, out);
        if (check != PeakCheck::Accepted) {
            if (out != sentinel)
                __builtin_trap();
            continue;
        }
        // Only sizes the tail kept small are read back in full here.
        if (static_cast<int64_t>(out.size()) != fileSize || fileSize > MaxPeakDataBytes)
            __builtin_trap();
        const std::span<const uint8_t> bytes(out);
        if (CheckPeakData(bytes.first(PeakHeaderSize), out.size(), reader) != PeakCheck::Accepted)
            __builtin_trap();
        const size_t given = std::min(out.size(), in.RestSize());
        if (!std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(given), in.Rest()))
            __builtin_trap();
        // The builder's loader stops after the rate test; the viewers also want data after the header.
        const auto header = DecodePeakHeader(bytes);
        if (!header || (reader != PeakReader::Builder && out.size() <= size_t(PeakHeaderSize)))
            __builtin_trap();
    }
    return 0;
}
