// Starting the builds of the peak builder: the choice between the direct WAV
// reduction, a segmented build and the decode graph, and what is refused
// before any of them starts.
#include <gst/gst.h>

#include <QThread>
#include <optional>
#include <unistd.h>

#include "BuildGraph.h"
#include "DirectWavBuild.h"
#include "KXPeakBuilder.h"
#include "MediaIdentity.h"
#include "Mp3Frames.h"
#include "PeakFormat.h"
#include "SegmentedBuild.h"
#include "WavDirect.h"
#include "mediagraph/MediaFramework.h"
#include "mediagraph/RiffChunks.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"
#include "platform/PostedEvent.h"

namespace kx {

namespace {

std::optional<Mp3DecoderTrim> ReadMp3OnePassTrim(const QString& media)
{
    uint64_t size = 0;
    const int fd = OpenNativeRegular(media, size);
    if (fd < 0)
        return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    return Mp3OnePassTrim(size, [fd](uint64_t offset, uint8_t* out, size_t n) {
        return ReadNativeAt(fd, offset, out, n) == n;
    });
}

// For runs that commit their own peak file: checked right before they do.
std::function<bool()> MediaUnchanged(const QString& media, const MediaIdentity& atStart)
{
    return [media, atStart] { return IdentifyMedia(media) == atStart; };
}

} // namespace

bool TKXPeakBuilder::StartNext()
{
    // Another process may have finished peak files of this queue since they
    // were found missing: they are loaded as when queued, not built again.
    TakeFinishedElsewhere();
    FindNextMissing();
    waitingForMemory_ = false;
    if (currentIndex_ < 0)
        return false;

    for (;;) {
        const int index = currentIndex_;
        bool exists = false;
        GetPeakFilename(index, exists, currentPeakFile_);
        if (exists) {
            // Finished elsewhere since the search just now.
            TakeFinishedElsewhere();
            FindNextMissing();
            if (currentIndex_ < 0)
                return false;
            continue;
        }
        // A stopped build leaves a started stream behind; the file starts afresh.
        EmptyStream(index);
        ReleaseGraph();
        lastBlockTime_ = 0;
        peakOverflow_ = false;
        streamFailed_ = false;
        deliveredBytes_ = 0;
        buildKeepsStream_ = keepStreams_ || !saveToPeakFiles_;
        buildRate_ = sampleRate_;
        buildChannels_ = ChannelCount();
        buildBits_ = bitsPerSample_;
        buildSamplesPerPeak_ = std::max<uint16_t>(samplesPerPeak_, 1);
        runSegments_ = 1;
        BeginRms(index);
        // Settings lock from the first attempt on, whichever path takes it.
        buildHasRun_ = true;
        // Taken before anything reads it, so that a replacement meanwhile shows.
        mediaAtStart_ = IdentifyMedia(files_[index]);
        Start start = CheckMedia(index);
        if (start == Start::NotTaken)
            start = StartDirect(index);
        if (start == Start::NotTaken)
            start = StartSegmented(index);
        if (start == Start::NotTaken)
            start = StartInGraph(index);
        if (start == Start::Started)
            break;
        if (start == Start::Deferred) {
            // Not failed: it starts when the run's other streams give memory back.
            ReleaseGraph();
            waitingForMemory_ = true;
            return false;
        }
        qCDebug(lcPeaks) << "cannot build" << files_[index] << ":" << lastFailure_;
        const QString media = files_[index];
        failedThisRun_.append(media);
        Fire(OnPeakFailed, this, index, media, currentPeakFile_);
        Q_EMIT peakFailed(index, media, currentPeakFile_);
        FindNextMissing();
        if (currentIndex_ < 0)
            return false;
    }

    if (graph_ && gst_element_set_state(graphManager_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        SetBuildState(bsFailed);
        return false;
    }
    SetBuildState(bsBuilding);
    ListRunningBuild(true);
    bool abort = false;
    Fire(OnProgress, this, 0, int(currentIndex_), missingCount_, abort);
    Q_EMIT progress(0, int(currentIndex_), missingCount_);
    if (abort)
        return StopBuild();
    return true;
}

TKXPeakBuilder::Start TKXPeakBuilder::CheckMedia(int index)
{
    const NativeFileStatus media = StatNative(files_[index]);
    if (media.isFile)
        return CheckPeakTarget(index);
    lastFailure_ = !media.exists ? QStringLiteral("the media file is gone")
                   : media.isDir ? QStringLiteral("it is a folder, not a media file")
                                 : QStringLiteral("it is not a regular file (a FIFO, device or socket)");
    return Start::Refused;
}

TKXPeakBuilder::Start TKXPeakBuilder::CheckPeakTarget(int index)
{
    if (!saveToPeakFiles_)
        return Start::NotTaken;
    // The peak file keeps the place the lookup gave it: a target the output
    // rules refuse fails the file rather than moving its peaks elsewhere.
    if (!tempFolderProblem_.isEmpty() && currentPeakFile_.startsWith(tempFolder_)) {
        lastFailure_ = QStringLiteral("its folder is read-only and the temporary folder cannot be used: %1")
                           .arg(tempFolderProblem_);
        return Start::Refused;
    }
    const QString refusal = OutputRefusal(currentPeakFile_, PeakFileRules(files_[index]));
    if (refusal.isEmpty())
        return Start::NotTaken;
    lastFailure_ = QStringLiteral("the peak file %1 %2").arg(currentPeakFile_, refusal);
    return Start::Refused;
}

bool TKXPeakBuilder::RefuseOversizedPeaks(int64_t duration100ns)
{
    const int64_t bytes =
        ExpectedPeakDataBytes(buildRate_, buildChannels_, buildBits_, buildSamplesPerPeak_, duration100ns);
    if (bytes <= MaxPeakDataBytes)
        return false;
    lastFailure_ = QStringLiteral("its peaks would take %1 MiB, more than the 1 GiB a peak file holds")
                       .arg(bytes / (1 << 20));
    return true;
}

PeakReducerSettings TKXPeakBuilder::BuildPeakSettings(uint32_t inputRate) const
{
    PeakReducerSettings peaks;
    peaks.inputRate = inputRate;
    peaks.outputRate = buildRate_;
    peaks.channels = buildChannels_;
    peaks.bitsPerSample = buildBits_;
    peaks.leftGain = leftGain_;
    peaks.rightGain = rightGain_;
    peaks.samplesPerPeak = buildSamplesPerPeak_;
    peaks.rms = buildRms_;
    return peaks;
}

TKXPeakBuilder::Start TKXPeakBuilder::StartDirect(int index)
{
    WavLayout layout;
    if (!directReduction_ || !ReadWavLayout(files_[index], layout) || !DirectWavSupports(layout, buildChannels_))
        return Start::NotTaken;
    DirectWavBuild::Settings settings;
    settings.peaks = BuildPeakSettings(layout.rate);
    if (saveToPeakFiles_) {
        settings.peakFile = currentPeakFile_;
        settings.peakRules = PeakFileRules(files_[index]);
    }
    settings.context = this;
    settings.callback = &TKXPeakBuilder::PeakCallback;
    settings.rmsCallback = &TKXPeakBuilder::RmsCallback;
    settings.mediaUnchanged = MediaUnchanged(files_[index], mediaAtStart_);
    const Start start = StartRun(std::make_unique<DirectWavBuild>(files_[index], layout, settings));
    if (start == Start::Started)
        lastPath_ = BuildPath::Direct;
    return start;
}

TKXPeakBuilder::Start TKXPeakBuilder::StartSegmented(int index)
{
    const QString& media = files_[index];
    if (!singlePassFile_.isEmpty() && SameMediaFile(media, singlePassFile_)) {
        singlePassFile_.clear();
        return Start::NotTaken;
    }
    const int parallel = SegmentParallelism(segmentPolicy_, QThread::idealThreadCount());
    if (parallel < 2)
        return Start::NotTaken;
    const SegmentableStream stream = ProbeSegmentable(media);
    if (stream.codec == SegmentableCodec::None)
        return Start::NotTaken;
    SegmentedBuild::Settings settings;
    settings.peaks = BuildPeakSettings(stream.rate);
    std::vector<SegmentSpan> plan = PlanSegments(settings.peaks, stream.frames, segmentPolicy_, parallel);
    if (plan.size() < 2)
        return Start::NotTaken;
    if (saveToPeakFiles_) {
        settings.peakFile = currentPeakFile_;
        settings.peakRules = PeakFileRules(media);
    }
    settings.context = this;
    settings.callback = &TKXPeakBuilder::PeakCallback;
    settings.rmsCallback = &TKXPeakBuilder::RmsCallback;
    settings.mediaUnchanged = MediaUnchanged(media, mediaAtStart_);
    settings.parallel = parallel;
    InitMediaFramework();
    const int segments = int(plan.size());
    const Start start = StartRun(std::make_unique<SegmentedBuild>(media, stream, std::move(plan), settings));
    if (start == Start::Started) {
        runSegments_ = segments;
        lastPath_ = BuildPath::Segments;
        qCDebug(lcPeaks) << "building" << media << "in" << segments << "segments";
    }
    return start;
}

TKXPeakBuilder::Start TKXPeakBuilder::StartInGraph(int index)
{
    // The graph's WAV parser never finishes some damaged files.
    const QString hazard = WavParserHazard(files_[index]);
    if (!hazard.isEmpty()) {
        lastFailure_ = hazard;
        return Start::Refused;
    }
    // Channels the graph's converter cannot place stop its stream at once.
    if (WavLayout layout; ReadWavLayout(files_[index], layout) && WavChannelsUnpositioned(layout.channels)) {
        lastFailure_ = QStringLiteral("its %1 channels have no positions to mix them by").arg(layout.channels);
        return Start::Refused;
    }
    // The media framework is started only for files that need decoding.
    if (!graphManager_)
        CreateGraphManager();
    auto graph = std::make_unique<TBuildGraph>(*this, files_[index], currentPeakFile_);
    // An MP3 encoder delay and padding that GStreamer's parser leaves alone.
    if (const auto trim = ReadMp3OnePassTrim(files_[index]))
        graph->TrimDecoded(trim->skip, trim->end);
    if (!graph->Build()) {
        lastFailure_ = graph->FailureText();
        return Start::Refused;
    }
    gint64 ns = -1;
    duration_ = 0;
    if (gst_element_query_duration(graphManager_, GST_FORMAT_TIME, &ns) && ns >= 0)
        duration_ = ns / 100;
    // A length the file's size contradicts came from a false header: taken
    // as unknown, so that the peaks' own size decides while they arrive.
    if (!DurationFitsFile(duration_, StatNative(files_[index]).size)) {
        qCDebug(lcPeaks) << "the length" << duration_ / 10000000 << "s of" << files_[index]
                         << "does not fit its size; taken as unknown";
        duration_ = 0;
    }
    if (RefuseOversizedPeaks(duration_))
        return Start::Refused;  // the graph goes with its teardown
    if (const Start memory = TakeStreamMemory(index); memory != Start::Started)
        return memory;
    qCDebug(lcPeaks) << "building" << files_[index] << "into" << currentPeakFile_;
    graph_ = std::move(graph);
    lastPath_ = BuildPath::OnePass;
    return Start::Started;
}

TKXPeakBuilder::Start TKXPeakBuilder::StartRun(std::unique_ptr<BuildRun> run)
{
    // What the graph would report for the file, for the stream's header and
    // the progress percentages.
    duration_ = run->Duration100ns();
    if (RefuseOversizedPeaks(duration_))
        return Start::Refused;
    if (const Start memory = TakeStreamMemory(currentIndex_); memory != Start::Started)
        return memory;
    const intptr_t id = ++directRun_;
    MessageWindow* window = window_;
    // A file that cannot be opened here fails in the graph alike, with its reason.
    if (!run->Start([window, id](bool ok) { window->Post(WM_DIRECTDONE, ok ? 1 : 0, id); }))
        return Start::NotTaken;
    direct_ = std::move(run);
    return Start::Started;
}

TKXPeakBuilder::Start TKXPeakBuilder::TakeStreamMemory(int index)
{
    TMemoryStream* stream = streams_.Get(index);
    if (!budget_ || !buildKeepsStream_ || !stream)
        return Start::Started;
    GiveStreamMemory(stream);
    const int64_t need =
        ExpectedPeakDataBytes(buildRate_, buildChannels_, buildBits_, buildSamplesPerPeak_, duration_);
    if (need > budget_->Total()) {
        const auto mib = [](int64_t bytes) { return QString::number(double(bytes) / (1 << 20), 'f', 1); };
        lastFailure_ = QStringLiteral("its peaks would take %1 MiB in memory, more than the %2 MiB allowed")
                           .arg(mib(need), mib(budget_->Total()));
        return Start::Refused;
    }
    if (!budget_->TryTake(need))
        return Start::Deferred;
    budgetTaken_[stream] = need;
    return Start::Started;
}

void TKXPeakBuilder::GiveStreamMemory(const TMemoryStream* stream)
{
    const auto taken = budgetTaken_.find(stream);
    if (taken == budgetTaken_.end())
        return;
    if (budget_)
        budget_->Give(taken->second);
    budgetTaken_.erase(taken);
}

} // namespace kx
