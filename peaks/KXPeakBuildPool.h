#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "KXPeakBuilder.h"

namespace kx {

/// Builds the peaks of many files at once. Each builder keeps its one-file-
/// at-a-time queue and events; the pool drives several of them, each given
/// one file at a time, and reports every file's outcome in input order.
/// Everything runs on the thread that owns the pool (the builders' decoding
/// runs on their own threads).
class TKXPeakBuildPool : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int jobs READ Jobs WRITE setJobs)  ///< Jobs()
    Q_PROPERTY(qint64 memoryBudget READ MemoryBudgetBytes WRITE setMemoryBudget)  ///< MemoryBudgetBytes()
    Q_PROPERTY(bool running READ Running NOTIFY runningChanged)  ///< Running()
    Q_PROPERTY(int fileCount READ FileCount NOTIFY runningChanged)  ///< FileCount()
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setJobs(int value) { SetJobs(value); } ///< Writes jobs.
    void setMemoryBudget(qint64 value) { SetMemoryBudget(value); } ///< Writes memoryBudget.
    ///@}
public:
    /// How a file ended: peaks built, an up-to-date peak file found, the
    /// build failed, or the media file does not exist.
    enum class Outcome { Built, HasPeaks, Failed, NotFound };
    Q_ENUM(Outcome)

    /// An idle pool; the builders are made when a run starts.
    explicit TKXPeakBuildPool(QObject* owner = nullptr);
    ~TKXPeakBuildPool() override;

    /// Builders running at once (at least 1); default: the processor count.
    ///@{
    int Jobs() const { return jobs_; }
    void SetJobs(int jobs);
    ///@}
    /// Applied to every builder the pool makes, before its first file.
    std::function<void(TKXPeakBuilder&)> Configure;
    /// Bytes the streams the builders keep may take together (default: a
    /// quarter of the physical memory). A file that waits for memory starts
    /// once other files are done; a file that could never fit fails.
    /// Ignored while a run is going.
    ///@{
    int64_t MemoryBudgetBytes() const { return budget_->Total(); }
    void SetMemoryBudget(int64_t bytes);
    ///@}

    /// Starts on the files (a repeated name is taken once); false when a run
    /// is already going. Files that could land on the same peak file are
    /// never built at the same time.
    bool Start(const QStringList& files);
    /// Stops every running build; the outcomes not yet known are not reported.
    void Stop();
    /// Between Start and the last outcome (or Stop).
    bool Running() const { return running_; }
    /// Why a file reported Failed failed (its builder's LastBuildFailure).
    QString FailureOf(int index) const;
    /// Whether the file's peak file was older than the media and built anew.
    bool WasStale(int index) const;
    /// Files of the current or last run, repeated names taken once.
    int FileCount() const { return int(files_.size()); }

    /// Right when a file is done, in completion order, with the builder that
    /// holds its peak stream (at index 0) for the time of the call.
    std::function<void(int index, const QString& file, Outcome outcome, const QString& peakFile,
                       TKXPeakBuilder& builder)>
        OnFileFinished;
    /// The same outcomes in input order (a file is reported once all before it are).
    std::function<void(int index, const QString& file, Outcome outcome, const QString& peakFile)> OnFileResult;
    /// Overall progress 0..100 over all files, and how many are done.
    std::function<void(int percent, int done, int total)> OnProgress;
    /// After the last outcome.
    std::function<void()> OnFinished;

Q_SIGNALS:
    // The events as signals, emitted right after their handlers on the
    // pool's thread.
    /// OnFileFinished without the builder, which holds the peak stream only
    /// for the time of that handler.
    void fileFinished(int index, const QString& file, kx::TKXPeakBuildPool::Outcome outcome, const QString& peakFile);
    /// OnFileResult: the outcomes in input order.
    void fileResult(int index, const QString& file, kx::TKXPeakBuildPool::Outcome outcome, const QString& peakFile);
    /// OnProgress: percent over all files, files done, files in all.
    void progress(int percent, int done, int total);
    /// OnFinished: after the last outcome.
    void finished();
    /// A run started, or ended (its last outcome, or Stop).
    void runningChanged(bool running);

private:
    struct Slot;
    void Dispatch();
    bool Begin(Slot& slot, int index);
    void Finish(Slot& slot, Outcome outcome, const QString& peakFile);
    void ReportInOrder();
    void ReportProgress();
    bool Busy(const QString& key) const;

    int jobs_ = 1;
    bool running_ = false;
    QStringList files_;
    QStringList keys_;
    int next_ = 0;
    int reported_ = 0;
    int done_ = 0;
    int lastPercent_ = -1;
    struct Result {
        bool known = false;
        Outcome outcome = Outcome::Failed;
        QString peakFile;
        QString failure;
        bool stale = false;
    };
    std::vector<Result> results_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::shared_ptr<MemoryBudget> budget_;
};

/// The share (0..count-1) a name falls in: a stable hash of its bytes with
/// the extension removed (names that share a peak file share a share), the
/// same on every machine and in every run.
int ShardOf(const QString& name, int count);

} // namespace kx
