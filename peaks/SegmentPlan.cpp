#include "SegmentPlan.h"

#include <QFile>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Mp3Frames.h"
#include "platform/LittleEndian.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Ogg pages are at most about 64 KiB: the last page of a stream starts
// within this many bytes of the end.
constexpr qint64 OggTailBytes = 72 * 1024;
// The head looked at for other logical streams beside the Vorbis one.
constexpr qint64 OggHeadBytes = 64 * 1024;
constexpr uint8_t OggBeginFlag = 2;
// An MP3 file is scanned through blocks of this size.
constexpr size_t Mp3BlockBytes = 1 << 20;

uint64_t BigEndianBits(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

SegmentableStream ProbeFlac(const QByteArray& head)
{
    // "fLaC", then the STREAMINFO block first: rate 20 bits, channels - 1
    // 3 bits, bits - 1 5 bits, total frames 36 bits, from byte 18.
    SegmentableStream s;
    const auto* p = reinterpret_cast<const uint8_t*>(head.constData());
    if (head.size() < 26 || (p[4] & 0x7F) != 0 || BigEndianBits(p + 5, 3) < 34)
        return s;
    const uint64_t bits = BigEndianBits(p + 18, 8);
    s.rate = uint32_t(bits >> 44);
    s.channels = uint32_t((bits >> 41) & 7) + 1;
    s.frames = bits & ((uint64_t(1) << 36) - 1);
    if (s.rate > 0 && s.frames > 0)
        s.codec = SegmentableCodec::Flac;
    return s;
}

struct OggPage {
    qint64 at = -1;
    uint8_t flags = 0;
    uint64_t granule = 0;
    uint32_t serial = 0;
};

// The pages whose capture pattern and version fit, in the bytes.
std::vector<OggPage> OggPages(const QByteArray& bytes, qint64 base)
{
    std::vector<OggPage> pages;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
    for (qint64 i = bytes.indexOf("OggS"); i >= 0 && i + 27 <= bytes.size(); i = bytes.indexOf("OggS", i + 1)) {
        if (p[i + 4] != 0)
            continue;
        OggPage page;
        page.at = base + i;
        page.flags = p[i + 5];
        page.granule = ReadU64LE(p + i + 6);
        page.serial = ReadU32LE(p + i + 14);
        pages.push_back(page);
    }
    return pages;
}

SegmentableStream ProbeVorbis(QFile& file, const QByteArray& head)
{
    SegmentableStream s;
    const std::vector<OggPage> pages = OggPages(head, 0);
    if (pages.empty() || pages[0].at != 0 || !(pages[0].flags & OggBeginFlag))
        return s;
    const auto* p = reinterpret_cast<const uint8_t*>(head.constData());
    const int segments = p[26];
    const qint64 packet = 27 + segments;
    if (head.size() < packet + 16 || std::memcmp(p + packet, "\x01vorbis", 7) != 0)
        return s;
    const uint32_t serial = pages[0].serial;
    // A second logical stream (video beside the audio, a chained file)
    // decodes differently from a seek.
    for (const OggPage& page : pages)
        if (page.serial != serial || ((page.flags & OggBeginFlag) && page.at != 0))
            return s;
    s.channels = p[packet + 11];
    s.rate = ReadU32LE(p + packet + 12);
    const qint64 size = file.size();
    const qint64 from = std::max<qint64>(0, size - OggTailBytes);
    if (!file.seek(from))
        return s;
    const QByteArray tail = file.read(size - from);
    const std::vector<OggPage> last = OggPages(tail, from);
    if (last.empty() || last.back().serial != serial || last.back().granule == ~uint64_t(0))
        return s;
    s.frames = last.back().granule;
    if (s.rate > 0 && s.channels > 0 && s.frames > 0)
        s.codec = SegmentableCodec::Vorbis;
    return s;
}

bool LooksLikeMp3(const QByteArray& head)
{
    const auto* p = reinterpret_cast<const uint8_t*>(head.constData());
    return head.startsWith("ID3") || (head.size() >= 4 && ParseMp3FrameHeader(p));
}

// The file read through a window of blocks, so that scanning a long file
// neither maps nor holds it.
class BlockReader
{
public:
    explicit BlockReader(QFile& file) : file_(file) {}

    bool Read(uint64_t offset, uint8_t* out, size_t n)
    {
        if (offset < from_ || offset + n > from_ + block_.size()) {
            if (!file_.seek(qint64(offset)))
                return false;
            block_.resize(std::max<size_t>(n, Mp3BlockBytes));
            const qint64 got = file_.read(reinterpret_cast<char*>(block_.data()), qint64(block_.size()));
            block_.resize(got > 0 ? size_t(got) : 0);
            from_ = offset;
            if (block_.size() < n)
                return false;
        }
        std::memcpy(out, block_.data() + (offset - from_), n);
        return true;
    }

private:
    QFile& file_;
    std::vector<uint8_t> block_;
    uint64_t from_ = 0;
};

SegmentableStream ProbeMp3(QFile& file)
{
    SegmentableStream s;
    BlockReader reader(file);
    Mp3Scan scan = ScanMp3(uint64_t(file.size()), [&reader](uint64_t offset, uint8_t* out, size_t n) {
        return reader.Read(offset, out, n);
    });
    if (!scan.index) {
        qCDebug(lcPeaks) << "MP3 in one pass:" << scan.refusal;
        return s;
    }
    s.rate = scan.index->rate;
    s.channels = scan.index->channels;
    s.frames = scan.index->length;
    s.mp3 = std::make_shared<const Mp3FrameIndex>(std::move(*scan.index));
    if (s.frames > 0)
        s.codec = SegmentableCodec::Mp3;
    return s;
}

} // namespace

