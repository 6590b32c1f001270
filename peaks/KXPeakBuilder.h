#pragma once
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "MediaIdentity.h"
#include "MemoryBudget.h"
#include "PeakFormat.h"
#include "RmsLevelStore.h"
#include "SegmentPlan.h"
#include "StreamList.h"
#include "mediagraph/FilterSet.h"
#include "platform/OutputFile.h"
#include "platform/DesignState.h"
#include "platform/Events.h"
#include "platform/Logging.h"
#include "platform/QtProperties.h"
#include "platform/TimeUnits.h"

typedef struct _GstElement GstElement;
namespace kx {

class MessageWindow;
class TBuildGraph;
class BuildRun;

/// Channels of the peaks (chNone is refused).
enum TChannels { chNone, chMono, chStereo };
/// Bits per peak value.
enum TBPS { bp8, bp16 };
/// Sample rates the media is resampled to before reduction.
enum TSPS { sps48000, sps44100, sps32000, sps22050, sps11025, sps8000 };

/// A queued file's event: its queue index, the media and its peak file.
using TNotifyPeak = std::function<void(QObject* Sender, int Index, const QString& Filename, const QString& PeakFilename)>;
/// Progress of the current file in percent, its queue index and the
/// missing count; setting Abort stops the build.
using TPeaksProgress = std::function<void(QObject* Sender, int Progress, int ItemIndex, int Total, bool& Abort)>;
/// A file queued again, and the index it already has.
using TDuplicateEvent = std::function<void(QObject* Sender, const QString& Filename, int Index)>;
/// A file to queue that does not exist.
using TNotExistEvent = std::function<void(QObject* Sender, const QString& Filename)>;

/// Build states.
enum : uint8_t { bsStopped = 0, bsPaused = 1, bsBuilding = 2, bsFailed = 3 };

/// Messages of the builder's hidden window.
constexpr uint32_t WM_GRAPHNOTIFY = 0x8001;  ///< one per graph event (WM_APP + 1)
constexpr uint32_t WM_PEAKPROGRESS = 1025;   ///< from the peak callback (WM_USER + 1)
constexpr uint32_t WM_DIRECTDONE = 0x8002;   ///< a build without a graph ended (wParam 1 when it succeeded)

/// Keeps a queue of media files, one peak stream per file, loads existing peak
/// files into the streams and builds the missing ones by decoding the media.
///
/// Every event `OnX` is also the Qt signal `x` (OnPeakComplete: peakComplete),
/// emitted right after the handler on the builder's thread; every setting is
/// also a property. Property writes never throw: a refused value leaves the
/// property as it was and is reported through error(). The C++ setters throw
/// kx::Exception as documented.
class TKXPeakBuilder : public QObject, public DesignState
{
    Q_OBJECT
    ///@{
    /// Settings as properties; see the getters of the same name.
    /// Enumerations are their ordinals (outputChannels: TChannels,
    /// outputSamplesPerSecond: TSPS, outputBPS: TBPS).
    Q_PROPERTY(bool addToRot READ AddToRot WRITE setAddToRot)
    Q_PROPERTY(int vrmAudioCache READ VRMAudioCache WRITE setVrmAudioCache)
    Q_PROPERTY(int vrmVideoCache READ VRMVideoCache WRITE setVrmVideoCache)
    Q_PROPERTY(bool freeOutputFormat READ FreeOutputFormat WRITE setFreeOutputFormat)
    Q_PROPERTY(QString peakExtension READ PeakExtension WRITE setPeakExtension)
    Q_PROPERTY(bool postProcessing READ PostProcessing WRITE setPostProcessing)
    Q_PROPERTY(int outputChannels READ outputChannelsOrdinal WRITE setOutputChannels)
    Q_PROPERTY(int outputSamplesPerSecond READ outputSamplesPerSecondOrdinal WRITE setOutputSamplesPerSecond)
    Q_PROPERTY(int outputBPS READ outputBpsOrdinal WRITE setOutputBPS)
    Q_PROPERTY(int samplesPerPeak READ SamplesPerPeak WRITE setSamplesPerPeak)
    Q_PROPERTY(bool rebuildStale READ RebuildStale WRITE setRebuildStale)
    Q_PROPERTY(bool loadPeakData READ LoadPeakData WRITE setLoadPeakData)
    Q_PROPERTY(bool saveToPeakFiles READ SaveToPeakFiles WRITE setSaveToPeakFiles)
    Q_PROPERTY(bool keepStreams READ KeepStreams WRITE setKeepStreams)
    Q_PROPERTY(bool forceReplace READ ForceReplace WRITE setForceReplace)
    Q_PROPERTY(bool directReduction READ DirectReduction WRITE setDirectReduction)
    Q_PROPERTY(bool writeRms READ WriteRms WRITE setWriteRms)
    Q_PROPERTY(QString tempFolder READ TempFolder WRITE setTempFolder)
    ///@}
    ///@{
    /// State as read-only properties, notified as files are queued and built.
    Q_PROPERTY(QStringList files READ Files NOTIFY queueChanged)
    Q_PROPERTY(int fileCount READ FileCount NOTIFY queueChanged)
    Q_PROPERTY(int currentItemIndex READ CurrentItemIndex NOTIFY queueChanged)
    Q_PROPERTY(int missingCount READ MissingCount NOTIFY queueChanged)
    Q_PROPERTY(int buildState READ BuildState NOTIFY buildStateChanged)
    Q_PROPERTY(QString lastBuildFailure READ LastBuildFailure NOTIFY peakFailed)
    ///@}
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setOutputChannels(int value) { setOutputChannelsOrdinal(value); } ///< Writes outputChannels.
    void setOutputSamplesPerSecond(int value) { setOutputSamplesPerSecondOrdinal(value); } ///< Writes outputSamplesPerSecond.
    void setOutputBPS(int value) { setOutputBpsOrdinal(value); } ///< Writes outputBPS.
    void setRebuildStale(bool value) { SetRebuildStale(value); } ///< Writes rebuildStale.
    void setLoadPeakData(bool value) { SetLoadPeakData(value); } ///< Writes loadPeakData.
    void setSaveToPeakFiles(bool value) { SetSaveToPeakFiles(value); } ///< Writes saveToPeakFiles.
    void setKeepStreams(bool value) { SetKeepStreams(value); } ///< Writes keepStreams.
    void setForceReplace(bool value) { SetForceReplace(value); } ///< Writes forceReplace.
    void setDirectReduction(bool value) { SetDirectReduction(value); } ///< Writes directReduction.
    void setWriteRms(bool value) { SetWriteRms(value); } ///< Writes writeRms.
    ///@}
public:
    /// A builder owned by `owner` (deleted with it).
    explicit TKXPeakBuilder(QObject* owner = nullptr);
    /// Stops a running build and frees the streams.
    ~TKXPeakBuilder() override;

