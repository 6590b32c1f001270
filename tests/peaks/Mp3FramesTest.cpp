#include <gtest/gtest.h>

#include "LameTagCrc.h"

#include <cstring>
#include <optional>

#include "peaks/Mp3Frames.h"

namespace kx {

namespace {

// MPEG-1 layer III headers without checksum: 44.1 kHz, joint stereo.
constexpr uint32_t Stereo128 = 0xFFFB9064;  // 417 bytes
constexpr uint32_t Stereo32 = 0xFFFB1064;   // 104 bytes, the smallest
constexpr uint32_t Mono128 = 0xFFFB90C4;

void PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

uint32_t FrameBytes(uint32_t header)
{
    uint8_t b[4];
    PutBE32(b, header);
    return ParseMp3FrameHeader(b)->bytes;
}

// A stream of frames with the given headers and zero payload.
std::vector<uint8_t> Frames(const std::vector<uint32_t>& headers)
{
    std::vector<uint8_t> out;
    for (uint32_t h : headers) {
        const size_t at = out.size();
        out.resize(at + FrameBytes(h), 0);
        PutBE32(&out[at], h);
    }
    return out;
}

std::vector<uint8_t> Frames(uint32_t header, size_t count)
{
    return Frames(std::vector<uint32_t>(count, header));
}

// A tag frame of 128 kbit/s as an encoder writes it in front: "Info" with
// the frame count, then a LAME extension with the delay and the padding.
std::vector<uint8_t> TagFrame(uint32_t header, uint32_t frames, uint32_t delay, uint32_t padding, bool lame = true)
{
    std::vector<uint8_t> f = Frames(header, 1);
    const size_t at = ((header >> 6) & 3) == 3 ? 21 : 36;
    std::memcpy(&f[at], "Info", 4);
    PutBE32(&f[at + 4], 1);  // the frame count only
    PutBE32(&f[at + 8], frames);
    if (lame) {
        uint8_t* l = &f[at + 12];
        std::memcpy(l, "LAME3.100", 9);
        const uint32_t v = delay << 12 | padding;
        l[21] = uint8_t(v >> 16), l[22] = uint8_t(v >> 8), l[23] = uint8_t(v);
    }
    return f;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Mp3Scan Scan(const std::vector<uint8_t>& bytes)
{
    return ScanMp3(std::span<const uint8_t>(bytes.data(), bytes.size()));
}

} // namespace

TEST(Mp3FrameHeader, readsLengthSamplesAndSideInformation)
{
    uint8_t b[4];
    PutBE32(b, Stereo128);
    auto h = ParseMp3FrameHeader(b);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->version, 1);
    EXPECT_EQ(h->layer, 3);
    EXPECT_EQ(h->bitrate, 128000u);
    EXPECT_EQ(h->rate, 44100u);
    EXPECT_EQ(h->channels, 2u);
    EXPECT_EQ(h->bytes, 417u);
    EXPECT_EQ(h->samples, 1152u);
    EXPECT_EQ(h->overhead, 4u + 32u);
    // Padding bit, mono with a checksum, 48 kHz, MPEG-2 at 22.05 kHz.
    PutBE32(b, Stereo128 | 0x200);
    EXPECT_EQ(ParseMp3FrameHeader(b)->bytes, 418u);
    PutBE32(b, Mono128 & ~0x10000u);
    EXPECT_EQ(ParseMp3FrameHeader(b)->overhead, 4u + 2u + 17u);
    PutBE32(b, 0xFFFB9464);
    EXPECT_EQ(ParseMp3FrameHeader(b)->rate, 48000u);
    EXPECT_EQ(ParseMp3FrameHeader(b)->bytes, 384u);
    PutBE32(b, 0xFFF39064);
    h = ParseMp3FrameHeader(b);
    EXPECT_EQ(h->version, 2);
    EXPECT_EQ(h->rate, 22050u);
    EXPECT_EQ(h->samples, 576u);
    EXPECT_EQ(h->bitrate, 80000u);
    EXPECT_EQ(h->bytes, 144u * 80000 / (22050 * 2));
    // Free format parses with no length; the reserved values do not parse.
    PutBE32(b, 0xFFFB0064);
    EXPECT_EQ(ParseMp3FrameHeader(b)->bytes, 0u);
    for (uint32_t bad : {0xFFFBF064u, 0xFFFB9C64u, 0xFFEB9064u, 0xFFF99064u, 0x7FFB9064u}) {
        PutBE32(b, bad);
        EXPECT_FALSE(ParseMp3FrameHeader(b)) << std::hex << bad;
    }
}

TEST(Mp3Scan, indexesFramesBetweenId3Tags)
{
    std::vector<uint8_t> id3 = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 3};  // 131 bytes and a footer
    id3.resize(10 + 131 + 10, 0);
    std::vector<uint8_t> id3v1(128, 0);
    std::memcpy(id3v1.data(), "TAG", 3);
    const auto frames = Frames({Stereo128, Stereo32, Stereo128 | 0x200, Stereo32});
    const auto scan = Scan(Join(Join(id3, frames), id3v1));
    ASSERT_TRUE(scan.index) << scan.refusal;
    const Mp3FrameIndex& i = *scan.index;
    EXPECT_EQ(i.rate, 44100u);
    EXPECT_EQ(i.channels, 2u);
    EXPECT_EQ(i.overhead, 36u);
    EXPECT_EQ(i.offsets, (std::vector<uint64_t>{151, 151 + 417, 151 + 521, 151 + 939, 151 + 1043}));
    EXPECT_EQ(i.skip, 0u);
    EXPECT_EQ(i.length, 4u * 1152);
}

