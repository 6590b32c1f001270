#pragma once
// The RMS levels of the builder's builds, by media file: appended on the
// streaming thread while a build runs, read as snapshots from any thread. A
// build that keeps nothing in memory streams them into its side file instead,
// opened with the first levels so that a build that never starts leaves none.
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "RmsFile.h"

namespace kx {

class RmsLevelStore
{
public:
    /// Starts the levels of a build of media afresh; later appends go there.
    void Begin(const QString& media, const RmsData& format);
    /// Starts a build whose levels go to the file `name` alone, none kept.
    void BeginStreamed(const QString& name, const OutputRules& rules);
    /// The streamed build's writer (its file still to commit); null when none.
    std::unique_ptr<RmsFileWriter> TakeWriter();
    /// Drops the streamed build's writer: its unfinished file goes.
    void DropWriter();
    /// Appends count values to the build begun last.
    void Append(const uint16_t* values, size_t count);
    /// A copy of the media's levels so far; nothing when it has none.
    std::optional<RmsData> Snapshot(const QString& media) const;
    /// Drops the media's levels, and an unfinished streamed file.
    void Forget(const QString& media);
    /// Drops every level.
    void Clear();

private:
    mutable std::mutex mutex_;
    std::map<QString, RmsData> levels_;
    QString current_;
    std::unique_ptr<RmsFileWriter> writer_;
    QString writerName_;
    OutputRules writerRules_;
    bool writerTried_ = false;
};

} // namespace kx