    ///@{
    /// Lists the running build in the graph registry, where graph inspectors find it.
    bool AddToRot() const { return addToRot_; }
    void SetAddToRot(bool value);
    ///@}
    ///@{
    /// Decoder cache sizes, 1..50 ("Cache must be between 1 and 50").
    int VRMAudioCache() const { return vrmAudioCache_; }
    void SetVRMAudioCache(int value);
    int VRMVideoCache() const { return vrmVideoCache_; }
    void SetVRMVideoCache(int value);
    ///@}
    ///@{
    /// Lets the decoder choose its output format; fixed once a build has run.
    bool FreeOutputFormat() const { return freeOutputFormat_; }
    void SetFreeOutputFormat(bool value);
    ///@}
    ///@{
    /// Which MPEG decoders a build may use.
    TFilterSet MpegCodecSet() const { return mpegCodecSet_; }
    void SetMpegCodecSet(TFilterSet value) { mpegCodecSet_ = value; }
    ///@}
    ///@{
    /// Extension of peak files, dot included (".pek"); fixed once a build has run.
    QString PeakExtension() const { return peakExtension_; }
    void SetPeakExtension(const QString& value);
    ///@}
    ///@{
    /// Runs the decoder's post-processing; fixed once a build has run.
    bool PostProcessing() const { return postProcessing_; }
    void SetPostProcessing(bool value);
    ///@}
    ///@{
    /// Channels of the peaks: chMono or chStereo (anything else throws).
    TChannels OutputChannels() const { return outputChannels_; }
    void SetOutputChannels(TChannels value);
    ///@}
    ///@{
    /// Sample rate the media is resampled to before reduction.
    TSPS OutputSamplesPerSecond() const;
    void SetOutputSamplesPerSecond(TSPS value);
    ///@}
    ///@{
    /// Bits per peak value: bp8 or bp16.
    TBPS OutputBPS() const { return bitsPerSample_ == 8 ? bp8 : bp16; }
    void SetOutputBPS(TBPS value);
    ///@}
    ///@{
    /// Frames reduced into one record (0 is ignored); fixed once a build has run.
    uint16_t SamplesPerPeak() const { return samplesPerPeak_; }
    void SetSamplesPerPeak(uint16_t value);
    ///@}
    ///@{
    /// A peak file older than its media, or with fewer records than its
    /// header's length implies, counts as missing, so that it is built again
    /// (the media was replaced since, or the file was cut short). Off by
    /// default: then any peak file is taken as it is.
    bool RebuildStale() const { return rebuildStale_; }
    void SetRebuildStale(bool value) { rebuildStale_ = value; }
    ///@}
    ///@{
    /// Existing peak files are read into their streams when queued (the
    /// default). Off, they are checked by their header and size alone and
    /// their streams stay empty: for programs that only make sure peak files
    /// exist, which then never read them.
    bool LoadPeakData() const { return loadPeakData_; }
    void SetLoadPeakData(bool value) { loadPeakData_ = value; }
    ///@}
    ///@{
    /// Writes every built stream to its peak file, beside the media or in TempFolder.
    bool SaveToPeakFiles() const { return saveToPeakFiles_; }
    void SetSaveToPeakFiles(bool value) { saveToPeakFiles_ = value; }
    ///@}
    ///@{
    /// Built records are kept in the file's stream (the default). Off, while
    /// SaveToPeakFiles is on, a build writes its peak file alone and its
    /// stream stays empty: programs that never read the streams (peaktool
    /// build) then hold no peaks in memory, however large the file.
    bool KeepStreams() const { return keepStreams_; }
    void SetKeepStreams(bool value) { keepStreams_ = value; }
    ///@}
    /// Memory the streams of builds may take, shared by the builders of one
    /// run (null: no limit). A build that keeps its stream takes its expected
    /// size before it starts and gives it back when the stream is emptied; a
    /// build that could never fit is refused with the figures, one that fits
    /// only once others are done is not started (WaitingForMemory).
    void SetMemoryBudget(std::shared_ptr<MemoryBudget> budget) { budget_ = std::move(budget); }
    /// The last StartBuild stopped at a file that waits for memory to free.
    bool WaitingForMemory() const { return waitingForMemory_; }
    ///@{
    /// A file of the wave viewer's peak layout or waveform data under a peak
    /// file's name is taken as missing and replaced. Off by default: such a
    /// file is kept, and the build of its media fails saying why.
    bool ForceReplace() const { return forceReplace_; }
    void SetForceReplace(bool value) { forceReplace_ = value; }
    ///@}
    ///@{
    /// Builds also compute the RMS of every record (RmsLevels) and, with
    /// SaveToPeakFiles, write "<peak file>.rms" once the peak file is in
    /// place; one that cannot be written is logged and told by RmsWarning,
    /// the build still complete. Off by default; no peak file is rebuilt for it.
    bool WriteRms() const { return writeRms_; }
    void SetWriteRms(bool value) { writeRms_ = value; }
    ///@}
    /// The RMS levels a build of this builder computed for the queued file,
    /// so far while it builds (a copy taken under a lock, safe from any
    /// thread). Otherwise those of its peak file's side file when that counts
    /// (RmsFile.h); nothing when neither exists.
    std::optional<RmsData> RmsLevels(int index) const;
    /// Why the last completed build's side file was not written (else empty).
    QString RmsWarning() const { return rmsWarning_; }
    /// The rules a media file's peak file is written under: never over the
    /// media, a read-only file or a file of another kind.
    OutputRules PeakFileRules(const QString& media) const;
    ///@{
    /// Folder for peak files that cannot go beside their media. Always ends
    /// with "/" once set; defaults to a folder of this user alone
    /// ($XDG_CACHE_HOME/kxaudio/peaks, mode 0700). A folder that cannot be
    /// written throws "Temp Folder must be writable".
    QString TempFolder() const { return tempFolder_; }
    void SetTempFolder(const QString& value);
    ///@}
    /// Why the default TempFolder cannot be used (it is not this user's own
    /// folder, or cannot be made); empty when it can. Peak files are then
    /// neither read from nor written to it.
    QString TempFolderProblem() const { return tempFolderProblem_; }
    /// Left gain in the low 16 bits, right gain in the high 16 (4096 = unity).
    void SetGains(uint32_t value);
    ///@{
    /// The gains SetGains set (4096 = unity).
    uint16_t LeftGain() const { return leftGain_; }
    uint16_t RightGain() const { return rightGain_; }
    ///@}
    ///@{
    /// The format of the records: rate in Hz, bits per value, channels.
    uint32_t SampleRate() const { return sampleRate_; }
    uint32_t BitsPerSample() const { return bitsPerSample_; }
    uint32_t ChannelCount() const { return outputChannels_ == chMono ? 1u : 2u; }
    ///@}