TEST(Mp3Scan, refusesWhatOnePassWouldDecodeOtherwise)
{
    const auto good = Frames(Stereo128, 20);
    const auto refused = [](const std::vector<uint8_t>& bytes) { return !Scan(bytes).index; };
    EXPECT_FALSE(refused(good));
    // Cut inside a frame; trailing bytes that are no ID3v1 tag; garbage inside.
    EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.end() - 100)));
    EXPECT_TRUE(refused(Join(good, std::vector<uint8_t>(127, 0))));
    auto damaged = good;
    damaged[417 * 7] = 0;
    EXPECT_TRUE(refused(damaged));
    // Another format partway, free format, MPEG-2, layer II, mono after stereo.
    EXPECT_TRUE(refused(Join(good, Frames(0xFFFB9464, 2))));
    EXPECT_TRUE(refused(Join(good, Frames(Mono128, 2))));
    EXPECT_TRUE(refused(Frames(0xFFF39064, 20)));
    EXPECT_TRUE(refused(Frames(0xFFFD9064, 20)));
    std::vector<uint8_t> free = good;
    free[2] = 0x00;
    EXPECT_TRUE(refused(free));
    // The parser drops any frame marked like a tag: only the first may be one.
    auto marked = good;
    std::memcpy(&marked[417 * 5 + 36], "Xing", 4);
    EXPECT_TRUE(refused(marked));
    // An ID3v2 size with the high bit set, nothing after the tag.
    EXPECT_TRUE(refused({'I', 'D', '3', 4, 0, 0, 0, 0, 0x80, 0}));
    EXPECT_TRUE(refused({'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0}));
}

TEST(Mp3Scan, aTagFrameIsNoAudioAndItsLameDelayAndPaddingAreTrimmed)
{
    // 20 audio frames of 23040 samples: the encoder's 576 and the decoder's
    // 529 in front, and 1000 of padding at the end.
    const auto audio = Frames(Stereo128, 20);
    auto scan = Scan(Join(TagFrame(Stereo128, 20, 576, 1000), audio));
    ASSERT_TRUE(scan.index) << scan.refusal;
    EXPECT_EQ(scan.index->FrameCount(), 20u);
    EXPECT_EQ(scan.index->offsets.front(), 417u);
    EXPECT_EQ(scan.index->skip, 1105u);
    EXPECT_EQ(scan.index->length, 20u * 1152 - 576 - 1000);
    // A tag counting itself among the frames clips later (here: never).
    scan = Scan(Join(TagFrame(Stereo128, 21, 576, 1000), audio));
    EXPECT_EQ(scan.index->length, 20u * 1152 - 1105);
    // A mono tag sits after the shorter side information.
    scan = Scan(Join(TagFrame(Mono128, 20, 576, 100), Frames(Mono128, 20)));
    ASSERT_TRUE(scan.index) << scan.refusal;
    EXPECT_EQ(scan.index->skip, 1105u);
    // Without the LAME extension nothing is trimmed, and the frame still goes.
    scan = Scan(Join(TagFrame(Stereo128, 20, 0, 0, false), audio));
    EXPECT_EQ(scan.index->skip, 0u);
    EXPECT_EQ(scan.index->length, 20u * 1152);
    // More frames than the tag has: the parser clips in the middle.
    EXPECT_FALSE(Scan(Join(TagFrame(Stereo128, 10, 576, 1000), audio)).index);
}

TEST(Mp3Gapless, clipsFramesAsTheParserDoes)
{
    // A delay beyond the first frame clips it whole; padding beyond the last
    // frame's samples clips it whole and part of the one before.
    auto r = Mp3Gapless(10, 1152, 1200, 2000, 10);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->skip, 1729u);
    EXPECT_EQ(r->length, 10u * 1152 + 529 - 2000 - 1729);
    // No frame count: the parser clips nothing.
    r = Mp3Gapless(10, 1152, 576, 1000, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->skip, 0u);
    EXPECT_EQ(r->length, 10u * 1152);
    // Everything clipped.
    EXPECT_FALSE(Mp3Gapless(1, 1152, 1000, 1000, 1));
}

TEST(Mp3Feed, primesWithTheReservoirInAPhaseOfFourFrames)
{
    // Frames of 104 bytes (68 of main data): 511 bytes take 8 of them.
    auto scan = Scan(Frames(Stereo32, 400));
    ASSERT_TRUE(scan.index);
    const Mp3FrameIndex& i = *scan.index;
    const uint64_t start = 200 * 1152 + 300, stop = 300 * 1152;
    const auto feed = PlanMp3Feed(i, start, stop, false);
    ASSERT_TRUE(feed);
    // Frame 199 is compared, 198 and 199 must decode right, 190..197 give
    // their main data, and decoding starts at the multiple of 4 before.
    EXPECT_EQ(feed->exactFrom, 199u * 1152);
    EXPECT_EQ(feed->firstSample, 188 * 1152);
    EXPECT_EQ(feed->beginByte, 188u * 104);
    // The stop's frame and one more.
    EXPECT_EQ(feed->frames, 301u - 188);
    EXPECT_EQ(feed->endByte, 301u * 104);
    const auto last = PlanMp3Feed(i, start, 0, true);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->endByte, 400u * 104);
    EXPECT_EQ(last->frames, 400u - 188);
    // Large frames need fewer; at the start decoding begins with frame 0.
    scan = Scan(Frames(Stereo128, 400));
    EXPECT_EQ(PlanMp3Feed(*scan.index, start, stop, false)->firstSample, 196 * 1152);
    EXPECT_EQ(PlanMp3Feed(*scan.index, 3000, stop, false)->firstSample, 0);
    // Nothing to decode, or past the end.
    EXPECT_FALSE(PlanMp3Feed(i, stop, start, false));
    EXPECT_FALSE(PlanMp3Feed(i, i.length, 0, true));
    EXPECT_FALSE(PlanMp3Feed(i, start, i.length + 1, false));
}

