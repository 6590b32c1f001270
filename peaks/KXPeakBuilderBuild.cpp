// The running side of the peak builder: graph manager, pause, stop, graph
// events, progress, and the chain from one missing file to the next.
#include <gst/gst.h>

#include <QFileInfo>
#include <algorithm>
#include <unistd.h>

#include "BuildGraph.h"
#include "BuildRun.h"
#include "KXPeakBuilder.h"
#include "MediaIdentity.h"
#include "PeakFormat.h"
#include "mediagraph/CodecConfig.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/MediaFramework.h"
#include "mediagraph/PeakFilterContract.h"
#include "platform/Exception.h"
#include "platform/GraphRegistry.h"
#include "platform/LittleEndian.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"
#include "platform/PostedEvent.h"

namespace kx {

namespace {

// Stopping polls the state in steps of 10 ms; a manager that never gets
// there is given up on after this many.
constexpr int StopPolls = 500;

} // namespace

bool TKXPeakBuilder::SkippedThisRun(const QString& media) const
{
    const auto same = [&media](const QString& f) { return SameMediaFile(f, media); };
    return std::any_of(completedInMemory_.begin(), completedInMemory_.end(), same) ||
           std::any_of(failedThisRun_.begin(), failedThisRun_.end(), same) ||
           std::any_of(builtThisRun_.begin(), builtThisRun_.end(), same);
}

void TKXPeakBuilder::CreateGraphManager()
{
    KX_ASSERT(graphManager_ == nullptr, "KXPeakBuilder");
    // Programs that only ever met WAV files have not needed the media
    // framework so far; the codec sets are read once it is there.
    InitMediaFramework();
    CodecConfig::FillSetsIfDemuxEmpty();
    GstElement* pipeline = gst_pipeline_new("FilterGraph");
    if (!pipeline)
        throw Exception("Failed Filter Graph creation");
    graphManager_ = GST_ELEMENT(gst_object_ref_sink(pipeline));
    SetNotifyWindow(graphManager_, window_, WM_GRAPHNOTIFY);
}

GstElement* TKXPeakBuilder::GraphManager()
{
    // Builds that needed no graph still leave one behind, as every path does.
    if (!graphManager_ && buildHasRun_ && !Designing())
        CreateGraphManager();
    return graphManager_;
}

void TKXPeakBuilder::ListRunningBuild(bool listed)
{
    if (!listed || !addToRot_ || Designing()) {
        if (rotCookie_ != 0)
            GraphRegistry::Revoke(rotCookie_);
        rotCookie_ = 0;
        return;
    }
    if (rotCookie_ != 0)
        return;
    if (graph_ && graphManager_) {
        RegisterGraph(graphManager_, true, rotCookie_);
        return;
    }
    // A build without a decode graph is listed under the builder; its dump
    // names the file and the path it takes.
    const int index = currentIndex_;
    const QString media = index >= 0 && index < FileCount() ? files_[index] : QString();
    const QByteArray kind = lastPath_ == BuildPath::Segments ? "segmented decode" : "direct reduction";
    const QByteArray dot = "digraph FilterGraph {\n  \"" + EncodeNativeName(media).toPercentEncoding("/ ") +
                           "\" -> \"" + kind + "\" -> \"peak stream\";\n}\n";
    rotCookie_ = GraphRegistry::Register(FilterGraphItemName(this, static_cast<uint32_t>(getpid())),
                                         [dot] { return dot; });
}

bool TKXPeakBuilder::StopGraph()
{
    if (direct_) {
        direct_->Stop();
        return true;
    }
    if (!graphManager_)
        return false;
    // Stopped is READY: the filter drops an unfinished peak file there.
    if (gst_element_set_state(graphManager_, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        return false;
    for (int i = 0; i < StopPolls; ++i) {
        GstState state = GST_STATE_VOID_PENDING;
        gst_element_get_state(graphManager_, &state, nullptr, 10 * GST_MSECOND);
        if (state <= GST_STATE_READY)
            return true;
    }
    return false;
}

void TKXPeakBuilder::ReleaseGraph()
{
    ListRunningBuild(false);
    graph_.reset();
    direct_.reset();
    // An unfinished streamed side file goes with its build.
    rms_.DropWriter();
}

void TKXPeakBuilder::EmptyStream(int index)
{
    if (index >= 0 && index < FileCount())
        rms_.Forget(files_[index]);
    if (TMemoryStream* stream = streams_.Get(index)) {
        GiveStreamMemory(stream);
        QMutexLocker lock(&streams_.Lock());
        stream->Clear();
    }
}

bool TKXPeakBuilder::StartBuild()
{
    if (buildState_ == bsPaused || buildState_ == bsBuilding)
        return false;
    // A new run gives files that failed before another chance.
    failedThisRun_.clear();
    changedMediaRetry_.clear();
    builtThisRun_.clear();
    return StartNext();
}

void TKXPeakBuilder::TakeFinishedElsewhere()
{
    for (int i = 0; i < FileCount(); ++i) {
        TMemoryStream* stream = streams_.Get(i);
        bool exists = false;
        QString peak;
        GetPeakFilename(i, exists, peak);
        if (stream && stream->Size() == 0 && exists && !checkedNotLoaded_.contains(files_[i]) &&
            !LoadOrReportMissing(i, stream))
            --i;  // refused and taken off the queue
    }
}

bool TKXPeakBuilder::PauseBuild()
{
    if (direct_ && buildState_ == bsBuilding) {
        direct_->Pause();
        SetBuildState(bsPaused);
        return true;
    }
    if (graph_ && graphManager_ && gst_element_set_state(graphManager_, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
        SetBuildState(bsPaused);
        return true;
    }
    SetBuildState(bsFailed);
    return false;
}

bool TKXPeakBuilder::StopBuild()
{
    if (buildState_ == bsStopped)
        return false;
    // With nothing running, stopping succeeds once a build has run, on every path.
    const bool stopped = Running() ? StopGraph() : GraphManagerExists();
    SetBuildState(stopped ? bsStopped : bsFailed);
    ListRunningBuild(false);
    if (stopped)
        rms_.DropWriter();
    // The filter may have finished its peak file just before the stop; the
    // stream then holds the same records and is finished alike.
    if (stopped && Running() && StatNative(currentPeakFile_).isFile)
        FinishStream(currentIndex_);
    bool abort = false;
    const int done = stopped ? 0 : -1;
    Fire(OnProgress, this, done, -1, done, abort);
    Q_EMIT progress(done, -1, done);
    return stopped;
}

void TKXPeakBuilder::WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    if (msg == WM_GRAPHNOTIFY)
        GraphNotify();
    else if (msg == WM_PEAKPROGRESS)
        Progress(wParam, lParam);
    else if (msg == WM_DIRECTDONE && direct_ && lParam == directRun_)
        DirectDone(wParam != 0);
}

void TKXPeakBuilder::GraphNotify()
{
    TakeGraphEvent();
}

bool TKXPeakBuilder::TakeGraphEvent()
{
    if (!graphManager_)
        return false;
    long code = EC_NONE;
    GstMessagePtr message;
    if (!GetEvent(graphManager_, code, message))
        return false;
    // Only the running graph's end or failure matter; the rest is dropped.
    if (!graph_ || (buildState_ != bsBuilding && buildState_ != bsPaused))
        return true;
    if (code == EC_COMPLETE)
        CompleteCurrent();
    else if (code == EC_ERRORABORT)
        FailCurrent(ErrorText(message.get()));
    return true;
}

bool TKXPeakBuilder::MediaChangedSinceStart() const
{
    const int index = currentIndex_;
    return index >= 0 && index < FileCount() && IdentifyMedia(files_[index]) != mediaAtStart_;
}

void TKXPeakBuilder::RebuildChangedMedia()
{
    const QString media = files_[currentIndex_];
    if (!changedMediaRetry_.isEmpty() && SameMediaFile(media, changedMediaRetry_)) {
        changedMediaRetry_.clear();
        FailCurrent(QStringLiteral("the media changed during the build"));
        return;
    }
    qCDebug(lcPeaks) << "the media" << media << "changed during its build; built again";
    changedMediaRetry_ = media;
    StopGraph();
    SetBuildState(bsStopped);
    ReleaseGraph();
    EmptyStream(currentIndex_);
    if (!StartNext() && buildState_ == bsStopped)
        ChainNext();
}

void TKXPeakBuilder::CompleteCurrent()
{
    // The peak file is in place already (the runs check the media right
    // before they commit, the graph's filter cannot): it goes again when the
    // media is no longer what the build read.
    if (MediaChangedSinceStart()) {
        if (graph_)
            graph_->RemoveCommittedPeakFile();
        if (direct_)
            direct_->RemoveCommittedPeakFile();
        RebuildChangedMedia();
        return;
    }
    changedMediaRetry_.clear();
    const int index = currentIndex_;
    StopGraph();
    // With the streaming threads stopped, the levels are final.
    WriteRmsSideFile(index);
    SetBuildState(bsStopped);
    ReleaseGraph();
    lastSegments_ = runSegments_;
    FinishStream(index);
    const QString media = index >= 0 && index < FileCount() ? files_[index] : QString();
    if (!saveToPeakFiles_)
        completedInMemory_.append(media);
    // Its stream stays empty on purpose: not a peak file to load later.
    if (!buildKeepsStream_)
        checkedNotLoaded_.insert(media);
    qCDebug(lcPeaks) << "built" << media;
    // Its new peak file can still look stale (a media file dated in the
    // future): the chain must not build it over and over.
    builtThisRun_.append(media);
    Fire(OnPeakComplete, this, index, media, currentPeakFile_);
    Q_EMIT peakComplete(index, media, currentPeakFile_);
    ChainNext();
}

void TKXPeakBuilder::FinishStream(int index)
{
    // The stream holds exactly the delivered records, as the peak file does,
    // or nothing when the build keeps no records.
    if (!buildKeepsStream_)
        return;
    if (TMemoryStream* stream = streams_.Get(index)) {
        QMutexLocker lock(&streams_.Lock());
        if (stream->Size() == 0) {
            // A track without a single sample: the header alone, as in the file.
            uint8_t header[PeakHeaderSize];
            EncodePeakHeader(MakePeakHeader(buildRate_, buildChannels_, buildBits_, buildSamplesPerPeak_, 0), header);
            stream->Append(header, PeakHeaderSize);
        } else if (stream->Size() >= PeakHeaderSize) {
            // The decoded length replaces the estimate taken at the start, as
            // the peak filter does in its file.
            uint8_t length[4];
            WriteU32LE(length, ComputePcmByteCount(buildRate_, buildChannels_, buildBits_, lastBlockTime_));
            stream->WriteAt(10, length, sizeof length);
            // Room reserved for an estimate longer than the track goes back.
            stream->Trim();
        }
        stream->SetPosition(0);
    }
}

void TKXPeakBuilder::FailCurrent(const QString& why)
{
    lastFailure_ = why;
    StopGraph();
    SetBuildState(bsStopped);
    // A peak file finished just before the failure was reported is not the
    // whole track either.
    if (graph_)
        graph_->RemoveCommittedPeakFile();
    ReleaseGraph();
    const int index = currentIndex_;
    EmptyStream(index);
    const QString media = index >= 0 && index < FileCount() ? files_[index] : QString();
    failedThisRun_.append(media);
    qCDebug(lcPeaks) << "build of" << media << "failed:" << why;
    Fire(OnPeakFailed, this, index, media, currentPeakFile_);
    Q_EMIT peakFailed(index, media, currentPeakFile_);
    ChainNext();
}

void TKXPeakBuilder::ChainNext()
{
    FindNextMissing();
    bool abort = false;
    Fire(OnProgress, this, 0, int(currentIndex_), missingCount_, abort);
    Q_EMIT progress(0, int(currentIndex_), missingCount_);
    if (abort) {
        Fire(OnPeakAbort, this);
        Q_EMIT peakAbort();
        return;
    }
    if (currentIndex_ != -1 && !abortRequest_)
        StartNext();
    abortRequest_ = false;
}

void TKXPeakBuilder::SetBuildState(uint8_t state)
{
    if (state == buildState_)
        return;
    buildState_ = state;
    Q_EMIT buildStateChanged(state);
}

void TKXPeakBuilder::FireError(const QString& why)
{
    lastFailure_ = why;
    Fire(OnError, this);
    Q_EMIT error(why);
}

void TKXPeakBuilder::Progress(uintptr_t wParam, intptr_t lParam)
{
    if (peakOverflow_ && Running() && (buildState_ == bsBuilding || buildState_ == bsPaused)) {
        FailCurrent(QStringLiteral("its peaks grew past the 1 GiB a peak file holds"));
        return;
    }
    if (streamFailed_ && Running() && (buildState_ == bsBuilding || buildState_ == bsPaused)) {
        FailCurrent(QStringLiteral("out of memory for its peak stream"));
        return;
    }
    const int64_t time = int64_t((uint64_t(wParam) & 0x7FFFFFFFu) << 32 | uint32_t(lParam));
    const int64_t duration = duration_;
    const auto percent = duration != 0 ? static_cast<int32_t>(uint64_t(100 * time / duration) & 0xFFFFFFFFu) : 0;
    bool abort = false;
    Fire(OnProgress, this, percent, int(currentIndex_), missingCount_, abort);
    Q_EMIT progress(percent, currentIndex_, missingCount_);
    if (!abort || !Running())
        return;
    StopGraph();
    // As in StopBuild: a peak file finished just before the stop has its
    // stream finished alike.
    if (StatNative(currentPeakFile_).isFile)
        FinishStream(currentIndex_);
    SetBuildState(bsStopped);
    ReleaseGraph();
    Fire(OnPeakAbort, this);
    Q_EMIT peakAbort();
}

int32_t TKXPeakBuilder::PeakCallback(void* context, int32_t count, const uint8_t* peaks, uint32_t timeLow,
                                     uint32_t timeHigh)
{
    return static_cast<TKXPeakBuilder*>(context)->TakeBlock(count, peaks, timeLow, timeHigh);
}

int32_t TKXPeakBuilder::TakeBlock(int32_t count, const uint8_t* peaks, uint32_t timeLow, uint32_t timeHigh)
{
    const int index = currentIndex_;
    if (index < 0 || index >= streams_.Count())
        return PeakFilter::E_FAIL;
    TMemoryStream* stream = streams_.Get(index);
    if (!stream || peakOverflow_ || streamFailed_)
        return PeakFilter::E_FAIL;
    // A duration estimate can be far off: the stream never grows past what a
    // peak file may hold, and the build fails on the next progress message.
    const int64_t before = deliveredBytes_;
    if (before != 0 && before + count > MaxPeakDataBytes) {
        peakOverflow_ = true;
        window_->Post(WM_PEAKPROGRESS, timeHigh, static_cast<intptr_t>(timeLow));
        return PeakFilter::E_FAIL;
    }
    deliveredBytes_ = (before == 0 ? PeakHeaderSize : before) + std::max(count, 0);
    if (!buildKeepsStream_) {
        lastBlockTime_ = int64_t(uint64_t(timeHigh) << 32 | timeLow);
        window_->Post(WM_PEAKPROGRESS, timeHigh, static_cast<intptr_t>(timeLow));
        return PeakFilter::S_OK;
    }
    bool appended = true;
    if (stream->Size() == 0) {
        // Room for the whole seconds of the track, so that appends rarely
        // reallocate; what the track leaves unused goes back when it completes.
        const int64_t seconds = std::max<int64_t>(duration_ / 10000000, 0);
        const int64_t estimate = std::min<int64_t>(seconds * buildRate_ * buildChannels_ * buildBits_ /
                                                       (int64_t(buildSamplesPerPeak_) * 4),
                                                   MaxPeakDataBytes);
        uint8_t header[PeakHeaderSize];
        EncodePeakHeader(MakePeakHeader(buildRate_, buildChannels_, buildBits_, buildSamplesPerPeak_, duration_),
                         header);
        QMutexLocker lock(&streams_.Lock());
        stream->Reserve(PeakHeaderSize + estimate);
        appended = stream->Append(header, PeakHeaderSize);
    }
    // A block lost would shift every later record: the file's build fails instead.
    if (appended && count > 0 && peaks)
        appended = streams_.Append(index, peaks, count);
    if (!appended) {
        streamFailed_ = true;
        window_->Post(WM_PEAKPROGRESS, timeHigh, static_cast<intptr_t>(timeLow));
        return PeakFilter::E_FAIL;
    }
    lastBlockTime_ = int64_t(uint64_t(timeHigh) << 32 | timeLow);
    window_->Post(WM_PEAKPROGRESS, timeHigh, static_cast<intptr_t>(timeLow));
    return PeakFilter::S_OK;
}

void TKXPeakBuilder::DirectDone(bool ok)
{
    if (buildState_ != bsBuilding && buildState_ != bsPaused)
        return;
    if (ok) {
        CompleteCurrent();
    } else if (direct_->MediaChanged() || MediaChangedSinceStart()) {
        // Segments open the file by name: one may have met the new media.
        RebuildChangedMedia();
    } else if (direct_->RetryInGraph()) {
        // The failure says nothing about the file yet: one pass decides.
        qCDebug(lcPeaks) << "building" << files_[currentIndex_] << "in one pass:" << direct_->FailureText();
        singlePassFile_ = files_[currentIndex_];
        StopGraph();
        ReleaseGraph();
        SetBuildState(bsStopped);
        // Its records so far are not the file's: emptied, a peak file that
        // another process finished meanwhile is loaded instead.
        EmptyStream(currentIndex_);
        if (!StartNext()) {
            singlePassFile_.clear();
            // Nothing started: the run ends here as after the last file.
            if (buildState_ == bsStopped)
                ChainNext();
        }
    } else {
        FailCurrent(direct_->FailureText());
    }
}

} // namespace kx
