#pragma once
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "BuildRun.h"
#include "SegmentPlan.h"
#include "mediagraph/PeakFilterContract.h"
#include "mediagraph/PeakReducer.h"

namespace kx {

class PeakFileOutput;
struct Mp3FrameIndex;

// Builds the peaks of a long compressed file on several cores: each segment
// of the plan is decoded by its own pipeline from an accurate seek, reduced
// from its first record on, and the records are joined in order and handed
// to the callback (and the peak file) as one pass would hand them. Samples
// are placed by their position in the stream, counted from the decoder's
// timestamps, so a segment takes exactly its frames whatever the decoder
// delivers around the seek; the frames just before each cut are decoded by
// both neighbours and must agree. MP3 segments do not seek: each decodes its
// own frames (the first one the file as one pass reads it), and samples are
// placed by counting them, every decoded frame giving 1152. Any doubt
// (timestamps that do not follow on, a format change, a segment that ends
// early, a sample count other than its frames give, another decoder than
// one pass uses, neighbours that disagree, an error) fails the run, and the
// builder then builds the file in one pass.
class SegmentedBuild final : public BuildRun
{
public:
    struct Settings {
        // inputRate is taken from the stream.
        PeakReducerSettings peaks;
        // Empty: no peak file.
        QString peakFile;
        void* context = nullptr;
        PeakFilter::PeakCallback callback = nullptr;
        // Pipelines running at once.
        int parallel = 2;
    };

    SegmentedBuild(const QString& mediaFile, const SegmentableStream& stream, std::vector<SegmentSpan> plan,
                   const Settings& settings);
    ~SegmentedBuild() override;
    SegmentedBuild(const SegmentedBuild&) = delete;
    SegmentedBuild& operator=(const SegmentedBuild&) = delete;

    bool Start(Finished finished) override;
    void Pause() override;
    void Resume() override;
    void Stop() override;
    // The whole run on the calling thread (what the worker does).
    bool Run();
    QString FailureText() const override;
    int64_t Duration100ns() const override;
    bool RetryInGraph() const override { return true; }
    size_t SegmentCount() const { return segments_.size(); }

    struct Segment;

private:
    // MP3: the bytes and first sample of each segment.
    void PlanFeeds(const Mp3FrameIndex& index);
    bool Open();
    bool Join();
    bool Launch(Segment& segment);
    void Halt(Segment& segment);
    void HaltAll();
    void Deliver(uint64_t frames, bool all);
    // Whether the frames both decoded around the cut between them are the same.
    bool Joins(const Segment& before, const Segment& after) const;
    void Close(bool commit);
    // Streaming threads.
    void Take(Segment& segment, const int16_t* samples, uint64_t first, size_t frames);
    void Fail(Segment& segment, const QString& why);
    void Finish(Segment& segment);
    void Publish(Segment& segment);

    friend struct SegmentHooks;

    QString mediaFile_;
    SegmentableStream stream_;
    Settings settings_;
    std::vector<std::unique_ptr<Segment>> segments_;
    std::unique_ptr<PeakFileOutput> output_;
    std::vector<uint8_t> block_;
    QString failure_;

    std::thread worker_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool paused_ = false;
    // Counts what the segments hand on, to tell a stall.
    uint64_t activity_ = 0;
    std::atomic<bool> stop_{false};
};

} // namespace kx