    /// Queues a media file (made absolute); loads its peak file or reports it
    /// missing. False for a duplicate (OnDuplicateFile) or a file that does
    /// not exist (OnFileNotExist).
    bool AppendFilename(const QString& Filename);
    /// Queues several files; false when none was queued.
    bool AppendFilenames(const QStringList& List);
    /// Empties the queue, then queues this one file.
    void SetFilename(const QString& Filename);
    /// Empties the queue, then queues these files (those that do not exist are left out).
    void SetFilenames(const QStringList& List);
    /// Stops a running build and empties the queue and its streams.
    void Clear();
    /// The queued media files, absolute.
    const QStringList& Files() const { return files_; }
    /// How many files are queued.
    int FileCount() const { return static_cast<int>(files_.size()); }
    /// How many streams hold records.
    int FilledStreamCount() const { return streams_.FilledCount(); }
    ///@{
    /// The peak stream of a queued file (by queue index or name); false when there is none.
    bool GetStreamByIndex(int Index, TMemoryStream*& Stream) const;
    bool GetStreamByName(const QString& Filename, TMemoryStream*& Stream) const;
    ///@}
    /// A copy of a stream taken under the stream lock, for readers that follow
    /// a stream while it is being built: its first 16 bytes (fewer while it is
    /// shorter) and its bytes from `From` on. False when there is no stream.
    /// A stream being built only ever grows by whole blocks of records at its
    /// end, so it may also be read through GetStreamByIndex meanwhile.
    bool CopyStream(int Index, int64_t From, std::vector<uint8_t>& Head, std::vector<uint8_t>& Tail,
                    int64_t& Total) const;
    /// The peak file name of a queued file and whether it exists (beside the
    /// media first, then in TempFolder).
    void GetPeakFilename(int Index, bool& Exists, QString& PeakFilename) const;
    /// The peak file name GetPeakFilename gives a media file once queued.
    QString PeakFilenameFor(const QString& media) const;
    /// Whether RebuildStale passes over a peak file of the queued file because
    /// it is older than the media.
    bool PeakFileStale(int Index) const;
    /// bsStopped, bsPaused, bsBuilding or bsFailed.
    uint8_t BuildState() const { return buildState_; }

