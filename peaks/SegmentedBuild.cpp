#include "SegmentedBuild.h"

#include <gst/gst.h>
#include <algorithm>
#include <chrono>

#include "Mp3Frames.h"
#include "PeakFormat.h"
#include "SegmentedBuildSegment.h"

namespace kx {

namespace {

// A run whose segments all hand on nothing for this long gives up (one pass
// then decides what the file is).
constexpr std::chrono::seconds StallLimit{20};

} // namespace

SegmentedBuild::SegmentedBuild(const QString& mediaFile, const SegmentableStream& stream,
                               std::vector<SegmentSpan> plan, const Settings& settings)
    : ThreadedBuildRun(settings), mediaFile_(mediaFile), stream_(stream), parallel_(std::max(settings.parallel, 1))
{
    settings_.peaks.inputRate = stream.rate;
    for (size_t i = 0; i < plan.size(); ++i) {
        auto segment = std::make_unique<Segment>();
        segment->owner = this;
        segment->index = i;
        segment->span = plan[i];
        segments_.push_back(std::move(segment));
    }
    if (stream.codec == SegmentableCodec::Mp3 && stream.mp3)
        PlanFeeds(*stream.mp3);
}

void SegmentedBuild::PlanFeeds(const Mp3FrameIndex& index)
{
    for (auto& s : segments_) {
        s->counted = true;
        if (s->span.last)
            s->limit = stream_.frames;
        // The first segment reads the file as one pass does, trimming included,
        // where GStreamer's parser trims; otherwise it is fed and trimmed too.
        if (Mp3SegmentReadsFile(index, s->span.startFrame))
            continue;
        const auto feed = PlanMp3Feed(index, s->span.startFrame, s->span.stopFrame, s->span.last);
        if (!feed)
            continue;
        s->beginByte = feed->beginByte;
        s->endByte = feed->endByte;
        s->decodeFirst = feed->firstSample;
        s->decodeEnd = feed->firstSample + int64_t(feed->frames * index.samplesPerFrame);
        s->exactFrom = feed->exactFrom;
    }
}

SegmentedBuild::~SegmentedBuild()
{
    Stop();
}

int64_t SegmentedBuild::Duration100ns() const
{
    return FramesTo100ns(stream_.frames, stream_.rate);
}

bool SegmentedBuild::Prepare()
{
    for (auto& s : segments_) {
        if (!s->reducer.Init(settings_.peaks, s->span.firstRecord)) {
            SetFailure(QStringLiteral("unusable peak settings"));
            return false;
        }
        if (s->counted && s->index > 0 && s->endByte == 0) {
            SetFailure(QStringLiteral("segment %1 has no frames to decode").arg(s->index));
            return false;
        }
    }
    if (segments_.empty() || !segments_.back()->span.last) {
        SetFailure(QStringLiteral("no segments"));
        return false;
    }
    return true;
}

bool SegmentedBuild::Joins(const Segment& before, const Segment& after) const
{
    return EdgesJoin(before.edges, after.edges, after.span.startFrame, settings_.peaks.channels);
}

void SegmentedBuild::Publish(Segment& s)
{
    std::lock_guard lock(mutex_);
    if (s.state != Segment::State::Running)
        return;
    s.reducer.TakeRecords(s.records);
    s.reducer.TakeRms(s.rms);
    s.frames = s.reducer.FramesIn();
    ++activity_;
    wake_.notify_all();
}

void SegmentedBuild::Finish(Segment& s)
{
    if (s.span.last)
        s.reducer.Done();
    s.ended = true;
    std::lock_guard lock(mutex_);
    if (s.state != Segment::State::Running)
        return;
    s.reducer.TakeRecords(s.records);
    s.reducer.TakeRms(s.rms);
    s.frames = s.reducer.FramesIn();
    s.state = Segment::State::Done;
    ++activity_;
    wake_.notify_all();
}

void SegmentedBuild::Fail(Segment& s, const QString& why)
{
    s.ended = true;
    std::lock_guard lock(mutex_);
    if (s.state == Segment::State::Done || s.state == Segment::State::Failed)
        return;
    s.state = Segment::State::Failed;
    s.failure = QStringLiteral("segment %1: %2").arg(s.index).arg(why);
    wake_.notify_all();
}

bool SegmentedBuild::Work()
{
    const size_t count = segments_.size();
    size_t next = 0;
    size_t current = 0;
    int running = 0;
    bool paused = false;
    uint64_t frames = 0;
    QString failure;
    while (current < count && failure.isEmpty()) {
        while (!paused && running < parallel_ && next < count) {
            Launch(*segments_[next++]);
            ++running;
        }
        std::vector<Segment*> done;
        bool currentDone = false;
        bool pause = paused;
        {
            std::unique_lock lock(mutex_);
            const auto ready = [&] {
                const Segment& c = *segments_[current];
                if (stop_ || paused_ != paused)
                    return true;
                if (paused_)
                    return false;
                return !c.records.empty() || c.state != Segment::State::Running ||
                       std::any_of(segments_.begin(), segments_.end(), [](const auto& s) {
                           return s->state == Segment::State::Failed ||
                                  (s->pipeline && s->state == Segment::State::Done);
                       });
            };
            // Running segments that hand on nothing for this long have stalled.
            const uint64_t seen = activity_;
            if (!wake_.wait_for(lock, StallLimit, ready) && activity_ == seen && !paused_) {
                failure = QStringLiteral("decoding made no progress");
                break;
            }
            if (stop_)
                break;
            pause = paused_;
            for (auto& s : segments_) {
                if (s->state == Segment::State::Failed && failure.isEmpty())
                    failure = s->failure;
                if (s->state == Segment::State::Done && s->pipeline)
                    done.push_back(s.get());
            }
            if (paused_ == paused && !paused) {
                Segment& c = *segments_[current];
                // Its first records follow its head, which is complete by then.
                if (current > 0 && !c.joined && (!c.records.empty() || c.state == Segment::State::Done)) {
                    c.joined = true;
                    if (!Joins(*segments_[current - 1], c)) {
                        failure = QStringLiteral("segment %1 does not decode alike across its start").arg(current);
                        break;
                    }
                }
                block_.insert(block_.end(), c.records.begin(), c.records.end());
                c.records.clear();
                rmsBlock_.insert(rmsBlock_.end(), c.rms.begin(), c.rms.end());
                c.rms.clear();
                frames = std::max(frames, c.frames);
                currentDone = c.state == Segment::State::Done;
            }
        }
        if (!failure.isEmpty())
            break;
        if (paused != pause) {
            paused = pause;
            for (auto& s : segments_)
                if (s->pipeline)
                    gst_element_set_state(s->pipeline, paused ? GST_STATE_PAUSED : GST_STATE_PLAYING);
        }
        for (Segment* s : done) {
            Halt(*s);
            --running;
        }
        Deliver(frames, false);
        if (currentDone)
            ++current;
    }
    HaltAll();
    if (stop_ || current < count) {
        SetFailure(failure.isEmpty() ? QStringLiteral("stopped") : failure);
        return false;
    }
    Deliver(frames, true);
    return Commit(frames);
}

} // namespace kx
