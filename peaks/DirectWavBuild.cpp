#include "DirectWavBuild.h"

#include <bit>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "PeakFileOutput.h"
#include "PeakFormat.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Bytes read at a time: large enough that system calls cost nothing, small
// enough to stay in the cache between the read and the reduction.
constexpr size_t ReadBytes = 1 << 20;

} // namespace

DirectWavBuild::DirectWavBuild(const QString& mediaFile, const WavLayout& layout, const Settings& settings)
    : mediaFile_(mediaFile), layout_(layout), settings_(settings)
{
    settings_.peaks.inputRate = layout.rate;
}

DirectWavBuild::~DirectWavBuild()
{
    Stop();
    Close(false);
}

QString DirectWavBuild::FailureText() const
{
    return failure_;
}

bool DirectWavBuild::Open()
{
    if (!reducer_.Init(settings_.peaks)) {
        failure_ = QStringLiteral("unusable peak settings");
        return false;
    }
    fd_ = OpenNative(mediaFile_, O_RDONLY);
    if (fd_ < 0) {
        failure_ = QStringLiteral("cannot open the media file");
        return false;
    }
    posix_fadvise(fd_, off_t(layout_.dataOffset), off_t(layout_.dataBytes), POSIX_FADV_SEQUENTIAL);
    if (!settings_.peakFile.isEmpty()) {
        output_ = std::make_unique<PeakFileOutput>();
        if (!output_->Open(settings_.peakFile)) {
            failure_ = output_->ErrorText();
            Close(false);
            return false;
        }
    }
    return true;
}

void DirectWavBuild::Close(bool commit)
{
    if (output_ && !commit)
        output_->Abort();
    output_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool DirectWavBuild::Start(Finished finished)
{
    if (!Open())
        return false;
    stop_ = false;
    worker_ = std::thread([this, finished = std::move(finished)] {
        const bool ok = Reduce();
        if (!stop_ && finished)
            finished(ok);
    });
    return true;
}

bool DirectWavBuild::Run()
{
    return Open() && Reduce();
}

void DirectWavBuild::Pause()
{
    std::lock_guard lock(mutex_);
    paused_ = true;
}

void DirectWavBuild::Resume()
{
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    wake_.notify_all();
}

void DirectWavBuild::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    // Interrupted: an unfinished peak file must never look complete.
    Close(false);
}

bool DirectWavBuild::WaitWhilePaused()
{
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !paused_ || stop_; });
    return !stop_;
}

void DirectWavBuild::Deliver(bool all)
{
    reducer_.TakeRecords(block_);
    if (block_.empty() || (!all && block_.size() < PeakDeliveryBytes))
        return;
    const auto time = int64_t((uint128_t)reducer_.FramesIn() * 10000000u / reducer_.Settings().inputRate);
    if (output_)
        output_->Append(block_.data(), block_.size());
    if (settings_.callback)
        settings_.callback(settings_.context, int32_t(block_.size()), block_.data(),
                           uint32_t(uint64_t(time) & 0xFFFFFFFFu), uint32_t(uint64_t(time) >> 32));
    block_.clear();
}

bool DirectWavBuild::Reduce()
{
    const uint32_t outChannels = settings_.peaks.channels;
    // Samples the reducer takes as they are stored: no copy besides the read.
    const bool asStored = layout_.kind == WavSampleKind::S16 && layout_.channels == outChannels &&
                          std::endian::native == std::endian::little;
    const size_t framesPerRead = std::max<size_t>(ReadBytes / layout_.blockAlign, 1);
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
            if (n < 0) {
                failure_ = QStringLiteral("cannot read the media file");
                Close(false);
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
        Deliver(false);
        if (got < want) {
            // The file shrank under us: what was read stands, as a truncated stream.
            break;
        }
        offset += got;
        left -= got;
    }
    reducer_.Done();
    Deliver(true);
    bool ok = true;
    if (output_) {
        const auto duration = int64_t((uint128_t)reducer_.FramesIn() * 10000000u / reducer_.Settings().inputRate);
        uint8_t header[PeakHeaderSize];
        EncodePeakHeader(MakePeakHeader(settings_.peaks.outputRate, outChannels, settings_.peaks.bitsPerSample,
                                        settings_.peaks.samplesPerPeak, duration),
                         header);
        ok = output_->Commit(header);
        if (!ok)
            failure_ = output_->ErrorText();
        output_.reset();
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    return ok;
}

} // namespace kx