    /// The queued file being built or next to build (-1 when none is missing).
    int CurrentItemIndex() const { return currentIndex_; }
    /// How many queued files have no peak file.
    int MissingCount() const { return missingCount_; }
    /// Walks the queue for the first file with no peak file beside it or in
    /// TempFolder; sets the current index and the missing count. Files whose
    /// peaks were completed in memory, and files that failed in the current
    /// run, are not counted as missing.
    void FindNextMissing();

    /// Starts the next file missing its peaks. A file whose graph cannot be
    /// built is reported through OnPeakFailed and passed over in favour of the
    /// next missing one; false when no file could be started.
    bool StartBuild();
    /// Pauses the running build; false when it could not be paused.
    bool PauseBuild();
    /// Stops the running build; its file stays missing. False when the
    /// graph refused to stop.
    bool StopBuild();
    /// Lets the file being built complete, then starts no further file.
    void AbortBuild() { abortRequest_ = true; }
    /// Length of the file being built, in 100-ns units (see DurationTime).
    int64_t Duration() const { return duration_; }
    /// Duration as a typed time.
    MediaTime DurationTime() const { return MediaTime(Duration()); }
    /// Why the last file reported through OnPeakFailed failed: its build, or
    /// the peak file that was refused.
    QString LastBuildFailure() const { return lastFailure_; }
    /// The graph manager: null before the first build, then there whichever
    /// path the builds took (made here when first asked after builds that
    /// needed none, so that those start no media framework).
    GstElement* GraphManager();
    /// The current decode graph; null when none is running.
    TBuildGraph* CurrentGraph() const { return graph_.get(); }
    ///@{
    /// PCM WAV files are reduced straight from the file, without a decode
    /// graph, when this is on (the default); the records are the same.
    bool DirectReduction() const { return directReduction_; }
    void SetDirectReduction(bool value) { directReduction_ = value; }
    ///@}
    ///@{
    /// Long FLAC, Ogg Vorbis and MP3 files are cut into segments decoded on
    /// several cores at once; the records are the same as from one pass.
    const SegmentPolicy& Segmentation() const { return segmentPolicy_; }
    void SetSegmentation(const SegmentPolicy& policy) { segmentPolicy_ = policy; }
    ///@}
    /// Segments the last completed build was decoded in (1: one pass).
    int LastSegmentCount() const { return lastSegments_; }
    /// How a build was run: not at all, straight from a WAV file, in
    /// segments, or through one decode graph.
    enum class BuildPath { None, Direct, Segments, OnePass };
    /// How the last build that started was run.
    BuildPath LastBuildPath() const { return lastPath_; }

