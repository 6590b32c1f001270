#include "KXPeakBuilder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <gst/gst.h>

#include "BuildGraph.h"
#include "DirectWavBuild.h"
#include "MediaIdentity.h"
#include "PeakFormat.h"
#include "mediagraph/AtomicPeakFile.h"
#include "mediagraph/CodecConfig.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/GraphHelpers.h"
#include "mediagraph/MediaFramework.h"
#include "mediagraph/PeakFilterContract.h"
#include "platform/Exception.h"
#include "platform/NativeName.h"
#include "platform/PostedEvent.h"
#include "platform/PrivateFolder.h"

namespace kx {

namespace {

// Emits queueChanged() when a queue operation leaves the queue, the current
// file or the missing count other than it found them.
class QueueWatch
{
public:
    explicit QueueWatch(TKXPeakBuilder& builder)
        : builder_(builder), files_(builder.Files()), current_(builder.CurrentItemIndex()),
          missing_(builder.MissingCount())
    {
    }
    ~QueueWatch()
    {
        if (builder_.Files() != files_ || builder_.CurrentItemIndex() != current_ ||
            builder_.MissingCount() != missing_)
            Q_EMIT builder_.queueChanged();
    }
    QueueWatch(const QueueWatch&) = delete;
    QueueWatch& operator=(const QueueWatch&) = delete;

private:
    TKXPeakBuilder& builder_;
    const QStringList files_;
    const int current_;
    const int missing_;
};

} // namespace

bool SameFileName(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        QChar x = a[i], y = b[i];
        if (x.unicode() < 128)
            x = x.toLower();
        if (y.unicode() < 128)
            y = y.toLower();
        if (x != y)
            return false;
    }
    return true;
}

QString ChangeFileExt(const QString& fileName, const QString& ext)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot > slash && dot >= 0)
        return fileName.left(dot) + ext;
    return fileName + ext;
}

