#pragma once
#include <QString>
#include <memory>
#include <vector>

#include "SegmentPlan.h"
#include "ThreadedBuildRun.h"

namespace kx {

struct Mp3FrameIndex;

/// Builds the peaks of a long compressed file on several cores: each segment
/// of the plan is decoded by its own pipeline from an accurate seek, reduced
/// from its first record on, and the records are joined in order and handed
/// to the callback (and the peak file) as one pass would hand them. Samples
/// are placed by their position in the stream, counted from the decoder's
/// timestamps, so a segment takes exactly its frames whatever the decoder
/// delivers around the seek; the frames just before each cut are decoded by
/// both neighbours and must agree. MP3 segments do not seek: each decodes its
/// own frames (the first one the file as one pass reads it), and samples are
/// placed by counting them, every decoded frame giving 1152. Any doubt
/// (timestamps that do not follow on, a format change, a segment that ends
/// early, a sample count other than its frames give, another decoder than
/// one pass uses, neighbours that disagree, an error) fails the run, and the
/// builder then builds the file in one pass.
class SegmentedBuild final : public ThreadedBuildRun
{
public:
    /// The settings of every threaded run, and the parallelism.
    struct Settings : ThreadedBuildRun::Settings {
        /// Pipelines running at once.
        int parallel = 2;
    };

    /// A build of mediaFile, whose stream the header described, in the planned segments.
    SegmentedBuild(const QString& mediaFile, const SegmentableStream& stream, std::vector<SegmentSpan> plan,
                   const Settings& settings);
    /// Stops.
    ~SegmentedBuild() override;

    /// The stream's length as its header states it.
    int64_t Duration100ns() const override;
    /// Any failure is retried in one pass.
    bool RetryInGraph() const override { return true; }
    /// Segments of the plan.
    size_t SegmentCount() const { return segments_.size(); }

    struct Segment;

private:
    // MP3: the bytes and first sample of each segment.
    void PlanFeeds(const Mp3FrameIndex& index);
    bool Prepare() override;
    // Runs the segments and joins their records (the worker).
    bool Work() override;
    void Halted() override { HaltAll(); }
    bool Launch(Segment& segment);
    void Halt(Segment& segment);
    void HaltAll();
    // Whether the frames both decoded around the cut between them are the same.
    bool Joins(const Segment& before, const Segment& after) const;
    // Streaming threads.
    void Take(Segment& segment, const int16_t* samples, uint64_t first, size_t frames);
    void Fail(Segment& segment, const QString& why);
    void Finish(Segment& segment);
    void Publish(Segment& segment);

    friend struct SegmentHooks;

    QString mediaFile_;
    SegmentableStream stream_;
    int parallel_;
    std::vector<std::unique_ptr<Segment>> segments_;
    // Counts what the segments hand on, to tell a stall.
    uint64_t activity_ = 0;
};

} // namespace kx