    /// The peak filter's callback (streaming thread): appends a block of whole
    /// records to the current file's peak stream and posts progress.
    static int32_t PeakCallback(void* context, int32_t count, const uint8_t* peaks, uint32_t timeLow,
                                uint32_t timeHigh);
    /// The peak filter's RMS callback (streaming thread): the levels of the
    /// records of the next PeakCallback, kept for RmsLevels.
    static void RmsCallback(void* context, int32_t count, const uint16_t* values);

    /// A file's peaks are complete (built, or taken from a file that appeared).
    TNotifyPeak OnPeakComplete;
    /// A file already queued was queued again.
    TDuplicateEvent OnDuplicateFile;
    /// A stream could not be made (out of memory); its signal carries the reason.
    TNotifyEvent OnError;
    /// A file to queue does not exist.
    TNotExistEvent OnFileNotExist;
    /// Progress of the current file; setting Abort stops the build. Its
    /// signal leaves Abort out: stop from a slot with AbortBuild or StopBuild.
    TPeaksProgress OnProgress;
    /// A build was stopped through OnProgress's Abort.
    TNotifyEvent OnPeakAbort;
    /// A queued file's peak file exists and is about to be read.
    TNotifyPeak OnPeakBefore;
    /// A queued file's peak file was read (or checked) into its stream.
    TNotifyPeak OnPeakNew;
    /// A file failed: its build, or its peak file was refused (LastBuildFailure says why).
    TNotifyPeak OnPeakFailed;
    /// A queued file has no peak file.
    TNotifyPeak OnPeakMissing;

