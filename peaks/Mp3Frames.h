#pragma once
// The frames of an MP3 file, walked from their headers without decoding, and
// where a segmented build must start decoding to give exactly the samples of
// one pass. Pure code over bytes: no file, no GStreamer.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kx {

/// One MPEG audio frame header (the 32 bits at a sync word).
struct Mp3FrameHeader {
    /// 1: MPEG-1, 2: MPEG-2, 25: MPEG-2.5.
    int version = 0;
    int layer = 0;          ///< 1, 2 or 3
    /// Bit/s; 0 for free format, whose frame length the header does not give.
    uint32_t bitrate = 0;
    uint32_t rate = 0;      ///< Hz
    uint32_t channels = 0;  ///< 1 or 2
    bool crc = false;       ///< a 16-bit checksum follows the header
    /// The whole frame, header included; 0 for free format.
    uint32_t bytes = 0;
    /// Samples per channel the frame decodes to.
    uint32_t samples = 0;
    /// Header, checksum and (layer III) side information: the rest is main data.
    uint32_t overhead = 0;
};

/// The header at p (4 bytes), or nothing where sync, version, layer, bit rate
/// or sample rate are invalid.
std::optional<Mp3FrameHeader> ParseMp3FrameHeader(const uint8_t* p);

/// What one pass decodes from a plain MPEG-1 layer III file, in samples per
/// channel. Stream samples are those the decoder puts out for the audio frames
/// (frame n gives [n * 1152, (n + 1) * 1152)); one pass hands on
/// [skip, skip + length) of them (the gapless trimming of a LAME tag).
struct Mp3FrameIndex {
    uint32_t rate = 0;                ///< Hz
    uint32_t channels = 0;            ///< 1 or 2
    uint32_t samplesPerFrame = 1152;  ///< per channel
    /// Per frame, header to the end of the side information.
    uint32_t overhead = 0;
    /// Where each audio frame starts, then where the last one ends. A tag
    /// frame (Xing, Info) in front is not an audio frame: one pass drops it.
    std::vector<uint64_t> offsets;
    uint64_t skip = 0;    ///< stream samples one pass drops at the start
    uint64_t length = 0;  ///< stream samples one pass hands on
    /// GStreamer's parser applies skip and length itself (no tag, or one
    /// under a "LAME" encoder string); otherwise the builder must.
    bool parserTrims = true;

    /// Audio frames in the file.
    uint64_t FrameCount() const { return offsets.empty() ? 0 : offsets.size() - 1; }
};

/// The index of a file, or why it is refused (then built in one pass): a
/// stream that is not MPEG-1 layer III, free format, headers that change
/// format, a sync that does not continue to the end of the file (damaged,
/// cut inside a frame, unknown trailing data), a gapless tag one pass would
/// apply in a way that leaves no contiguous range.
struct Mp3Scan {
    std::optional<Mp3FrameIndex> index;  ///< when the file is accepted
    const char* refusal = nullptr;       ///< why not, otherwise
};
/// Reads n bytes at an offset of the file; false where it cannot.
using Mp3Reader = std::function<bool(uint64_t offset, uint8_t* out, size_t n)>;
/// Over a file of `size` bytes, read in order from its start.
Mp3Scan ScanMp3(uint64_t size, const Mp3Reader& read);
/// Over a file held in memory.
Mp3Scan ScanMp3(std::span<const uint8_t> file);

/// The gapless range of one pass for frames of samplesPerFrame with the tag's
/// encoder delay, padding and frame count, mirroring how GStreamer's MPEG audio
/// parser clips each frame: [skip, skip + length) of the stream samples, or
/// nothing when the clipped frames would not join into one range.
struct Mp3GaplessRange {
    uint64_t skip = 0;    ///< stream samples dropped at the start
    uint64_t length = 0;  ///< stream samples kept
};
/// See Mp3GaplessRange.
std::optional<Mp3GaplessRange> Mp3Gapless(uint64_t frames, uint32_t samplesPerFrame, uint32_t delay,
                                          uint32_t padding, uint64_t tagFrames);

/// The trimming one pass must apply itself, in samples per channel of the
/// decoded stream (the decoder's own delay included): [skip, end) is kept.
/// Given for a tag frame whose LAME extension GStreamer's parser leaves alone
/// (an encoder string other than "LAME", such as FFmpeg's "Lavc", with a
/// checksum that holds), at any MPEG version; nothing otherwise. The parser
/// applies a "LAME" one itself, and ScanMp3 counts the extension alike.
struct Mp3DecoderTrim {
    uint64_t skip = 0;          ///< first decoded sample kept
    uint64_t end = UINT64_MAX;  ///< first decoded sample dropped again
};
/// See Mp3DecoderTrim: the trimming of a file of `size` bytes, read through read.
std::optional<Mp3DecoderTrim> Mp3OnePassTrim(uint64_t size, const Mp3Reader& read);

/// How a segment is decoded: the bytes [beginByte, endByte) of whole frames
/// go through the decoder, whose first sample is at output sample
/// firstSample (negative when it lies before the trimmed start); from
/// exactFrom on they are the samples of one pass.
struct Mp3SegmentFeed {
    uint64_t beginByte = 0;   ///< first byte decoded (a frame start)
    uint64_t endByte = 0;     ///< end of the last frame decoded
    int64_t firstSample = 0;  ///< output sample of the first decoded sample
    uint64_t exactFrom = 0;   ///< first output sample equal to one pass
    /// Frames decoded: the decoder gives samplesPerFrame for each.
    uint64_t frames = 0;
};

/// The feed of a segment of output samples [start, stop), or to the end for
/// the last one. A few frames before the start prime the decoder: enough
/// main data for the bit reservoir of the frames whose spectra reach the
/// first exact frame, and a whole number of 4 frames from the first, so that
/// the decoder's filterbank turns in the phase it has in one pass.
std::optional<Mp3SegmentFeed> PlanMp3Feed(const Mp3FrameIndex& index, uint64_t start, uint64_t stop, bool last);

/// Whether the segment from output sample `start` reads the file as one pass
/// reads it, rather than being fed: the first one, where GStreamer's parser
/// trims (the trimming then is the parser's own).
inline bool Mp3SegmentReadsFile(const Mp3FrameIndex& index, uint64_t start)
{
    return start == 0 && index.parserTrims;
}

} // namespace kx
