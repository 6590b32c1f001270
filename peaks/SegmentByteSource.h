#pragma once
// A pipeline source that hands on one byte range of a file, for a segment
// that decodes its own frames rather than seeking.
#include <QString>
#include <cstdint>

typedef struct _GstElement GstElement;
typedef struct _GstCaps GstCaps;

namespace kx {

/// An element giving the bytes [begin, end) of the file as a stream of the
/// caps, read in blocks on its streaming thread, then the end of the stream
/// (also early, where the file cannot be read). Null when the file cannot be
/// opened there.
GstElement* MakeByteRangeSource(const QString& mediaFile, uint64_t begin, uint64_t end, GstCaps* caps);

} // namespace kx