    ///@{
    /// The property writers: as the setters, but a refused value is reported
    /// through error() instead of thrown.
    KX_PROPERTY_WRITER(bool, setAddToRot, SetAddToRot, lcPeaks)
    KX_PROPERTY_WRITER(int, setVrmAudioCache, SetVRMAudioCache, lcPeaks)
    KX_PROPERTY_WRITER(int, setVrmVideoCache, SetVRMVideoCache, lcPeaks)
    KX_PROPERTY_WRITER(bool, setFreeOutputFormat, SetFreeOutputFormat, lcPeaks)
    KX_PROPERTY_WRITER(const QString&, setPeakExtension, SetPeakExtension, lcPeaks)
    KX_PROPERTY_WRITER(bool, setPostProcessing, SetPostProcessing, lcPeaks)
    KX_PROPERTY_WRITER(int, setSamplesPerPeak, SetSamplesPerPeakChecked, lcPeaks)
    KX_PROPERTY_WRITER(const QString&, setTempFolder, SetTempFolder, lcPeaks)
    KX_PROPERTY_WRITER(int, setOutputChannelsOrdinal, SetOutputChannelsOrdinal, lcPeaks)
    KX_PROPERTY_WRITER(int, setOutputSamplesPerSecondOrdinal, SetOutputSamplesPerSecondOrdinal, lcPeaks)
    KX_PROPERTY_WRITER(int, setOutputBpsOrdinal, SetOutputBpsOrdinal, lcPeaks)
    ///@}
    ///@{
    /// The enumerated settings as ordinals, for the property system.
    int outputChannelsOrdinal() const { return int(OutputChannels()); }
    int outputSamplesPerSecondOrdinal() const { return int(OutputSamplesPerSecond()); }
    int outputBpsOrdinal() const { return int(OutputBPS()); }
    ///@}

Q_SIGNALS:
    ///@{
    /// The events of the same name with "On", after their handlers.
    void peakComplete(int index, const QString& filename, const QString& peakFilename);
    void peakBefore(int index, const QString& filename, const QString& peakFilename);
    void peakNew(int index, const QString& filename, const QString& peakFilename);
    void peakFailed(int index, const QString& filename, const QString& peakFilename);
    void peakMissing(int index, const QString& filename, const QString& peakFilename);
    void duplicateFile(const QString& filename, int index);
    void fileNotExist(const QString& filename);
    void peakAbort();
    ///@}
    /// OnError with its reason, and a property write that was refused.
    void error(const QString& message);
    /// OnProgress: percent of the current file, its queue index, and the missing count.
    void progress(int progress, int itemIndex, int total);
    /// Files were queued or taken off, or the current or missing count moved.
    void queueChanged();
    /// BuildState changed.
    void buildStateChanged(int state);