TEST(Mp3Feed, countsFromTheTrimmedStart)
{
    const auto scan = Scan(Join(TagFrame(Stereo128, 400, 576, 1000), Frames(Stereo128, 400)));
    ASSERT_TRUE(scan.index);
    const auto feed = PlanMp3Feed(*scan.index, 100000, 200000, false);
    ASSERT_TRUE(feed);
    // Output sample 100000 is stream sample 101105, in frame 87; 85 and 86
    // must decode right, 83 and 84 hold their reservoir.
    EXPECT_EQ(feed->exactFrom, 86u * 1152 - 1105);
    EXPECT_EQ(feed->firstSample, 80 * 1152 - 1105);
    EXPECT_EQ(feed->beginByte, 417u + 80 * 417);
    // A cut in the first frames starts from the first, before the trimmed start.
    EXPECT_EQ(PlanMp3Feed(*scan.index, 10, 200000, false)->firstSample, -1105);
}

namespace {

enum class TagSum { Lame, FFmpeg, Wrong };

// An "Info" frame with a LAME extension under another encoder string, as
// FFmpeg writes it; the checksum summed as LAME or FFmpeg does, or wrong.
std::vector<uint8_t> ForeignTagFrame(uint32_t header, uint32_t frames, uint32_t delay, uint32_t padding, TagSum sum,
                                     const char* encoder = "Lavc59.37")
{
    std::vector<uint8_t> f = Frames(header, 1);
    const bool mpeg1 = ((header >> 19) & 3) == 3, mono = ((header >> 6) & 3) == 3;
    const size_t at = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    std::memcpy(&f[at], "Info", 4);
    PutBE32(&f[at + 4], 1);
    PutBE32(&f[at + 8], frames);
    uint8_t* l = &f[at + 12];
    std::memcpy(l, encoder, std::strlen(encoder));
    const uint32_t v = delay << 12 | padding;
    l[21] = uint8_t(v >> 16), l[22] = uint8_t(v >> 8), l[23] = uint8_t(v);
    const size_t crcAt = at + 12 + 34;
    std::vector<uint8_t> span(f.begin(), f.begin() + std::ptrdiff_t(crcAt));
    if (sum == TagSum::FFmpeg)
        span.resize(190, 0);
    const uint16_t crc = uint16_t(test::LameTagCrc(span.data(), span.size()) ^ (sum == TagSum::Wrong ? 1 : 0));
    f[crcAt] = uint8_t(crc >> 8), f[crcAt + 1] = uint8_t(crc);
    return f;
}

std::optional<Mp3DecoderTrim> OnePassTrim(const std::vector<uint8_t>& file)
{
    return Mp3OnePassTrim(file.size(), [&file](uint64_t offset, uint8_t* out, size_t n) {
        if (offset > file.size() || n > file.size() - offset)
            return false;
        std::memcpy(out, file.data() + offset, n);
        return true;
    });
}

// MPEG-2 layer III, 16 kHz, 40 kbit/s, stereo: 180 bytes, 576 samples.
constexpr uint32_t Mpeg2Stereo40 = 0xFFF35800;

} // namespace

