#pragma once
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "BuildRun.h"
#include "WavDirect.h"
#include "mediagraph/PeakFilterContract.h"
#include "mediagraph/PeakReducer.h"

namespace kx {

class PeakFileOutput;

// Builds the peaks of a PCM WAV file without a decode graph: large
// sequential reads, the samples converted as the graph's converter would
// and reduced by the same reducer, records handed to the same callback in
// blocks of the same size, the peak file written alike. The records are
// byte-identical to the graph's for the same settings.
class DirectWavBuild final : public BuildRun
{
public:
    struct Settings {
        // inputRate is taken from the file.
        PeakReducerSettings peaks;
        // Empty: no peak file.
        QString peakFile;
        void* context = nullptr;
        PeakFilter::PeakCallback callback = nullptr;
    };
    DirectWavBuild(const QString& mediaFile, const WavLayout& layout, const Settings& settings);
    // Stops.
    ~DirectWavBuild() override;
    DirectWavBuild(const DirectWavBuild&) = delete;
    DirectWavBuild& operator=(const DirectWavBuild&) = delete;

    // Opens the media and the peak file and starts the worker thread; false
    // (with FailureText) when either cannot be opened.
    bool Start(Finished finished) override;
    // Holds the worker between two blocks until Resume or Stop.
    void Pause() override;
    void Resume() override;
    // Ends the worker and waits for it; an unfinished peak file is removed.
    void Stop() override;
    // The whole run on the calling thread (what the worker does).
    bool Run();

    QString FailureText() const override;
    // The layout's duration, as the graph reports it for the file.
    int64_t Duration100ns() const override { return layout_.Duration100ns(); }

private:
    bool Open();
    bool Reduce();
    void Deliver(bool all);
    bool WaitWhilePaused();
    void Close(bool commit);

    QString mediaFile_;
    WavLayout layout_;
    Settings settings_;
    PeakReducer reducer_;
    int fd_ = -1;
    std::unique_ptr<PeakFileOutput> output_;
    std::vector<uint8_t> block_;
    QString failure_;

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> paused_{false};
    std::atomic<bool> stop_{false};
};

} // namespace kx