    /// @cond internal
    // The builder's own machinery; protected for tests that reach into it.
protected:
    /// Settings are fixed from the first build on, whichever path served it.
    bool GraphManagerExists() const { return graphManager_ != nullptr || buildHasRun_; }
    /// The peak file names a queued media file can have: beside it, and in TempFolder.
    QString PeakNameBeside(const QString& media) const;
    QString PeakNameInTemp(const QString& media) const;
    /// The peak file exists and, with RebuildStale, is not older than the media.
    bool UsablePeakFile(const QString& peak, const QString& media) const;
    /// Gives the new stream, or null when it could not be made (state failed, OnError).
    TMemoryStream* NewStreamAt(int index);
    /// Steps 5 and 6 of queuing: load an existing peak file or report it
    /// missing. False when the load failed and the file was taken out again.
    bool LoadOrReportMissing(int index, TMemoryStream* stream);
    /// Takes a file whose peak file was refused off the queue; gives false.
    bool RefusePeakFile(int index, TMemoryStream* stream, const QString& peakName, PeakCheck check);
    /// Messages of the hidden window (graph notifications and progress).
    void WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam);

    MessageWindow* window_ = nullptr;
    QStringList files_;
    QString peakExtension_ = QStringLiteral(".pek");
    TStreamList streams_;
    GstElement* graphManager_ = nullptr;
    uint32_t rotCookie_ = 0;
    uint8_t buildState_ = bsStopped;
    bool saveToPeakFiles_ = false;
    bool postProcessing_ = false;
    uint16_t samplesPerPeak_ = 100;
    QString tempFolder_;
    QString tempFolderProblem_;
    bool forceReplace_ = false;
    uint32_t bitsPerSample_ = 16;
    TChannels outputChannels_ = chStereo;
    uint16_t leftGain_ = 4096;
    uint16_t rightGain_ = 4096;
    uint32_t sampleRate_ = 48000;
    bool addToRot_ = false;
    int vrmVideoCache_ = 12;
    int vrmAudioCache_ = 2;
    TFilterSet mpegCodecSet_ = Moonlight;
    std::atomic<int> currentIndex_{0};
    int missingCount_ = 0;
    std::atomic<int64_t> duration_{0};
    bool abortRequest_ = false;
    bool freeOutputFormat_ = false;
    bool rebuildStale_ = false;
    bool loadPeakData_ = true;
    bool keepStreams_ = true;
    std::shared_ptr<MemoryBudget> budget_;
    /// What each stream took of the budget.
    std::map<const TMemoryStream*, int64_t> budgetTaken_;
    bool waitingForMemory_ = false;

private:
    friend class TBuildGraph;
    void SetBuildState(uint8_t state);
    /// Range checks the property system's int before the uint16_t setter sees it.
    void SetSamplesPerPeakChecked(int value);
    void SetOutputChannelsOrdinal(int value);
    void SetOutputSamplesPerSecondOrdinal(int value);
    void SetOutputBpsOrdinal(int value);
    /// OnError and its signal, with the reason.
    void FireError(const QString& why);
    void CreateGraphManager();
    bool StartNext();
    /// Stops the manager and waits for the stopped state; false when the
    /// manager refused.
    bool StopGraph();
    void ReleaseGraph();
    void GraphNotify();
    /// Takes one graph event and acts on it; false when none was queued.
    bool TakeGraphEvent();
    void Progress(uintptr_t wParam, intptr_t lParam);
    void CompleteCurrent();
    /// Trims a finished file's stream to its records and sets its decoded length.
    void FinishStream(int index);
    void FailCurrent(const QString& why);
    void ChainNext();
    void EmptyStream(int index);
    /// Loads the peak files that appeared for queued files still without peaks.
    void TakeFinishedElsewhere();
    bool SkippedThisRun(const QString& media) const;
    /// How an attempt to start the current file ended; Refused sets lastFailure_.
    enum class Start { NotTaken, Started, Refused, Deferred };
    /// Takes the budget for the current file's stream; Refused sets lastFailure_.
    Start TakeStreamMemory(int index);
    void GiveStreamMemory(const TMemoryStream* stream);
    /// Refuses what can never be built: not a regular file (a FIFO would
    /// block the reader), or peaks too large for a peak file.
    Start CheckMedia(int index);
    /// Refuses a peak file target that the output rules would not write.
    Start CheckPeakTarget(int index);
    /// Starts the current file without a graph when it is a WAV the direct
    /// reduction takes.
    Start StartDirect(int index);
    /// Starts the current file in segments when it is long enough and of a
    /// format that decodes alike from a seek.
    Start StartSegmented(int index);
    /// Builds the decode graph for the current file and prerolls it.
    Start StartInGraph(int index);
    Start StartRun(std::unique_ptr<BuildRun> run);
    /// The reduction the running build asks for, from input at inputRate.
    PeakReducerSettings BuildPeakSettings(uint32_t inputRate) const;
    /// Refuses peaks of a track of this length that no peak file could hold.
    bool RefuseOversizedPeaks(int64_t duration100ns);
    void DirectDone(bool ok);
    /// The media of the finished build is not the file it started from: the
    /// result is dropped and the file built once more, or failed when that
    /// already happened.
    bool MediaChangedSinceStart() const;
    void RebuildChangedMedia();
    /// Whether a build (graph or direct) is in progress.
    bool Running() const { return graph_ || direct_; }
    int32_t TakeBlock(int32_t count, const uint8_t* peaks, uint32_t timeLow, uint32_t timeHigh);
    /// Starts the levels of the current file's build when it computes them.
    void BeginRms(int index);
    /// Writes the completed build's side file beside its peak file.
    void WriteRmsSideFile(int index);