namespace {

QString WithTrailingSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// Queued names are absolute: a relative one would name its peak file
// against whatever the working folder is when it is looked up.
QString AbsoluteName(const QString& name)
{
    return AbsoluteNativeName(name);
}

QString DefaultTempFolder(QString& problem)
{
    // This user's own folder: in a shared one, another user could plant
    // files under the names the builder writes or loads. When none can be
    // made safe, names still point where it belongs, and problem says why
    // nothing is read or written there.
    const QString folder = PrivateCacheFolder(QStringLiteral("peaks"), &problem);
    return WithTrailingSlash(folder.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache/kxaudio/peaks") : folder);
}

} // namespace

TKXPeakBuilder::TKXPeakBuilder(QObject* owner)
    : QObject(owner)
{
    tempFolder_ = DefaultTempFolder(tempFolderProblem_);
    window_ = new MessageWindow([this](uint32_t msg, uintptr_t w, intptr_t l) { WindowProc(msg, w, l); }, this);
    CodecConfig::FillSetsIfDemuxEmpty();
}

TKXPeakBuilder::~TKXPeakBuilder()
{
    // The streaming thread writes into the streams: it ends before they go.
    ReleaseGraph();
    Clear();
    ListRunningBuild(false);
    if (graphManager_) {
        SetNotifyWindow(graphManager_, nullptr, 0);
        gst_element_set_state(graphManager_, GST_STATE_NULL);
        gst_object_unref(graphManager_);
        graphManager_ = nullptr;
    }
    delete window_;
    window_ = nullptr;
}

void TKXPeakBuilder::SetAddToRot(bool value)
{
    if (value == addToRot_)
        return;
    addToRot_ = value;
    ListRunningBuild(value && (buildState_ == bsBuilding || buildState_ == bsPaused));
}

void TKXPeakBuilder::SetVRMAudioCache(int value)
{
    if (value == vrmAudioCache_)
        return;
    if (value < 1 || value > 50)
        throw Exception("Cache must be between 1 and 50");
    vrmAudioCache_ = value;
}

void TKXPeakBuilder::SetVRMVideoCache(int value)
{
    if (value == vrmVideoCache_)
        return;
    if (value < 1 || value > 50)
        throw Exception("Cache must be between 1 and 50");
    vrmVideoCache_ = value;
}

void TKXPeakBuilder::SetFreeOutputFormat(bool value)
{
    if (!GraphManagerExists())
        freeOutputFormat_ = value;
}

void TKXPeakBuilder::SetPeakExtension(const QString& value)
{
    if (!GraphManagerExists())
        peakExtension_ = value;
}

void TKXPeakBuilder::SetPostProcessing(bool value)
{
    if (!GraphManagerExists())
        postProcessing_ = value;
}

void TKXPeakBuilder::SetOutputChannels(TChannels value)
{
    if (value == outputChannels_ || GraphManagerExists())
        return;
    if (value != chMono && value != chStereo)
        throw Exception("Channels must be chMono or chStereo");
    QMutexLocker lock(&streams_.Lock());
    outputChannels_ = value;
}

TSPS TKXPeakBuilder::OutputSamplesPerSecond() const
{
    switch (sampleRate_) {
    case 8000: return sps8000;
    case 11025: return sps11025;
    case 22050: return sps22050;
    case 32000: return sps32000;
    case 44100: return sps44100;
    default: return sps48000;
    }
}

void TKXPeakBuilder::SetOutputSamplesPerSecond(TSPS value)
{
    switch (value) {
    case sps44100: sampleRate_ = 44100; break;
    case sps32000: sampleRate_ = 32000; break;
    case sps22050: sampleRate_ = 22050; break;
    case sps11025: sampleRate_ = 11025; break;
    case sps8000: sampleRate_ = 8000; break;
    default: sampleRate_ = 48000; break;
    }
}

void TKXPeakBuilder::SetOutputBPS(TBPS value)
{
    const uint32_t bits = value == bp8 ? 8 : value == bp16 ? 16 : 0;
    if (bits == bitsPerSample_ || GraphManagerExists())
        return;
    if (bits != 8 && bits != 16)
        throw Exception("BitsPerSample must be bps8 or bps16");
    QMutexLocker lock(&streams_.Lock());
    bitsPerSample_ = bits;
}

void TKXPeakBuilder::SetSamplesPerPeak(uint16_t value)
{
    // 0 frames per record means nothing; refused like a locked setting.
    if (value != 0 && !GraphManagerExists())
        samplesPerPeak_ = value;
}

void TKXPeakBuilder::SetSamplesPerPeakChecked(int value)
{
    if (value < 1 || value > 65535)
        throw Exception(QStringLiteral("SamplesPerPeak must be between 1 and 65535"));
    SetSamplesPerPeak(static_cast<uint16_t>(value));
}

void TKXPeakBuilder::SetOutputChannelsOrdinal(int value)
{
    if (value < chNone || value > chStereo)
        throw Exception("Channels must be chMono or chStereo");
    SetOutputChannels(static_cast<TChannels>(value));
}

void TKXPeakBuilder::SetOutputSamplesPerSecondOrdinal(int value)
{
    if (value < sps48000 || value > sps8000)
        throw Exception(QStringLiteral("OutputSamplesPerSecond must be between 0 and %1").arg(int(sps8000)));
    SetOutputSamplesPerSecond(static_cast<TSPS>(value));
}

void TKXPeakBuilder::SetOutputBpsOrdinal(int value)
{
    if (value < bp8 || value > bp16)
        throw Exception("BitsPerSample must be bps8 or bps16");
    SetOutputBPS(static_cast<TBPS>(value));
}

void TKXPeakBuilder::SetTempFolder(const QString& value)
{
    if (value == tempFolder_ || GraphManagerExists())
        return;
    if (!StatNative(value).isDir)
        return;
    if (!FolderWritable(value))
        throw Exception("Temp Folder must be writable");
    tempFolder_ = WithTrailingSlash(value);
    tempFolderProblem_.clear();
}

void TKXPeakBuilder::SetGains(uint32_t value)
{
    const auto left = static_cast<uint16_t>(value & 0xFFFF);
    const auto right = static_cast<uint16_t>(value >> 16);
    if ((left == leftGain_ && right == rightGain_) || GraphManagerExists())
        return;
    leftGain_ = left;
    rightGain_ = right;
}

QString TKXPeakBuilder::PeakNameBeside(const QString& media) const
{
    return ChangeFileExt(media, peakExtension_);
}

QString TKXPeakBuilder::PeakNameInTemp(const QString& media) const
{
    // A short hash of the media's folder keeps media of one name in different
    // folders from sharing a peak file here.
    const qsizetype slash = media.lastIndexOf(QLatin1Char('/'));
    const QString bare = media.mid(slash + 1);
    const QByteArray folder = EncodeNativeName(QFileInfo(media).absolutePath());
    const QString tag = QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(8));
    return tempFolder_ + ChangeFileExt(bare, QLatin1Char('.') + tag + peakExtension_);
}

