// What kind of file a head of bytes is: the answer the output path bases
// every refusal on. Whatever the bytes, the kind is consistent with them,
// and the same bytes behind a longer head give the same kind.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/FileKind.h"

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const std::span<const uint8_t> head = bytes.first(std::min(size, FileKindHeadSize));
    const FileKind kind = DetectFileKind(head, size);
    if ((kind == FileKind::Empty) != (size == 0))
        __builtin_trap();
    const bool peak = size >= 4 && std::memcmp(data, "PEAK", 4) == 0;
    if (peak != (kind == FileKind::BuilderPeaks || kind == FileKind::WaveViewerPeaks))
        __builtin_trap();
    if (kind == FileKind::WaveViewerPeaks && DetectPeakLayout(head, size) != PeakLayout::WaveViewer)
        __builtin_trap();
    // Only the head decides: a caller that reads more sees the same kind.
    if (size > FileKindHeadSize && DetectFileKind(bytes, size) != kind)
        __builtin_trap();
    (void)FileKindText(kind);
    return 0;
}
