// Segmented MP3 builds against one pass: frames counted from their headers,
// gapless tags, damaged files.
#include <gtest/gtest.h>

#include "Mp3Tags.h"

#include <cstring>
#include <random>

#include "SegmentedBuildFixture.h"
#include "peaks/Mp3Frames.h"

namespace kx {

namespace {

// A Xing tag frame in front that claims `claimed` frames and has no LAME
// extension, as some writers leave it.
bool AddXingFrameCount(const QString& path, uint32_t claimed)
{
    auto bytes = ReadFileBytes(path);
    if (bytes.size() < 4)
        return false;
    const uint32_t header = (uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3]);
    const uint32_t tagHeader = (header & ~0xF200u) | 0x9000u | 0x10000u;  // 128 kbit/s, no padding, no checksum
    uint8_t h[4];
    PutBE32(h, tagHeader);
    const auto f = ParseMp3FrameHeader(h);
    if (!f)
        return false;
    std::vector<uint8_t> tag(f->bytes, 0);
    PutBE32(tag.data(), tagHeader);
    uint8_t* xing = tag.data() + (f->channels == 1 ? 21 : 36);
    std::memcpy(xing, "Xing", 4);
    PutBE32(xing + 4, 1);
    PutBE32(xing + 8, claimed);
    bytes.insert(bytes.begin(), tag.begin(), tag.end());
    return TestMedia::WriteFile(path, bytes);
}

// An ID3v2 tag in front (with room to spare, as taggers leave) and an ID3v1
// tag at the end.
bool AddId3Tags(const QString& path)
{
    auto bytes = ReadFileBytes(path);
    std::vector<uint8_t> v2 = {'I', 'D', '3', 4, 0, 0, 0, 0, 8, 0};  // 1024 bytes of tag
    v2.resize(10 + 1024, 0);
    std::memcpy(&v2[10], "TIT2\0\0\0\x06\0\0\x03noise", 16);
    bytes.insert(bytes.begin(), v2.begin(), v2.end());
    std::vector<uint8_t> v1(128, 0);
    std::memcpy(v1.data(), "TAGnoise", 8);
    bytes.insert(bytes.end(), v1.begin(), v1.end());
    return TestMedia::WriteFile(path, bytes);
}

} // namespace

