#pragma once
// A pipeline source that hands on one byte range of a file, for a segment
// that decodes its own frames rather than seeking, and the decoder such an
// MP3 segment may use.
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

/// The byte range source of MPEG-1 layer III frames [begin, end).
GstElement* MakeMp3FrameSource(const QString& mediaFile, uint64_t begin, uint64_t end);

/// Whether an element a decode bin adds keeps the samples of a counted MP3
/// segment those of one pass: anything but a decoder, and the one decoder
/// whose samples after a cut are known to be those of one pass.
bool FitsCountedMp3Segment(GstElement* element);

} // namespace kx