QString TKXPeakBuilder::PeakFilenameFor(const QString& media) const
{
    const QString name = AbsoluteName(media);
    return FolderWritable(name) ? PeakNameBeside(name) : PeakNameInTemp(name);
}

OutputRules TKXPeakBuilder::PeakFileRules(const QString& media) const
{
    OutputRules rules = AtomicPeakFile::Rules();
    rules.force = forceReplace_;
    rules.Input(media);
    return rules;
}

bool TKXPeakBuilder::UsablePeakFile(const QString& peak, const QString& media) const
{
    // Nothing is taken from a temporary folder that could not be made safe.
    if (!tempFolderProblem_.isEmpty() && peak.startsWith(tempFolder_))
        return false;
    const NativeFileStatus info = StatNative(peak);
    if (!info.isFile)
        return false;
    // Forced, a file of the other layout or waveform data is built over.
    if (forceReplace_ && KindOfFile(peak) != FileKind::BuilderPeaks)
        return false;
    if (!rebuildStale_)
        return true;
    // Older than its media: the media was replaced or re-recorded since.
    // Fewer records than its header's length: cut short by a copy or a crash.
    return info.modifiedMs >= StatNative(media).modifiedMs && !PeakFileCutShort(peak);
}

bool TKXPeakBuilder::PeakFileStale(int Index) const
{
    if (!rebuildStale_ || Index < 0 || Index >= FileCount())
        return false;
    const QString& media = files_[Index];
    // Older than the media or cut short; a file of the other layout that
    // ForceReplace builds over is not stale, only replaced.
    const auto stale = [&](const QString& peak) {
        const NativeFileStatus info = StatNative(peak);
        return info.isFile && (info.modifiedMs < StatNative(media).modifiedMs || PeakFileCutShort(peak));
    };
    return stale(PeakNameBeside(media)) || stale(PeakNameInTemp(media));
}

void TKXPeakBuilder::GetPeakFilename(int Index, bool& Exists, QString& PeakFilename) const
{
    if (Index < 0 || Index >= FileCount()) {
        Exists = false;
        return;
    }
    const QString& media = files_[Index];
    PeakFilename = PeakFilenameFor(media);
    Exists = UsablePeakFile(PeakFilename, media);
}

void TKXPeakBuilder::FindNextMissing()
{
    QueueWatch watch(*this);
    currentIndex_ = -1;
    missingCount_ = 0;
    for (int i = 0; i < FileCount(); ++i) {
        const QString& media = files_[i];
        if (UsablePeakFile(PeakNameBeside(media), media) || UsablePeakFile(PeakNameInTemp(media), media))
            continue;
        if (SkippedThisRun(media))
            continue;
        if (currentIndex_ < 0)
            currentIndex_ = i;
        ++missingCount_;
    }
}