TEST_F(SegmentedBuildTest, mp3SegmentsMatchOnePass)
{
    // Constant and variable bit rates (one with a Xing frame in front, which
    // one pass drops), mono and stereo, the MPEG-1 rates; ticks leave silence
    // where many cuts fall. Segments of 30011 frames cut
    // 14 times in 10 s, at every phase of the frames and records.
    struct Case {
        const char* name;
        const char* encoder;
        const char* caps;
        const char* wave;
        int frames;
        RunFormat format;
    };
    const Case cases[] = {
        {"cbr.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", "audio/x-raw,format=S16LE,rate=44100,channels=2",
         "white-noise", 4410, {}},
        {"vbr48.mp3", "lamemp3enc target=quality quality=2 ! xingmux", "audio/x-raw,format=S16LE,rate=48000,channels=2",
         "white-noise", 4800, {}},
        {"mono.mp3", "lamemp3enc target=quality quality=6", "audio/x-raw,format=S16LE,rate=44100,channels=1",
         "white-noise", 4410, {1, sps44100, bp16, 100}},
        {"ticks32.mp3", "lamemp3enc target=bitrate bitrate=96 cbr=true", "audio/x-raw,format=S16LE,rate=32000,channels=2",
         "ticks", 3200, {2, sps44100, bp16, 37}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString media = Encode(c.name, c.encoder, 100, c.frames, c.caps, c.wave);
        ASSERT_EQ(ProbeSegmentable(media).codec, SegmentableCodec::Mp3);
        ExpectSame(media, Segments(30011), Planned(media, Segments(30011), c.format), c.format);
        ExpectSame(media, Segments(99991, 2), Planned(media, Segments(99991, 2), RunFormat{2, sps48000}),
                   RunFormat{2, sps48000});
    }
}

TEST_F(SegmentedBuildTest, mp3GaplessTrimmingIsCountedAsInOnePass)
{
    // One pass drops the encoder delay in front and the padding at the end
    // that a LAME tag states: the first and last segments trim alike.
    const QString stereo = Encode("tagged.mp3", "lamemp3enc target=bitrate bitrate=160 cbr=true", 100);
    ASSERT_TRUE(AddLameTag(stereo, 441000));
    ASSERT_TRUE(AddId3Tags(stereo));
    ASSERT_EQ(ProbeSegmentable(stereo).frames, 441000u);
    ExpectSame(stereo, Segments(30011), Planned(stereo, Segments(30011)));
    const QString mono = Encode("taggedmono.mp3", "lamemp3enc target=quality quality=4", 100, 4410,
                                QStringLiteral("audio/x-raw,format=S16LE,rate=44100,channels=1"));
    ASSERT_TRUE(AddLameTag(mono, 441000));
    ExpectSame(mono, Segments(44101, 4), Planned(mono, Segments(44101, 4), {1, sps44100, bp16, 100}),
               {1, sps44100, bp16, 100});
    // Cut short at a frame: the tag promises frames that are missing, so one
    // pass trims nothing at the end, nor does the count.
    const QString cut = Encode("short.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", 100);
    ASSERT_TRUE(AddLameTag(cut, 441000 + 5 * 1152, 5));
    ASSERT_EQ(ProbeSegmentable(cut).frames, ProbeSegmentable(cut).mp3->FrameCount() * 1152 - 1105);
    ExpectSame(cut, Segments(30011), Planned(cut, Segments(30011)));
}

TEST_F(SegmentedBuildTest, anMp3TagClaimingMoreFramesThanTheFileHoldsBuildsAlikeInOnePassAndSegments)
{
    // 0xFFFFFFFF frames would be peaks of hundreds of GiB; the file's size
    // says otherwise, so neither path refuses it.
    const QString mp3 = Encode("claims.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", 100);
    ASSERT_TRUE(AddXingFrameCount(mp3, 0xFFFFFFFFu));
    ExpectSame(mp3, Segments(30011), Planned(mp3, Segments(30011)));
    ExpectSame(mp3, Segments(30011, 2), Planned(mp3, Segments(30011, 2)));
}

TEST_F(SegmentedBuildTest, aGaplessTagUnderAnotherEncoderStringIsTrimmedAlikeInOnePassAndSegments)
{
    // FFmpeg writes LAME's extension under "Lavc": GStreamer's parser leaves
    // it alone, the builder trims it in one pass and counts it in segments.
    const QString mp3 = Encode("lavc.mp3", "lamemp3enc target=bitrate bitrate=160 cbr=true", 100);
    ASSERT_TRUE(AddLameTag(mp3, 441000, 0, "Lavc59.37"));
    ASSERT_EQ(ProbeSegmentable(mp3).frames, 441000u);
    const SegmentedRun one = Run(mp3, OnePass());
    ASSERT_TRUE(one.completed);
    EXPECT_EQ(one.peakFile.size(), size_t(PeakHeaderSize + 4410 * 8));  // 10 s at 44.1 kHz, 100 frames a record
    ExpectSame(mp3, Segments(30011), Planned(mp3, Segments(30011)));
}

TEST_F(SegmentedBuildTest, lowRateMp3AndAacStayOnePass)
{
    // MPEG-2 MP3 decodes differently in the last bits after a cut for as long
    // as the stream lasts, AAC's noise substitution never settles: the
    // builder never cuts them, and still builds them.
    const std::pair<const char*, const char*> files[] = {
        {"n22.mp3", "lamemp3enc target=bitrate bitrate=64 cbr=true"}, {"n.m4a", "audioconvert ! avenc_aac ! mp4mux"}};
    for (const auto& [name, encoder] : files) {
        SCOPED_TRACE(name);
        const QString media =
            Encode(name, encoder, 60, 2205, QStringLiteral("audio/x-raw,format=S16LE,rate=22050,channels=2"));
        ASSERT_FALSE(media.isEmpty());
        EXPECT_EQ(ProbeSegmentable(media).codec, SegmentableCodec::None);
        const SegmentedRun one = Run(media, OnePass());
        const SegmentedRun cut = Run(media, Segments(44100));
        ASSERT_TRUE(cut.completed) << cut.failures.join("; ").toStdString();
        EXPECT_EQ(cut.segments, 1);
        EXPECT_EQ(cut.peakFile, one.peakFile);
    }
}

TEST_F(SegmentedBuildTest, damagedMp3BuildsInOnePass)
{
    const QString mp3 = Encode("n.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true", 100);
    const auto frames = ProbeSegmentable(mp3).mp3;
    ASSERT_TRUE(frames);
    auto bytes = ReadFileBytes(mp3);
    // Cut inside a frame, and garbage in the middle: the sync does not run on.
    const QString shortFile = dir.filePath("short.mp3");
    const auto end = std::ptrdiff_t(frames->offsets[frames->FrameCount() * 3 / 5] + 100);
    ASSERT_TRUE(TestMedia::WriteFile(shortFile, std::vector<uint8_t>(bytes.begin(), bytes.begin() + end)));
    const QString damaged = dir.filePath("damaged.mp3");
    std::mt19937 rng(11);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 5000; ++i)
        bytes[i] = uint8_t(rng());
    ASSERT_TRUE(TestMedia::WriteFile(damaged, bytes));
    for (const QString& media : {shortFile, damaged}) {
        SCOPED_TRACE(media.toStdString());
        EXPECT_EQ(ProbeSegmentable(media).codec, SegmentableCodec::None);
        const SegmentedRun one = Run(media, OnePass());
        const SegmentedRun cut = Run(media, Segments(30011));
        EXPECT_EQ(cut.completed, one.completed);
        EXPECT_EQ(cut.segments, 1);
        EXPECT_EQ(cut.peakFile, one.peakFile);
        EXPECT_EQ(cut.stream, one.stream);
    }
}


} // namespace kx
