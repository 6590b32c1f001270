#include "KXPeakBuildPool.h"

#include <QHash>
#include <QThread>
#include <algorithm>
#include <memory>

#include "MediaIdentity.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Names compared as SameFileName does: ASCII letters in lower case.
QString FoldedName(const QString& name)
{
    QString folded = name;
    for (QChar& c : folded)
        if (c.unicode() < 128)
            c = c.toLower();
    return folded;
}

// Files whose names differ only in folder or extension can have the same
// peak file (beside them or in the temporary folder): they share a key.
QString PeakKey(const QString& file)
{
    const QString bare = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
    return FoldedName(ChangeFileExt(bare, QString()));
}

} // namespace

struct TKXPeakBuildPool::Slot {
    std::unique_ptr<TKXPeakBuilder> builder;
    int index = -1;
    int percent = 0;
    bool stale = false;
};

TKXPeakBuildPool::TKXPeakBuildPool(QObject* owner)
    : QObject(owner), jobs_(std::max(1, QThread::idealThreadCount())),
      budget_(std::make_shared<MemoryBudget>(MemoryBudget::DefaultBytes()))
{
}

void TKXPeakBuildPool::SetMemoryBudget(int64_t bytes)
{
    if (!running_)
        budget_ = std::make_shared<MemoryBudget>(bytes);
}

TKXPeakBuildPool::~TKXPeakBuildPool()
{
    Stop();
}

void TKXPeakBuildPool::SetJobs(int jobs)
{
    jobs_ = std::max(1, jobs);
}

bool TKXPeakBuildPool::Start(const QStringList& files)
{
    if (running_)
        return false;
    files_.clear();
    keys_.clear();
    // Names that fold alike are one file only where SameMediaFile says so
    // (Take.wav and take.wav can both be on disk).
    QHash<QString, QStringList> seen;
    for (const QString& f : files) {
        QStringList& alike = seen[FoldedName(f)];
        if (std::any_of(alike.begin(), alike.end(), [&f](const QString& g) { return SameMediaFile(f, g); }))
            continue;
        alike.append(f);
        files_.append(f);
        keys_.append(PeakKey(f));
    }
    results_.assign(size_t(files_.size()), Result{});
    next_ = 0;
    reported_ = 0;
    done_ = 0;
    lastPercent_ = -1;
    running_ = true;
    Q_EMIT runningChanged(true);
    while (int(slots_.size()) < jobs_)
        slots_.push_back(std::make_unique<Slot>());
    Dispatch();
    return true;
}

void TKXPeakBuildPool::Stop()
{
    const bool wasRunning = running_;
    running_ = false;
    for (auto& slot : slots_) {
        slot->index = -1;
        if (slot->builder)
            slot->builder->Clear();
    }
    if (wasRunning)
        Q_EMIT runningChanged(false);
}

bool TKXPeakBuildPool::Busy(const QString& key) const
{
    return std::any_of(slots_.begin(), slots_.end(),
                       [&](const auto& s) { return s->index >= 0 && keys_[s->index] == key; });
}

void TKXPeakBuildPool::Dispatch()
{
    if (!running_)
        return;
    for (auto& slot : slots_) {
        if (slot->index >= 0)
            continue;
        // Input order; a file that would share a running file's peak file waits.
        if (next_ >= files_.size() || Busy(keys_[next_]))
            break;
        if (!Begin(*slot, next_++))
            break;  // waits for memory: so do the files after it
        if (!running_)
            return;
    }
    const bool idle = std::none_of(slots_.begin(), slots_.end(), [](const auto& s) { return s->index >= 0; });
    if (idle && next_ >= files_.size() && reported_ >= files_.size()) {
        running_ = false;
        if (OnFinished)
            OnFinished();
        Q_EMIT finished();
        Q_EMIT runningChanged(false);
    }
}