    bool writeRms_ = false;
    bool buildRms_ = false;  ///< the running build computes levels
    RmsLevelStore rms_;
    QString rmsWarning_;

    std::unique_ptr<TBuildGraph> graph_;
    std::unique_ptr<BuildRun> direct_;
    bool directReduction_ = true;
    SegmentPolicy segmentPolicy_ = DefaultSegmentPolicy();
    /// A file whose segmented build failed, built next in one pass.
    QString singlePassFile_;
    int runSegments_ = 1;
    int lastSegments_ = 0;
    /// Tells a direct build's end from that of an earlier one.
    intptr_t directRun_ = 0;
    bool buildHasRun_ = false;
    BuildPath lastPath_ = BuildPath::None;
    /// The graph registry's entry of the running build (AddToRot), 0 when none.
    void ListRunningBuild(bool listed);
    QString currentPeakFile_;
    /// The current file as it was when its build started, and the file last
    /// built again because its media changed meanwhile.
    MediaIdentity mediaAtStart_;
    QString changedMediaRetry_;
    QString lastFailure_;
    /// Format of the running build, fixed at its start for the callback.
    uint32_t buildRate_ = 48000;
    uint32_t buildChannels_ = 2;
    uint32_t buildBits_ = 16;
    uint16_t buildSamplesPerPeak_ = 100;
    /// Media time of the last block taken (written on the streaming thread).
    std::atomic<int64_t> lastBlockTime_{0};
    /// Set on the streaming thread when a block would take the stream past
    /// the size of the largest peak file; the build then fails.
    std::atomic<bool> peakOverflow_{false};
    /// Set on the streaming thread when the stream could not grow for a
    /// block; the build then fails.
    std::atomic<bool> streamFailed_{false};
    /// Bytes of peaks the running build delivered (header included), kept or not.
    std::atomic<int64_t> deliveredBytes_{0};
    /// Whether the running build keeps its records in its stream.
    bool buildKeepsStream_ = true;
    /// Files whose peak files were checked, not read (LoadPeakData off).
    QSet<QString> checkedNotLoaded_;
    /// Files built into their streams only (no peak file) and files that
    /// failed in this run: the chain never starts them again.
    QStringList completedInMemory_;
    QStringList failedThisRun_;
    QStringList builtThisRun_;
    /// @endcond
};

/// Names compare equal when they match after lower-casing ASCII letters.
bool SameFileName(const QString& a, const QString& b);
/// The name with its last extension replaced (ext includes the dot).
QString ChangeFileExt(const QString& fileName, const QString& ext);

} // namespace kx
