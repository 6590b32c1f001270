#include "DirectWavBuild.h"

#include <QFile>
#include <bit>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "PeakFormat.h"

namespace kx {

namespace {

// Bytes read at a time: large enough that system calls cost nothing, small
// enough to stay in the cache between the read and the reduction.
constexpr size_t ReadBytes = 1 << 20;

} // namespace

// Writes a peak file under a temporary name and puts it in place only when
// complete, as the peak filter does; the header is written last.
class PeakFileOutput
{
public:
    ~PeakFileOutput() { Abort(); }

    bool Open(const QString& fileName)
    {
        finalName_ = QFile::encodeName(fileName).toStdString();
        // The peak filter's temporary name, so that both paths leave the same traces.
        tempName_ = QFile::encodeName(fileName + QStringLiteral(".partial")).toStdString();
        file_ = std::fopen(tempName_.c_str(), "wb");
        if (!file_)
            return false;
        const uint8_t placeholder[PeakHeaderSize] = {};
        return std::fwrite(placeholder, 1, sizeof placeholder, file_) == sizeof placeholder;
    }
    bool Append(const uint8_t* data, size_t size)
    {
        return file_ && std::fwrite(data, 1, size, file_) == size;
    }
    bool Commit(const uint8_t header[PeakHeaderSize])
    {
        if (!file_)
            return false;
        const bool written = std::fseek(file_, 0, SEEK_SET) == 0 &&
                             std::fwrite(header, 1, PeakHeaderSize, file_) == size_t(PeakHeaderSize) &&
                             std::fflush(file_) == 0 && !std::ferror(file_);
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!written || !closed || std::rename(tempName_.c_str(), finalName_.c_str()) != 0) {
            std::remove(tempName_.c_str());
            return false;
        }
        return true;
    }
    void Abort()
    {
        if (!file_)
            return;
        std::fclose(file_);
        file_ = nullptr;
        std::remove(tempName_.c_str());
    }

private:
    std::FILE* file_ = nullptr;
    std::string tempName_;
    std::string finalName_;
};

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
    fd_ = ::open(QFile::encodeName(mediaFile_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        failure_ = QStringLiteral("cannot open the media file");
        return false;
    }
    posix_fadvise(fd_, off_t(layout_.dataOffset), off_t(layout_.dataBytes), POSIX_FADV_SEQUENTIAL);
    if (!settings_.peakFile.isEmpty()) {
        output_ = std::make_unique<PeakFileOutput>();
        if (!output_->Open(settings_.peakFile)) {
            failure_ = QStringLiteral("cannot write the peak file");
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
            failure_ = QStringLiteral("could not write the peak file");
        output_.reset();
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    return ok;
}

} // namespace kx