TEST(Mp3Frames, aLameExtensionUnderAnotherEncoderStringIsTrimmedWhenItsChecksumHolds)
{
    const auto audio = Frames(Stereo128, 20);
    // FFmpeg's "Lavc" tag at 44.1 kHz: GStreamer's parser leaves it alone,
    // so one pass trims it itself, and the segments count it alike.
    for (TagSum sum : {TagSum::Lame, TagSum::FFmpeg}) {
        const auto file = Join(ForeignTagFrame(Stereo128, 20, 576, 1000, sum), audio);
        const auto trim = OnePassTrim(file);
        ASSERT_TRUE(trim);
        EXPECT_EQ(trim->skip, 576u + 529u);
        EXPECT_EQ(trim->end, 20u * 1152u + 529u - 1000u);
        const auto scan = Scan(file);
        ASSERT_TRUE(scan.index);
        EXPECT_EQ(scan.index->skip, 1105u);
        EXPECT_EQ(scan.index->length, 20u * 1152u - 576u - 1000u);
    }
    // A checksum that does not hold: nothing is taken from the frame.
    const auto wrong = Join(ForeignTagFrame(Stereo128, 20, 576, 1000, TagSum::Wrong), audio);
    EXPECT_FALSE(OnePassTrim(wrong));
    ASSERT_TRUE(Scan(wrong).index);
    EXPECT_EQ(Scan(wrong).index->skip, 0u);
    EXPECT_EQ(Scan(wrong).index->length, 20u * 1152u);
    // Under "LAME" the parser trims by itself: one pass adds nothing.
    EXPECT_FALSE(OnePassTrim(Join(ForeignTagFrame(Stereo128, 20, 576, 1000, TagSum::Wrong, "LAME3.99r"), audio)));
    EXPECT_FALSE(OnePassTrim(audio));
}

TEST(Mp3Frames, theTagOfALowRateStreamIsReadWhereItsSideInformationEnds)
{
    // MPEG-2 at 16 kHz: shorter side information, 576 samples a frame, and
    // FFmpeg's checksum over 190 bytes of which the last ones are zero.
    const auto file = Join(ForeignTagFrame(Mpeg2Stereo40, 86, 576, 960, TagSum::FFmpeg), Frames(Mpeg2Stereo40, 86));
    const auto trim = OnePassTrim(file);
    ASSERT_TRUE(trim);
    EXPECT_EQ(trim->skip, 1105u);
    EXPECT_EQ(trim->end, 86u * 576u + 529u - 960u);
    EXPECT_EQ(trim->end - trim->skip, 48000u);  // 3 s, as the source
    // With an ID3v2 tag in front.
    std::vector<uint8_t> tagged = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 35};
    tagged.resize(10 + 35, 0);
    const auto withId3 = OnePassTrim(Join(tagged, file));
    ASSERT_TRUE(withId3);
    EXPECT_EQ(withId3->skip, 1105u);
}

} // namespace kx
