#include "ThreadedBuildRun.h"

#include "PeakFileOutput.h"
#include "PeakFormat.h"

namespace kx {

int64_t FramesTo100ns(uint64_t frames, uint32_t rate)
{
    return rate ? int64_t((uint128_t)frames * 10000000u / rate) : 0;
}

ThreadedBuildRun::ThreadedBuildRun(const Settings& settings) : settings_(settings) {}

ThreadedBuildRun::~ThreadedBuildRun() = default;

bool ThreadedBuildRun::Start(Finished finished)
{
    if (!Prepare())
        return false;
    if (!settings_.peakFile.isEmpty()) {
        output_ = std::make_unique<PeakFileOutput>();
        if (!output_->Open(settings_.peakFile, settings_.peakRules)) {
            SetFailure(output_->ErrorText());
            Abandon();
            return false;
        }
    }
    stop_ = false;
    worker_ = std::thread([this, finished = std::move(finished)] {
        const bool ok = Work();
        if (!ok)
            Abandon();
        if (!stop_ && finished)
            finished(ok);
    });
    return true;
}

void ThreadedBuildRun::Pause()
{
    std::lock_guard lock(mutex_);
    paused_ = true;
    wake_.notify_all();
}

void ThreadedBuildRun::Resume()
{
    std::lock_guard lock(mutex_);
    paused_ = false;
    wake_.notify_all();
}

void ThreadedBuildRun::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    Halted();
    // Interrupted: an unfinished peak file must never look complete.
    Abandon();
}

QString ThreadedBuildRun::FailureText() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

void ThreadedBuildRun::SetFailure(const QString& why)
{
    std::lock_guard lock(mutex_);
    failure_ = why;
}

bool ThreadedBuildRun::WaitWhilePaused()
{
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !paused_ || stop_; });
    return !stop_;
}

void ThreadedBuildRun::Deliver(uint64_t framesIn, bool all)
{
    if (block_.empty() || (!all && block_.size() < PeakDeliveryBytes))
        return;
    const int64_t time = FramesTo100ns(framesIn, settings_.peaks.inputRate);
    if (output_)
        output_->Append(block_.data(), block_.size());
    if (settings_.rmsCallback && !rmsBlock_.empty())
        settings_.rmsCallback(settings_.context, int32_t(rmsBlock_.size()), rmsBlock_.data());
    rmsBlock_.clear();
    if (settings_.callback)
        settings_.callback(settings_.context, int32_t(block_.size()), block_.data(),
                           uint32_t(uint64_t(time) & 0xFFFFFFFFu), uint32_t(uint64_t(time) >> 32));
    block_.clear();
}

bool ThreadedBuildRun::Commit(uint64_t framesIn)
{
    if (settings_.mediaUnchanged && !settings_.mediaUnchanged()) {
        mediaChanged_ = true;
        SetFailure(QStringLiteral("the media changed during the build"));
        return false;
    }
    if (!output_)
        return true;
    uint8_t header[PeakHeaderSize];
    EncodePeakHeader(MakePeakHeader(settings_.peaks.outputRate, settings_.peaks.channels,
                                    settings_.peaks.bitsPerSample, settings_.peaks.samplesPerPeak,
                                    FramesTo100ns(framesIn, settings_.peaks.inputRate)),
                     header);
    const bool ok = output_->Commit(header);
    if (!ok)
        SetFailure(output_->ErrorText());
    else
        committed_ = std::move(output_);
    output_.reset();
    return ok;
}

void ThreadedBuildRun::RemoveCommittedPeakFile()
{
    if (committed_)
        committed_->RemoveCommitted();
    committed_.reset();
}

void ThreadedBuildRun::Abandon()
{
    if (output_)
        output_->Abort();
    output_.reset();
}

} // namespace kx