bool TKXPeakBuilder::GetStreamByIndex(int Index, TMemoryStream*& Stream) const
{
    Stream = streams_.Get(Index);
    return Stream != nullptr;
}

bool TKXPeakBuilder::CopyStream(int Index, int64_t From, std::vector<uint8_t>& Head, std::vector<uint8_t>& Tail,
                                int64_t& Total) const
{
    TMemoryStream* stream = streams_.Get(Index);
    if (!stream)
        return false;
    // The list's lock keeps the stream alive; appends only add whole blocks
    // at the end, so the bytes up to Total stay as they are.
    QMutexLocker lock(&streams_.Lock());
    Total = stream->Size();
    Head = stream->Copy(0, std::min<int64_t>(Total, PeakHeaderSize));
    Tail = stream->Copy(std::clamp<int64_t>(From, 0, Total), Total);
    return true;
}

bool TKXPeakBuilder::GetStreamByName(const QString& Filename, TMemoryStream*& Stream) const
{
    Stream = nullptr;
    const QString name = AbsoluteName(Filename);
    for (int i = 0; i < FileCount(); ++i) {
        if (SameMediaFile(files_[i], name)) {
            Stream = streams_.Get(i);
            break;
        }
    }
    return Stream != nullptr;
}

void TKXPeakBuilder::Clear()
{
    QueueWatch watch(*this);
    // Freeing streams under a running graph would let its callback write
    // into freed memory: a build still running is stopped first.
    if (Running()) {
        StopGraph();
        ReleaseGraph();
        if (buildState_ == bsBuilding || buildState_ == bsPaused)
            SetBuildState(bsStopped);
    }
    files_.clear();
    for (const auto& [stream, bytes] : budgetTaken_)
        if (budget_)
            budget_->Give(bytes);
    budgetTaken_.clear();
    streams_.Clear();
    rms_.Clear();
    completedInMemory_.clear();
    failedThisRun_.clear();
    builtThisRun_.clear();
    checkedNotLoaded_.clear();
}

TMemoryStream* TKXPeakBuilder::NewStreamAt(int index)
{
    try {
        auto stream = std::make_unique<TMemoryStream>();
        TMemoryStream* raw = stream.get();
        streams_.Insert(index, std::move(stream));
        return raw;
    } catch (const std::bad_alloc&) {
        SetBuildState(bsFailed);
        FireError(QStringLiteral("out of memory for a peak stream"));
        return nullptr;
    }
}

bool TKXPeakBuilder::LoadOrReportMissing(int index, TMemoryStream* stream)
{
    bool exists = false;
    QString peakName;
    GetPeakFilename(index, exists, peakName);
    const QString media = files_[index];
    if (!exists) {
        Fire(OnPeakMissing, this, index, media, peakName);
        Q_EMIT peakMissing(index, media, peakName);
        return true;
    }
    Fire(OnPeakBefore, this, index, media, peakName);
    Q_EMIT peakBefore(index, media, peakName);
    if (!loadPeakData_) {
        const PeakCheck check = CheckPeakFile(peakName, PeakReader::Builder);
        if (check == PeakCheck::Accepted) {
            checkedNotLoaded_.insert(media);
            Fire(OnPeakNew, this, index, media, peakName);
            Q_EMIT peakNew(index, media, peakName);
            return true;
        }
        return RefusePeakFile(index, stream, peakName, check);
    }
    std::vector<uint8_t> bytes;
    const PeakCheck check = ReadPeakFile(peakName, PeakReader::Builder, bytes);
    if (check == PeakCheck::Accepted) {
        QMutexLocker lock(&streams_.Lock());
        stream->SetSize(0);
        stream->SetPosition(0);
        stream->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        stream->SetPosition(0);
        lock.unlock();
        Fire(OnPeakNew, this, index, media, peakName);
        Q_EMIT peakNew(index, media, peakName);
        return true;
    }
    return RefusePeakFile(index, stream, peakName, check);
}