SegmentableStream ProbeSegmentable(const QString& mediaFile)
{
    // Regular files only: opening a FIFO would wait for a writer.
    if (!StatNative(mediaFile).isFile)
        return {};
    QFile file;
    if (!OpenNativeFile(file, mediaFile, QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(OggHeadBytes);
    if (head.startsWith("fLaC"))
        return ProbeFlac(head);
    if (head.startsWith("OggS"))
        return ProbeVorbis(file, head);
    if (LooksLikeMp3(head))
        return ProbeMp3(file);
    return {};
}

SegmentPolicy DefaultSegmentPolicy()
{
    SegmentPolicy policy;
    // A cap, never a count: more segments than processors only add threads
    // and open files (100,000 of them exhaust the file handles).
    if (const char* v = std::getenv("KX_PEAK_SEGMENTS"); v && *v)
        policy.maxSegments = std::clamp(std::atoi(v), 1, std::max(QThread::idealThreadCount(), 1));
    return policy;
}

int SegmentParallelism(const SegmentPolicy& policy, int cores)
{
    return policy.maxSegments > 0 ? policy.maxSegments : std::max(cores, 1);
}

std::vector<SegmentSpan> PlanSegments(const PeakReducerSettings& settings, uint64_t totalFrames,
                                      const SegmentPolicy& policy, int parallel)
{
    PeakReducer reducer;
    if (!reducer.Init(settings))
        return {};
    std::vector<SegmentSpan> spans;
    const auto whole = [&] {
        spans.assign(1, SegmentSpan{0, 0, 0, true});
        return spans;
    };
    if (parallel < 2 || totalFrames == 0 || double(totalFrames) < policy.minSeconds * settings.inputRate)
        return whole();

    // The first record that starts at or after a frame and has frames of its own.
    const auto recordFrom = [&](uint64_t frame) {
        uint64_t k = uint64_t((uint128_t)frame * settings.outputRate /
                              ((uint128_t)settings.samplesPerPeak * settings.inputRate));
        while (k > 0 && reducer.RunStart(k) > frame)
            --k;
        while (reducer.RunStart(k) < frame || reducer.RunEnd(k) == reducer.RunStart(k))
            ++k;
        return k;
    };
    std::vector<uint64_t> cuts;
    if (policy.segmentFrames > 0) {
        for (uint64_t f = policy.segmentFrames; f < totalFrames; f += policy.segmentFrames)
            cuts.push_back(recordFrom(f));
    } else {
        for (int i = 1; i < parallel; ++i)
            cuts.push_back(recordFrom(uint64_t((uint128_t)totalFrames * uint64_t(i) / uint64_t(parallel))));
    }
    // A cut at or past the stated end would leave a segment with nothing to
    // decode (and the stated end may be off).
    uint64_t previous = 0;
    spans.push_back(SegmentSpan{0, 0, 0, false});
    for (uint64_t k : cuts) {
        if (k <= previous || reducer.RunStart(k) >= totalFrames)
            continue;
        spans.back().stopFrame = reducer.RunStart(k);
        spans.push_back(SegmentSpan{k, reducer.RunStart(k), 0, false});
        previous = k;
    }
    spans.back().last = true;
    return spans;
}

} // namespace kx