bool TKXPeakBuildPool::Begin(Slot& slot, int index)
{
    if (!slot.builder) {
        slot.builder = std::make_unique<TKXPeakBuilder>();
        TKXPeakBuilder& b = *slot.builder;
        if (Configure)
            Configure(b);
        b.SetMemoryBudget(budget_);
        b.OnFileNotExist = [this, &slot](QObject*, const QString&) { Finish(slot, Outcome::NotFound, {}); };
        b.OnPeakNew = [this, &slot](QObject*, int, const QString&, const QString& peak) {
            Finish(slot, Outcome::HasPeaks, peak);
        };
        b.OnPeakFailed = [this, &slot](QObject*, int, const QString&, const QString& peak) {
            Finish(slot, Outcome::Failed, peak);
        };
        b.OnPeakMissing = [&slot](QObject*, int item, const QString&, const QString&) {
            slot.stale = slot.builder->PeakFileStale(item);
        };
        b.OnPeakComplete = [this, &slot](QObject*, int, const QString&, const QString& peak) {
            Finish(slot, Outcome::Built, peak);
        };
        b.OnProgress = [this, &slot](QObject*, int progress, int item, int, bool&) {
            if (slot.index >= 0 && item == 0 && progress >= 0) {
                slot.percent = std::min(progress, 100);
                ReportProgress();
            }
        };
    }
    TKXPeakBuilder& b = *slot.builder;
    b.Clear();
    slot.index = index;
    slot.percent = 0;
    slot.stale = false;
    // The queue events decide at once for missing and existing peak files.
    const bool queued = b.AppendFilename(files_[index]);
    if (slot.index != index)
        return true;
    bool started = queued && b.StartBuild();
    if (!started && queued && slot.index == index && b.MissingCount() == 0) {
        // Another process put the peak file in place between the queueing
        // and the start: queued again, it is loaded like any peak file found.
        b.Clear();
        started = b.AppendFilename(files_[index]) && (slot.index != index || b.StartBuild());
    }
    if (!started && slot.index == index && b.WaitingForMemory()) {
        // Started again once a running file is done and its stream emptied;
        // with none running nothing would free memory, which the budget's
        // check at the start rules out, so that case fails rather than waits.
        const bool others = std::any_of(slots_.begin(), slots_.end(),
                                         [&slot](const auto& s) { return s.get() != &slot && s->index >= 0; });
        if (others) {
            slot.index = -1;
            b.Clear();
            next_ = index;
            return false;
        }
    }
    if (!started && slot.index == index)
        Finish(slot, Outcome::Failed, {});
    return true;
}

void TKXPeakBuildPool::Finish(Slot& slot, Outcome outcome, const QString& peakFile)
{
    const int index = slot.index;
    if (index < 0 || !running_)
        return;
    const QString failure = outcome == Outcome::Failed ? slot.builder->LastBuildFailure() : QString();
    results_[size_t(index)] = Result{true, outcome, peakFile, failure, slot.stale};
    if (OnFileFinished)
        OnFileFinished(index, files_[index], outcome, peakFile, *slot.builder);
    Q_EMIT fileFinished(index, files_[index], outcome, peakFile);
    slot.index = -1;
    ++done_;
    ReportInOrder();
    ReportProgress();
    // Called from inside the builder's event: its stream is emptied (memory
    // back to the budget) and the next file started afterwards.
    QMetaObject::invokeMethod(
        this,
        [this, &slot] {
            if (slot.index < 0 && slot.builder && slot.builder->BuildState() != bsBuilding)
                slot.builder->Clear();
            Dispatch();
        },
        Qt::QueuedConnection);
}

QString TKXPeakBuildPool::FailureOf(int index) const
{
    return index >= 0 && size_t(index) < results_.size() ? results_[size_t(index)].failure : QString();
}

bool TKXPeakBuildPool::WasStale(int index) const
{
    return index >= 0 && size_t(index) < results_.size() && results_[size_t(index)].stale;
}

void TKXPeakBuildPool::ReportInOrder()
{
    while (reported_ < files_.size() && results_[size_t(reported_)].known) {
        const Result& r = results_[size_t(reported_)];
        const int index = reported_++;
        if (OnFileResult)
            OnFileResult(index, files_[index], r.outcome, r.peakFile);
        Q_EMIT fileResult(index, files_[index], r.outcome, r.peakFile);
    }
}

void TKXPeakBuildPool::ReportProgress()
{
    if (files_.isEmpty())
        return;
    int64_t sum = int64_t(done_) * 100;
    for (const auto& s : slots_)
        if (s->index >= 0)
            sum += s->percent;
    const int percent = int(sum / files_.size());
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    if (OnProgress)
        OnProgress(percent, done_, int(files_.size()));
    Q_EMIT progress(percent, done_, int(files_.size()));
}

int ShardOf(const QString& name, int count)
{
    if (count <= 1)
        return 0;
    // Without its extension, so that media sharing a peak file (a.wav and
    // a.flac) land in one share, where the collision is seen. 64-bit FNV-1a:
    // simple, and fixed by its definition.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : EncodeNativeName(ChangeFileExt(name, QString()))) {
        hash ^= uint8_t(c);
        hash *= 0x100000001b3ull;
    }
    return int(hash % uint64_t(count));
}

} // namespace kx
