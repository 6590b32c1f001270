#pragma once
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "mediagraph/AtomicPeakFile.h"
#include "BuildRun.h"
#include "mediagraph/PeakFilterContract.h"
#include "mediagraph/PeakReducer.h"

namespace kx {

class PeakFileOutput;

/// A build that runs on a worker thread of its own and hands its records on
/// as the peak filter does: to the callback in blocks, and into the peak file,
/// whose header is written last. Subclasses do the reading and reducing.
class ThreadedBuildRun : public BuildRun
{
public:
    struct Settings {
        /// inputRate is taken from the media.
        PeakReducerSettings peaks;
        /// Empty: no peak file.
        QString peakFile;
        /// What the peak file may replace.
        OutputRules peakRules = AtomicPeakFile::Rules();
        void* context = nullptr;
        PeakFilter::PeakCallback callback = nullptr;
        /// Takes the RMS levels of each block (with peaks.rms), right before it.
        PeakFilter::RmsCallback rmsCallback = nullptr;
        /// Asked on the worker right before the result is committed: false
        /// when the media changed since the start (the result is dropped).
        std::function<bool()> mediaUnchanged;
    };

    ~ThreadedBuildRun() override;
    ThreadedBuildRun(const ThreadedBuildRun&) = delete;
    ThreadedBuildRun& operator=(const ThreadedBuildRun&) = delete;

    /// Opens what the run needs and the peak file, then starts the worker;
    /// false (with FailureText) when either cannot be opened.
    bool Start(Finished finished) final;
    void Pause() final;
    void Resume() final;
    /// Ends the worker and waits for it; an unfinished peak file is removed.
    void Stop() final;
    QString FailureText() const final;
    bool MediaChanged() const final { return mediaChanged_; }
    /// After the run has ended.
    void RemoveCommittedPeakFile() final;

protected:
    explicit ThreadedBuildRun(const Settings& settings);

    /// On the starting thread, before the worker: false with SetFailure.
    virtual bool Prepare() = 0;
    /// The worker: true when every record was delivered and committed.
    virtual bool Work() = 0;
    /// After the worker has ended in Stop.
    virtual void Halted() {}

    void SetFailure(const QString& why);
    /// Hands block_ (and rmsBlock_) on when it holds a delivery's worth (or anything, with
    /// all); framesIn input frames are reduced so far.
    void Deliver(uint64_t framesIn, bool all);
    /// Puts the peak file, if any, in place for a track of framesIn frames.
    bool Commit(uint64_t framesIn);
    /// Drops an unfinished peak file.
    void Abandon();
    /// Holds the calling worker while paused; false once stopped.
    bool WaitWhilePaused();

    Settings settings_;
    std::vector<uint8_t> block_;
    /// The RMS levels of block_'s records (peaks.rms).
    std::vector<uint16_t> rmsBlock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> paused_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> mediaChanged_{false};

private:
    std::unique_ptr<PeakFileOutput> output_;
    // The peak file once in place, so that a later verdict can take it back.
    std::unique_ptr<PeakFileOutput> committed_;
    std::thread worker_;
    QString failure_;
};

/// Media time of a frame count, in 100-ns units.
int64_t FramesTo100ns(uint64_t frames, uint32_t rate);

} // namespace kx
