#pragma once
// The RMS levels of the builder's builds, by media file: appended on the
// streaming thread while a build runs, read as snapshots from any thread.
#include <QString>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "RmsFile.h"

namespace kx {

class RmsLevelStore
{
public:
    /// Starts the levels of a build of media afresh; later appends go there.
    void Begin(const QString& media, const RmsData& format);
    /// Appends count values to the build begun last.
    void Append(const uint16_t* values, size_t count);
    /// A copy of the media's levels so far; nothing when it has none.
    std::optional<RmsData> Snapshot(const QString& media) const;
    /// Drops the media's levels.
    void Forget(const QString& media);
    /// Drops every level.
    void Clear();

private:
    mutable std::mutex mutex_;
    std::map<QString, RmsData> levels_;
    QString current_;
};

} // namespace kx
