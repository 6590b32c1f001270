#include "Mp3Frames.h"

#include <algorithm>
#include <cstring>

namespace kx {

namespace {

// kbit/s by [low sampling frequency][layer - 1][index].
constexpr uint16_t Bitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};
constexpr uint32_t Rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

// The decoder delay the parser adds to the tag's encoder delay.
constexpr uint32_t DecoderDelay = 529;
// main_data_begin has 9 bits in MPEG-1: a frame's main data starts at most
// this many bytes of earlier frames' main data before its own.
constexpr uint64_t ReservoirBytes = 511;
// mpg123's synthesis filterbank keeps a ring of 16 slots, and a frame moves
// it by 36: decoding starts a multiple of 4 frames after the first one, so
// that the ring turns in the phase it has in one pass (its sums are taken
// in ring order, and another phase rounds some samples the other way).
constexpr uint64_t PhaseFrames = 4;

constexpr uint32_t XingFramesFlag = 1, XingBytesFlag = 2, XingTocFlag = 4, XingScaleFlag = 8;
constexpr size_t Id3v2HeaderBytes = 10;
constexpr size_t Id3v1Bytes = 128;

uint32_t ReadBE32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Where "Xing"/"Info" stands in a frame: after the header and the side
// information (a checksum is not counted, as the parser does not).
uint32_t XingOffset(int version, uint32_t channels)
{
    if (version == 1)
        return 4 + (channels == 1 ? 17 : 32);
    return 4 + (channels == 1 ? 9 : 17);
}

// The LAME extension's own checksum: CRC-16 (polynomial 0x8005, reflected,
// start 0) of the frame up to the checksum field.
uint16_t TagCrc(const uint8_t* data, size_t size)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc = uint16_t(crc ^ data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

// LAME sums the bytes before the field; FFmpeg sums 190 bytes whatever the
// frame's layout, the field and what follows it still zero (the same bytes
// for MPEG-1, where the field is at 190).
bool TagCrcMatches(const uint8_t* frame, uint32_t crcAt, uint16_t stored)
{
    if (TagCrc(frame, crcAt) == stored)
        return true;
    constexpr uint32_t FFmpegSpan = 190;
    if (crcAt >= FFmpegSpan)
        return false;
    uint8_t span[FFmpegSpan] = {};
    std::memcpy(span, frame, crcAt);
    return TagCrc(span, FFmpegSpan) == stored;
}

struct LameTag {
    bool present = false;
    // The encoder string starts with "LAME": GStreamer's parser trims by it.
    bool parserTrims = false;
    uint32_t delay = 0;
    uint32_t padding = 0;
    uint64_t frames = 0;
};

// The fields of a tag frame: the frame count, and the encoder delay and
// padding of a LAME extension right after the Xing fields. The parser takes
// the extension only under a "LAME" encoder string; other writers (FFmpeg's
// "Lavc") write the same extension, taken here when its checksum holds.
LameTag ReadLameTag(const uint8_t* frame, uint32_t bytes, int version, uint32_t channels)
{
    LameTag tag;
    const uint32_t at = XingOffset(version, channels);
    if (bytes < at + 8)
        return tag;
    const uint32_t flags = ReadBE32(frame + at + 4);
    uint32_t needed = at + 8;
    needed += (flags & XingFramesFlag) ? 4 : 0;
    needed += (flags & XingBytesFlag) ? 4 : 0;
    needed += (flags & XingTocFlag) ? 100 : 0;
    needed += (flags & XingScaleFlag) ? 4 : 0;
    if (bytes < needed)
        return tag;
    if (flags & XingFramesFlag)
        tag.frames = ReadBE32(frame + at + 8);
    const uint8_t* lame = frame + needed;
    if (bytes - needed < 36)
        return tag;
    tag.parserTrims = std::memcmp(lame, "LAME", 4) == 0;
    const uint16_t stored = uint16_t(lame[34] << 8 | lame[35]);
    if (!tag.parserTrims && !TagCrcMatches(frame, needed + 34, stored))
        return tag;
    const uint32_t v = uint32_t(lame[21]) << 16 | uint32_t(lame[22]) << 8 | lame[23];
    tag.present = true;
    tag.delay = v >> 12;
    tag.padding = v & 0xFFF;
    return tag;
}

} // namespace

std::optional<Mp3FrameHeader> ParseMp3FrameHeader(const uint8_t* p)
{
    const uint32_t h = ReadBE32(p);
    if ((h & 0xFFE00000u) != 0xFFE00000u)
        return std::nullopt;
    const uint32_t versionBits = (h >> 19) & 3, layerBits = (h >> 17) & 3;
    const uint32_t bitrateIndex = (h >> 12) & 15, rateIndex = (h >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    Mp3FrameHeader f;
    f.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    const int lsf = f.version == 1 ? 0 : 1;
    f.layer = 4 - int(layerBits);
    f.crc = ((h >> 16) & 1) == 0;
    f.rate = Rates[f.version == 1 ? 0 : f.version == 2 ? 1 : 2][rateIndex];
    f.bitrate = uint32_t(Bitrates[lsf][f.layer - 1][bitrateIndex]) * 1000;
    f.channels = ((h >> 6) & 3) == 3 ? 1 : 2;
    const uint32_t padding = (h >> 9) & 1;
    if (f.layer == 1) {
        f.samples = 384;
        f.bytes = f.bitrate ? 4 * (12 * f.bitrate / f.rate + padding) : 0;
    } else if (f.layer == 2) {
        f.samples = 1152;
        f.bytes = f.bitrate ? 144 * f.bitrate / f.rate + padding : 0;
    } else {
        f.samples = lsf ? 576 : 1152;
        f.bytes = f.bitrate ? 144 * f.bitrate / (f.rate << lsf) + padding : 0;
    }
    f.overhead = 4 + (f.crc ? 2 : 0);
    if (f.layer == 3)
        f.overhead += lsf ? (f.channels == 1 ? 9 : 17) : (f.channels == 1 ? 17 : 32);
    return f;
}

std::optional<Mp3GaplessRange> Mp3Gapless(uint64_t frames, uint32_t samplesPerFrame, uint32_t delay,
                                          uint32_t padding, uint64_t tagFrames)
{
    // The parser's arithmetic, unsigned as there.
    const uint64_t start = uint64_t(delay) + DecoderDelay;
    const uint64_t end = tagFrames * samplesPerFrame + DecoderDelay - padding;
    bool any = false;
    Mp3GaplessRange range;
    uint64_t cursor = 0;
    for (uint64_t n = 0; n < frames; ++n) {
        const uint64_t pos = n * samplesPerFrame, posEnd = pos + samplesPerFrame;
        uint64_t a = pos, b = posEnd;
        if ((pos <= start || posEnd >= end) && n < tagFrames) {
            if (posEnd <= start)
                a = b;
            else if (pos <= start)
                a = start;
            else if (pos >= end)
                a = b;
            else
                b = end;
        }
        if (a == b)
            continue;
        if (!any) {
            any = true;
            range.skip = a;
        } else if (a != cursor) {
            return std::nullopt;
        }
        cursor = b;
    }
    if (!any)
        return std::nullopt;
    range.length = cursor - range.skip;
    return range;
}

Mp3Scan ScanMp3(uint64_t size, const Mp3Reader& read)
{
    Mp3Scan scan;
    const auto refuse = [&scan](const char* why) {
        scan.refusal = why;
        return scan;
    };
    uint8_t b[Id3v2HeaderBytes];
    uint64_t pos = 0;
    if (size >= Id3v2HeaderBytes && read(0, b, Id3v2HeaderBytes) && std::memcmp(b, "ID3", 3) == 0) {
        uint32_t tagBytes = 0;
        for (size_t i = 6; i < 10; ++i) {
            if (b[i] & 0x80)
                return refuse("an ID3 tag with an invalid size");
            tagBytes = tagBytes << 7 | b[i];
        }
        pos = Id3v2HeaderBytes + tagBytes + ((b[5] & 0x10) ? Id3v2HeaderBytes : 0);
    }
    if (pos + 4 > size || !read(pos, b, 4))
        return refuse("no audio frames");
    const std::optional<Mp3FrameHeader> first = ParseMp3FrameHeader(b);
    if (!first)
        return refuse("no frame where the audio starts");
    if (first->layer != 3)
        return refuse("not layer III");
    // Lower sampling frequencies decode differently from a cut in their last bits.
    if (first->version != 1)
        return refuse("MPEG-2 or MPEG-2.5");

    Mp3FrameIndex index;
    index.rate = first->rate;
    index.channels = first->channels;
    index.samplesPerFrame = first->samples;
    index.overhead = first->overhead;
    const uint32_t xingAt = XingOffset(first->version, first->channels);
    LameTag tag;
    std::vector<uint8_t> tagFrame;
    bool firstFrame = true;
    while (pos < size) {
        if (pos + Id3v1Bytes == size && read(pos, b, 3) && std::memcmp(b, "TAG", 3) == 0)
            break;
        if (pos + 4 > size || !read(pos, b, 4))
            return refuse("the file ends inside a frame");
        const std::optional<Mp3FrameHeader> f = ParseMp3FrameHeader(b);
        if (!f)
            return refuse("the frame sync does not continue");
        if (f->version != first->version || f->layer != first->layer || f->rate != first->rate ||
            f->channels != first->channels || f->crc != first->crc)
            return refuse("the frames change format");
        if (f->bytes == 0)
            return refuse("free format");
        if (pos + f->bytes > size)
            return refuse("the file ends inside a frame");
        const bool marked = f->bytes >= xingAt + 4 && read(pos + xingAt, b, 4) &&
                            (std::memcmp(b, "Xing", 4) == 0 || std::memcmp(b, "Info", 4) == 0);
        if (marked) {
            // The parser drops such a frame wherever it is; after the first
            // it would be a frame our count decodes and one pass does not.
            if (!firstFrame)
                return refuse("a tag frame inside the stream");
            tagFrame.resize(f->bytes);
            if (!read(pos, tagFrame.data(), tagFrame.size()))
                return refuse("the file ends inside a frame");
            tag = ReadLameTag(tagFrame.data(), f->bytes, f->version, f->channels);
        } else {
            index.offsets.push_back(pos);
        }
        firstFrame = false;
        pos += f->bytes;
    }
    if (index.offsets.empty())
        return refuse("no audio frames");
    index.offsets.push_back(pos);
    const uint64_t frames = index.FrameCount();
    index.length = frames * index.samplesPerFrame;
    if (tag.present) {
        const auto range = Mp3Gapless(frames, index.samplesPerFrame, tag.delay, tag.padding, tag.frames);
        if (!range)
            return refuse("the gapless tag leaves no contiguous range");
        index.skip = range->skip;
        index.length = range->length;
        index.parserTrims = tag.parserTrims;
    }
    scan.index = std::move(index);
    return scan;
}

std::optional<Mp3DecoderTrim> Mp3OnePassTrim(uint64_t size, const Mp3Reader& read)
{
    uint8_t b[Id3v2HeaderBytes];
    uint64_t pos = 0;
    if (size >= Id3v2HeaderBytes && read(0, b, Id3v2HeaderBytes) && std::memcmp(b, "ID3", 3) == 0) {
        uint32_t tagBytes = 0;
        for (size_t i = 6; i < 10; ++i)
            tagBytes = tagBytes << 7 | (b[i] & 0x7F);
        pos = Id3v2HeaderBytes + tagBytes + ((b[5] & 0x10) ? Id3v2HeaderBytes : 0);
    }
    if (pos + 4 > size || !read(pos, b, 4))
        return std::nullopt;
    const std::optional<Mp3FrameHeader> f = ParseMp3FrameHeader(b);
    if (!f || f->layer != 3 || f->bytes == 0 || pos + f->bytes > size)
        return std::nullopt;
    std::vector<uint8_t> frame(f->bytes);
    const uint32_t xingAt = XingOffset(f->version, f->channels);
    if (!read(pos, frame.data(), frame.size()) || frame.size() < xingAt + 4 ||
        (std::memcmp(&frame[xingAt], "Xing", 4) != 0 && std::memcmp(&frame[xingAt], "Info", 4) != 0))
        return std::nullopt;
    const LameTag tag = ReadLameTag(frame.data(), f->bytes, f->version, f->channels);
    if (!tag.present || tag.parserTrims)
        return std::nullopt;
    Mp3DecoderTrim trim;
    trim.skip = uint64_t(tag.delay) + DecoderDelay;
    // As the parser would: the end only where the tag counts the frames.
    const uint64_t end = tag.frames * f->samples + DecoderDelay;
    trim.end = tag.frames > 0 && end > trim.skip + tag.padding ? end - tag.padding : UINT64_MAX;
    return trim;
}

Mp3Scan ScanMp3(std::span<const uint8_t> file)
{
    return ScanMp3(file.size(), [file](uint64_t offset, uint8_t* out, size_t n) {
        if (offset > file.size() || n > file.size() - offset)
            return false;
        std::memcpy(out, file.data() + offset, n);
        return true;
    });
}

std::optional<Mp3SegmentFeed> PlanMp3Feed(const Mp3FrameIndex& index, uint64_t start, uint64_t stop, bool last)
{
    const uint64_t frames = index.FrameCount();
    const uint64_t spf = index.samplesPerFrame;
    if (frames == 0 || start >= index.length || (!last && (stop <= start || stop > index.length)))
        return std::nullopt;
    // The frame before the one holding the first sample is compared with the
    // neighbour, so it is the first that must be exact; its output needs the
    // spectra of itself and of the frame before it (the overlap of the
    // transform, the window of the filterbank).
    const uint64_t cut = (start + index.skip) / spf;
    const uint64_t exact = cut > 0 ? cut - 1 : 0;
    uint64_t first = exact > 0 ? exact - 1 : 0;
    for (uint64_t main = 0; first > 0 && main < ReservoirBytes;) {
        --first;
        main += index.offsets[first + 1] - index.offsets[first] - index.overhead;
    }
    first -= first % PhaseFrames;
    // One frame past the last needed one, so that the decoder has nothing
    // left to hold back when the stream ends.
    const uint64_t end = last ? frames : std::min(frames, (stop - 1 + index.skip) / spf + 2);
    Mp3SegmentFeed feed;
    feed.beginByte = index.offsets[first];
    feed.endByte = index.offsets[end];
    feed.firstSample = int64_t(first * spf) - int64_t(index.skip);
    feed.exactFrom = exact * spf > index.skip ? exact * spf - index.skip : 0;
    feed.frames = end - first;
    return feed;
}

} // namespace kx
