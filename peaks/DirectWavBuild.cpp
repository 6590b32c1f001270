#include "DirectWavBuild.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "platform/NativeName.h"

namespace kx {

namespace {

// Bytes read at a time: large enough that system calls cost nothing, small
// enough to stay in the cache between the read and the reduction.
constexpr size_t ReadBytes = 1 << 20;

} // namespace

DirectWavBuild::DirectWavBuild(const QString& mediaFile, const WavLayout& layout, const Settings& settings)
    : ThreadedBuildRun(settings), mediaFile_(mediaFile), layout_(layout)
{
    settings_.peaks.inputRate = layout.rate;
}

DirectWavBuild::~DirectWavBuild()
{
    Stop();
    CloseMedia();
}

bool DirectWavBuild::Prepare()
{
    if (!reducer_.Init(settings_.peaks)) {
        SetFailure(QStringLiteral("unusable peak settings"));
        return false;
    }
    fd_ = OpenNative(mediaFile_, O_RDONLY);
    if (fd_ < 0) {
        SetFailure(QStringLiteral("cannot open the media file"));
        return false;
    }
    posix_fadvise(fd_, off_t(layout_.dataOffset), off_t(layout_.dataBytes), POSIX_FADV_SEQUENTIAL);
    return true;
}

void DirectWavBuild::CloseMedia()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool DirectWavBuild::Work()
{
    const uint32_t outChannels = settings_.peaks.channels;
    // Samples the reducer takes as they are stored: no copy besides the read.
    const bool asStored = layout_.kind == WavSampleKind::S16 && layout_.channels == outChannels &&
                          std::endian::native == std::endian::little;
    // Input at a rate far below the output's makes many records a frame (48000
    // a frame at 1 Hz): reads are cut so that their records stay near
    // ReadBytes too, and memory near the delivered blocks whatever the rates.
    const PeakReducerSettings& p = settings_.peaks;
    const uint64_t recordBytes = uint64_t(p.channels) * (p.bitsPerSample == 8 ? 2u : 4u);
    const uint64_t framesForRecords = uint64_t(ReadBytes) * p.inputRate * std::max<uint16_t>(p.samplesPerPeak, 1) /
                                      std::max<uint64_t>(uint64_t(p.outputRate) * recordBytes, 1);
    const size_t framesPerRead = size_t(std::clamp<uint64_t>(framesForRecords, 1, std::max<size_t>(ReadBytes / layout_.blockAlign, 1)));
    std::vector<uint8_t> bytes(framesPerRead * layout_.blockAlign);
    std::vector<int16_t> converted(asStored ? 0 : framesPerRead * outChannels);
    uint64_t offset = layout_.dataOffset;
    uint64_t left = layout_.dataBytes;
    while (left > 0) {
        if (stop_ || (paused_ && !WaitWhilePaused()))
            return false;
        const size_t want = size_t(std::min<uint64_t>(left, bytes.size()));
        size_t got = 0;
        while (got < want) {
            const ssize_t n = pread(fd_, bytes.data() + got, want - got, off_t(offset + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                SetFailure(QStringLiteral("cannot read the media file"));
                return false;
            }
            if (n == 0)
                break;
            got += size_t(n);
        }
        const size_t frames = got / layout_.blockAlign;
        if (asStored) {
            reducer_.Process(reinterpret_cast<const int16_t*>(bytes.data()), frames);
        } else {
            ConvertWavToS16(layout_, outChannels, bytes.data(), frames, converted.data());
            reducer_.Process(converted.data(), frames);
        }
        reducer_.TakeRecords(block_);
        reducer_.TakeRms(rmsBlock_);
        Deliver(reducer_.FramesIn(), false);
        if (got < want) {
            // The file shrank under us: what was read stands, as a truncated stream.
            break;
        }
        offset += got;
        left -= got;
    }
    reducer_.Done();
    reducer_.TakeRecords(block_);
    reducer_.TakeRms(rmsBlock_);
    Deliver(reducer_.FramesIn(), true);
    CloseMedia();
    return Commit(reducer_.FramesIn());
}

} // namespace kx
