#pragma once
#include <QString>
#include <cstdint>
#include <functional>

namespace kx {

/// A build of one file that runs without the builder's graph manager (its
/// own threads, its own pipelines if any), handing records to the peak
/// callback as the graph's filter does.
class BuildRun
{
public:
    /// Called once on a worker thread when the run ends by itself (not after
    /// Stop): true when every record was delivered and the peak file, if any,
    /// is in place.
    using Finished = std::function<void(bool ok)>;

    virtual ~BuildRun() = default;
    /// False (with FailureText) when the run cannot start.
    virtual bool Start(Finished finished) = 0;
    /// Holds the run until Resume or Stop.
    ///@{
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    ///@}
    /// Ends the run and waits for it; an unfinished peak file is removed.
    virtual void Stop() = 0;
    /// Why the run could not start or failed.
    virtual QString FailureText() const = 0;
    /// The duration the graph would report for the file.
    virtual int64_t Duration100ns() const = 0;
    /// A failed run asks for the file to be built by the decode graph instead
    /// of being reported failed.
    virtual bool RetryInGraph() const { return false; }
    /// The run failed because the media changed since it started.
    virtual bool MediaChanged() const { return false; }
    /// Takes back the peak file the run put in place, if it is still the one.
    virtual void RemoveCommittedPeakFile() {}
};

} // namespace kx
