// Starting the builds of the peak builder: the choice between the direct WAV
// reduction, a segmented build and the decode graph, and what is refused
// before any of them starts.
#include <gst/gst.h>

#include <QThread>

#include "BuildGraph.h"
#include "DirectWavBuild.h"
#include "KXPeakBuilder.h"
#include "PeakFormat.h"
#include "SegmentedBuild.h"
#include "WavDirect.h"
#include "mediagraph/MediaFramework.h"
#include "mediagraph/RiffChunks.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"
#include "platform/PostedEvent.h"

namespace kx {

bool TKXPeakBuilder::StartNext()
{
    // Another process may have finished peak files of this queue since they
    // were found missing: they are loaded as when queued, not built again.
    TakeFinishedElsewhere();
    FindNextMissing();
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
        buildRate_ = sampleRate_;
        buildChannels_ = ChannelCount();
        buildBits_ = bitsPerSample_;
        buildSamplesPerPeak_ = std::max<uint16_t>(samplesPerPeak_, 1);
        runSegments_ = 1;
        Start start = CheckMedia(index);
        if (start == Start::NotTaken)
            start = StartDirect(index);
        if (start == Start::NotTaken)
            start = StartSegmented(index);
        if (start == Start::NotTaken)
            start = StartInGraph(index);
        if (start == Start::Started)
            break;
        qCDebug(lcPeaks) << "cannot build" << files_[index] << ":" << lastFailure_;
        const QString media = files_[index];
        failedThisRun_.append(media);
        Fire(OnPeakFailed, this, index, media, currentPeakFile_);
        FindNextMissing();
        if (currentIndex_ < 0)
            return false;
    }

    if (graph_ && gst_element_set_state(graphManager_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        buildState_ = bsFailed;
        return false;
    }
    buildState_ = bsBuilding;
    bool abort = false;
    Fire(OnProgress, this, 0, int(currentIndex_), missingCount_, abort);
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
    return StartRun(std::make_unique<DirectWavBuild>(files_[index], layout, settings));
}

TKXPeakBuilder::Start TKXPeakBuilder::StartSegmented(int index)
{
    const QString& media = files_[index];
    if (!singlePassFile_.isEmpty() && SameFileName(media, singlePassFile_)) {
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
    settings.parallel = parallel;
    InitMediaFramework();
    const int segments = int(plan.size());
    const Start start = StartRun(std::make_unique<SegmentedBuild>(media, stream, std::move(plan), settings));
    if (start == Start::Started) {
        runSegments_ = segments;
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
    if (!graph->Build()) {
        lastFailure_ = graph->FailureText();
        return Start::Refused;
    }
    gint64 ns = -1;
    if (gst_element_query_duration(graphManager_, GST_FORMAT_TIME, &ns) && ns >= 0)
        duration_ = ns / 100;
    if (RefuseOversizedPeaks(duration_))
        return Start::Refused;  // the graph goes with its teardown
    qCDebug(lcPeaks) << "building" << files_[index] << "into" << currentPeakFile_;
    graph_ = std::move(graph);
    return Start::Started;
}

TKXPeakBuilder::Start TKXPeakBuilder::StartRun(std::unique_ptr<BuildRun> run)
{
    // What the graph would report for the file, for the stream's header and
    // the progress percentages.
    duration_ = run->Duration100ns();
    if (RefuseOversizedPeaks(duration_))
        return Start::Refused;
    const intptr_t id = ++directRun_;
    MessageWindow* window = window_;
    // A file that cannot be opened here fails in the graph alike, with its reason.
    if (!run->Start([window, id](bool ok) { window->Post(WM_DIRECTDONE, ok ? 1 : 0, id); }))
        return Start::NotTaken;
    direct_ = std::move(run);
    builtDirectly_ = true;
    return Start::Started;
}

} // namespace kx
