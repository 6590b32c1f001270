#pragma once
#include <QString>
#include <cstdint>

#include "ThreadedBuildRun.h"
#include "WavDirect.h"

namespace kx {

/// Builds the peaks of a PCM WAV file without a decode graph: large
/// sequential reads, the samples converted as the graph's converter would
/// and reduced by the same reducer, records handed to the same callback in
/// blocks of the same size, the peak file written alike. The records are
/// byte-identical to the graph's for the same settings.
class DirectWavBuild final : public ThreadedBuildRun
{
public:
    /// The output format and the peak file, as for every threaded run.
    using Settings = ThreadedBuildRun::Settings;
    /// A build of mediaFile, whose samples lie as layout says.
    DirectWavBuild(const QString& mediaFile, const WavLayout& layout, const Settings& settings);
    /// Stops.
    ~DirectWavBuild() override;

    /// The layout's duration, as the graph reports it for the file.
    int64_t Duration100ns() const override { return layout_.Duration100ns(); }

private:
    bool Prepare() override;
    bool Work() override;
    void CloseMedia();

    QString mediaFile_;
    WavLayout layout_;
    PeakReducer reducer_;
    int fd_ = -1;
};

} // namespace kx