bool TKXPeakBuilder::RefusePeakFile(int index, TMemoryStream* stream, const QString& peakName, PeakCheck check)
{
    const QString media = files_[index];
    lastFailure_ = QStringLiteral("the peak file %1 is refused: %2").arg(peakName, PeakCheckText(check));
    GiveStreamMemory(stream);
    streams_.Remove(stream);
    files_.removeAt(index);
    Fire(OnPeakFailed, this, index, media, peakName);
    Q_EMIT peakFailed(index, media, peakName);
    return false;
}

bool TKXPeakBuilder::AppendFilename(const QString& Given)
{
    QueueWatch watch(*this);
    if (Given.isEmpty())
        return false;
    const QString Filename = AbsoluteName(Given);
    for (int i = 0; i < FileCount(); ++i) {
        if (SameMediaFile(files_[i], Filename)) {
            Fire(OnDuplicateFile, this, Filename, i);
            Q_EMIT duplicateFile(Filename, i);
            return false;
        }
    }
    if (!StatNative(Filename).exists) {
        Fire(OnFileNotExist, this, Filename);
        Q_EMIT fileNotExist(Filename);
        return false;
    }
    files_.append(Filename);
    const int index = FileCount() - 1;
    TMemoryStream* stream = NewStreamAt(index);
    if (!stream) {
        files_.removeLast();
        return true;
    }
    LoadOrReportMissing(index, stream);
    return true;
}

bool TKXPeakBuilder::AppendFilenames(const QStringList& List)
{
    QueueWatch watch(*this);
    bool queued = false;
    for (const QString& given : List) {
        const QString name = AbsoluteName(given);
        int duplicate = -1;
        for (int i = 0; i < FileCount() && duplicate < 0; ++i)
            if (SameMediaFile(files_[i], name))
                duplicate = i;
        if (duplicate >= 0) {
            Fire(OnDuplicateFile, this, name, duplicate);
            Q_EMIT duplicateFile(name, duplicate);
            continue;
        }
        files_.append(name);
        const int index = FileCount() - 1;
        TMemoryStream* stream = NewStreamAt(index);
        if (!stream) {
            files_.removeLast();
            break;
        }
        queued = true;
        LoadOrReportMissing(index, stream);
    }
    return queued;
}

void TKXPeakBuilder::SetFilename(const QString& Given)
{
    QueueWatch watch(*this);
    const QString Filename = AbsoluteName(Given);
    if (!StatNative(Filename).exists) {
        Fire(OnFileNotExist, this, Filename);
        Q_EMIT fileNotExist(Filename);
        return;
    }
    Clear();
    files_.append(Filename);
    FindNextMissing();
    TMemoryStream* stream = NewStreamAt(0);
    if (!stream) {
        files_.clear();
        return;
    }
    LoadOrReportMissing(0, stream);
}

void TKXPeakBuilder::SetFilenames(const QStringList& List)
{
    QueueWatch watch(*this);
    Clear();
    // Every name gets its stream first, so that the queue and the stream list
    // have the same length whenever an event below runs.
    for (const QString& name : List) {
        if (!NewStreamAt(FileCount())) {
            Clear();
            return;
        }
        files_.append(AbsoluteName(name));
    }
    // Last to first, so that removing a file never shifts one still to come.
    for (int i = FileCount() - 1; i >= 0; --i) {
        if (i == 0)
            FindNextMissing();
        if (!StatNative(files_[i]).exists) {
            const QString name = files_[i];
            streams_.Remove(streams_.Get(i));
            files_.removeAt(i);
            Fire(OnFileNotExist, this, name);
            Q_EMIT fileNotExist(name);
            continue;
        }
        LoadOrReportMissing(i, streams_.Get(i));
    }
}

} // namespace kx
